// TApplication.
#include "host/application.h"

#include "host/sysutils.h"
#include "host/window_platform.h"

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

std::string TApplication::GetExeName() const {
    return ParamStr(0);
}

} // namespace kestrel
