// TLinesViewer: busy mode: long operations with progress reports, refused input and abort; the
// stored-text save.
#include "fileview/lines_viewer.h"

#include "fileview/viewer_scopes.h"
#include "host/safe_save.h"
#include "textbuff/text_buffer.h" // the unit's exception classes

namespace kestrel {

void TLinesViewer::SaveAs(const std::string& FileName) {
    const TBusyModeScope Busy(*this, GetTextSize());
    // Never truncates the target: the text goes to a flushed temporary file first.
    SaveFileSafely(FileName, [this](TStream* Stream) { CopyToStream(Stream); });
}

// ---- Busy mode ----------------------------------------------------------------------------

void TLinesViewer::EnterBusyMode(std::int64_t Total) {
    if (State.Contains(vsBusy))
        throw EInternalError("Entering Busy Mode when already busy");
    SetMouseState(TMouseStates{msBusy}, true);
    ProgressTotal = Total;
    SetState(vsBusy, true);
    if (Total > 0 && OnProgressEvent) {
        bool Cancel = false;
        OnProgressEvent(this, 0, Total, Cancel);
    }
}

void TLinesViewer::ExitBusyMode() {
    if (!State.Contains(vsBusy))
        throw EInternalError("Exiting Busy State when not busy");
    SetMouseState(TMouseStates{msBusy}, false);
    SetState(vsBusy, false);
    if (ProgressTotal > 0 && OnProgressEvent) {
        bool Cancel = false;
        OnProgressEvent(this, ProgressTotal, ProgressTotal, Cancel);
    }
}

bool TLinesViewer::ReportProgress(std::int64_t Done) {
    bool Abort = false;
    TMsg Msg;
    while (PeekMessage(Msg, 0, 0, 0, true)) {
        const UINT M = Msg.message;
        if (M == WM_QUIT) {
            Abort = true;
            PostQuitMessage(static_cast<int>(Msg.wParam));
            break;
        }
        TranslateMessage(Msg);
        if (M == WM_CHAR) {
            Abort = Msg.wParam == GetKeyDef(kiCancelKey);
            continue;
        }
        const bool Input = M == WM_KEYDOWN || (M >= WM_DEADCHAR && M <= WM_KEYLAST) ||
                           (M >= WM_LBUTTONDOWN && M <= WM_MOUSEWHEEL) ||
                           (M >= WM_NCLBUTTONDOWN && M <= WM_NCMBUTTONDBLCLK);
        if (Input) {
            if (BeepOn)
                MessageBeep(MB_SIMPLE);
            continue;
        }
        DispatchMessage(Msg);
    }
    if (Abort && OnAbortRequest) {
        int Response = 0;
        OnAbortRequest(this, Response);
        Abort = Response == IDYES;
    }
    if (!Abort && ProgressTotal > 0 && OnProgressEvent) {
        bool Cancel = Abort;
        OnProgressEvent(this, Done, ProgressTotal, Cancel);
        Abort = Cancel;
    }
    return !Abort;
}

} // namespace kestrel
