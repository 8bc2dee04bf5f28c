// TApplication.
#include "host/application.h"

#include "host/exceptions.h"
#include "host/message_dlg.h"
#include "host/sysutils.h"
#include "host/window_platform.h"

#include <iostream>

namespace kestrel {

namespace {
TApplication TheApplication;
} // namespace

TApplication* const Application = &TheApplication;

bool TApplication::ProcessMessage() {
    TMsg Msg;
    if (!PeekMessage(Msg, 0, 0, 0, true))
        return false;
    if (Msg.message == WM_QUIT) {
        FTerminated = true;
        return true;
    }
    TranslateMessage(Msg);
    DispatchMessage(Msg);
    return true;
}

void TApplication::ProcessMessages() {
    while (!FTerminated && ProcessMessage()) {
    }
}

void TApplication::HandleMessage() {
    if (!ProcessMessage())
        Idle();
}

bool TApplication::Idle() {
    bool Done = true;
    if (FOnIdle)
        FOnIdle(this, Done);
    return Done;
}

void TApplication::Terminate() {
    PostQuitMessage(0);
}

void TApplication::HandleException(TObject* Sender) noexcept {
    const auto Show = [this](const std::string& Text) {
        try {
            kestrel::MessageDlg(Text, mtError, TMsgDlgButtons{mbOK}, 0);
        } catch (...) { // no dialogs installed: the standard error stream
            std::cerr << ExtractFileName(GetExeName()) << ": " << Text << '\n';
        }
    };
    try {
        try {
            throw;
        } catch (const std::exception& E) {
            if (FOnException)
                FOnException(Sender, E);
            else
                Show(E.what());
        } catch (...) {
            const Exception Unknown("Unknown exception");
            if (FOnException)
                FOnException(Sender, Unknown);
            else
                Show(Unknown.what());
        }
    } catch (...) {
        // The report itself failed: nothing is left to tell it to.
    }
}

std::string TApplication::GetExeName() const {
    return ParamStr(0);
}

} // namespace kestrel
