// TStreamViewer and TFileViewer: ready-made text viewers that own their text container and show
// any stream, or a file given by name.
#pragma once

#include "fileview/text_viewer.h"
#include "host/streams.h"
#include "textbuff/text_stream.h"

#include <memory>
#include <string>

namespace kestrel {

/// Raises EStreamError "The stream cannot be shown: it cannot seek (<reason>)" when Stream
/// cannot be positioned at will, as a text container reads its source (a pipe, a socket, a
/// terminal). Nothing is read; the position is left where it was.
void CheckSourceStream(TStream* Stream);
/// Hands Stream to Text as its source: Text owns it from then on, also when it fails after
/// taking it; a stream Text refuses is freed here. One owner on every path.
void AdoptSourceStream(TTextStream& Text, std::unique_ptr<TStream> Stream);

/// A text viewer that shows any stream handed to it. It owns a TTextStream for its whole life,
/// and the text stream owns the shown stream: it is freed when another is shown, when the
/// viewer is cleared, or with the viewer.
class TStreamViewer : public TTextViewer {
public:
    explicit TStreamViewer(TComponent* AOwner);

    /// The stream shown, or nullptr.
    TStream* GetSourceStream() const;
    /// Clears the viewer and shows Stream from its start (nullptr only clears). The viewer owns
    /// Stream from the call on, also when it is refused: a stream that cannot seek raises
    /// EStreamError before anything changes; one that cannot be read or is larger than a
    /// positive MaxTextSize raises and leaves the viewer empty.
    void SetSourceStream(std::unique_ptr<TStream> Stream);
    /// SetSourceStream taking ownership of a stream made with new.
    void SetSourceStream(TStream* Stream) { SetSourceStream(std::unique_ptr<TStream>(Stream)); }

protected:
    TTextStream* GetTextStream() const { return static_cast<TTextStream*>(GetBuffer()); }
    /// Hooks the background count into idle time as the text viewer does, so that a source
    /// that fails while it is counted stops the count after raising once.
    void DoSetFocus() override;

private:
    /// Ends the background count where it is (its source cannot be read).
    void StopCount();
};

/// A stream viewer over a file given by name, held open with no sharing while it is shown.
class TFileViewer : public TStreamViewer {
public:
    explicit TFileViewer(TComponent* AOwner);

    const std::string& GetFileName() const { return FileName; }
    /// Shows the file Value instead of the text shown so far; an empty name only clears the
    /// viewer. A file that cannot be opened (missing, a folder, a FIFO, a device, in use)
    /// raises EFOpenError naming it and leaves the viewer empty and unnamed; later reads that
    /// fail raise EReadError naming it.
    void SetFileName(const std::string& Value);

protected:
    /// The name goes with the text.
    void ReInitialise() override;

private:
    std::string FileName; // the file shown; empty when the viewer shows none
};

} // namespace kestrel
