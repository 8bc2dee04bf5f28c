// TStreamViewer and TFileViewer.
#include "kxctrls/stream_viewer.h"

#include "fileview/viewer_scopes.h"
#include "host/application.h"
#include "host/exceptions.h"
#include "host/scope_guard.h"
#include "host/source_file.h"

namespace kestrel {

void CheckSourceStream(TStream* Stream) {
    try {
        const std::int64_t Pos = Stream->Seek(0, soFromCurrent);
        Stream->Seek(0, soFromEnd);
        Stream->Seek(Pos, soFromBeginning);
    } catch (const Exception& E) {
        throw EStreamError("The stream cannot be shown: it cannot seek (" + E.GetMessage() + ")");
    }
}

// ---- TStreamViewer ------------------------------------------------------------------------

TStreamViewer::TStreamViewer(TComponent* AOwner) : TTextViewer(AOwner) {
    SetBuffer(new TTextStream(nullptr)); // the viewer's Buffer owns it
    GetBuffer()->SetCanvas(GetCanvas());
}

TStream* TStreamViewer::GetSourceStream() const {
    return GetTextStream()->GetSourceStream();
}

void AdoptSourceStream(TTextStream& Text, std::unique_ptr<TStream> Stream) {
    TStream* Raw = Stream.get();
    {
        // The text stream may refuse the stream (then it stays ours and is freed here) or take
        // it and fail afterwards (then it is the text stream's).
        const TScopeFail Handed([&Stream, &Text, Raw] {
            if (Text.GetSourceStream() == Raw)
                static_cast<void>(Stream.release());
        });
        Text.SetSourceStream(Raw);
    }
    static_cast<void>(Stream.release());
}

void TStreamViewer::SetSourceStream(std::unique_ptr<TStream> Stream) {
    if (Stream)
        CheckSourceStream(Stream.get());
    Clear();
    // A text that cannot be shown is not kept half attached: the viewer is left empty.
    const TScopeFail Detach([this] {
        try {
            ReInitialise();
            Redraw();
        } catch (...) { // the first failure is the one to report
        }
    });
    AdoptSourceStream(*GetTextStream(), std::move(Stream));

    const bool Empty = GetTextSize() == 0;
    CountComplete = Empty;
    SetState(vsEmpty, Empty);
    {
        const TBusyModeScope Busy(*this, 0);
        GotoStartOftext();
        SetLineNumber(0); // the caret takes the first line's measures (End goes to its end)
    }
    SetMaxLineLength(MaxLineLength);
    Redraw();
}

void TStreamViewer::DoSetFocus() {
    const bool WasHooked = IdleHooked;
    TTextViewer::DoSetFocus();
    if (WasHooked || !IdleHooked)
        return;
    TIdleEvent Count = Application->GetOnIdle();
    Application->SetOnIdle([this, Count](TObject* Sender, bool& Done) {
        try {
            Count(Sender, Done);
        } catch (const EStreamError&) {
            StopCount();
            throw;
        }
    });
}

void TStreamViewer::StopCount() {
    CountComplete = true;
    LineNumbersPending = false;
}

// ---- TFileViewer --------------------------------------------------------------------------

TFileViewer::TFileViewer(TComponent* AOwner) : TStreamViewer(AOwner) {}

void TFileViewer::SetFileName(const std::string& Value) {
    SetSourceStream(nullptr); // releases the file shown, and its name
    if (Value.empty())
        return;
    SetSourceStream(std::make_unique<TSourceFileStream>(Value, fmShareCompat));
    FileName = Value;
}

void TFileViewer::ReInitialise() {
    FileName.clear();
    TStreamViewer::ReInitialise();
}

} // namespace kestrel
