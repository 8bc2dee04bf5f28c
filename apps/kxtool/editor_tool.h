// An editor over a file on the headless platform, for the commands that edit through it.
#pragma once

#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/safe_save.h"
#include "host/streams.h"
#include "kxedit/big_editor.h"
#include "textbuff/edit_stream.h"

#include <memory>
#include <string>

namespace kestrel::kxtool {

/// A TBigEditor over FileName (read, never written) in a window of its own, focused, wrapping
/// as Wrap says (0: not at all; N: at N characters of the monospaced font).
class TFileEditorTool {
public:
    TFileEditorTool(const std::string& FileName, std::int64_t Wrap) {
        Editor = std::make_unique<TBigEditor>(nullptr);
        Editor->GetFont()->SetName("Courier New");
        Editor->SetBounds(0, 0, 640, 400);
        auto* Edit = new TEditStream(nullptr); // the editor owns it from here on
        Editor->SetBuffer(Edit);
        Stream = Edit;
        Stream->SetCanvas(Editor->GetCanvas());
        Stream->SetMaxUndoLevels(10);
        Stream->SetSourceStream(OpenSeekableSource(FileName, fmOpenRead | fmShareDenyWrite));
        Editor->GetHandle();
        if (Wrap > 0) {
            Editor->SetWrapMode(opAbsoluteWrap);
            Editor->SetMaxLineLength(Wrap);
        } else {
            Editor->SetWrapMode(opNone);
        }
        Editor->GotoStartOftext();
        Editor->SetFocus();
        Application->ProcessMessages();
    }
    ~TFileEditorTool() { Editor.reset(); }
    TFileEditorTool(const TFileEditorTool&) = delete;
    TFileEditorTool& operator=(const TFileEditorTool&) = delete;

    /// Writes the text as stored into OutName, which takes its name only once complete.
    void SaveText(const std::string& OutName) {
        SaveFileSafely(
            OutName, [this](TStream* Out) { Stream->CopyToStream(Out, 0, Stream->GetTextSize()); });
    }

    headless::THeadlessPlatformScope Platform; // first: it outlives the editor
    std::unique_ptr<TBigEditor> Editor;
    TEditStream* Stream = nullptr; // owned by Editor
};

} // namespace kestrel::kxtool
