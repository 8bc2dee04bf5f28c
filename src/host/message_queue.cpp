// TMessageQueue.
#include "host/message_queue.h"

#include "host/exceptions.h"
#include "host/platform.h"

#include <algorithm>

namespace kestrel {

namespace {

bool InRange(UINT Msg, UINT Min, UINT Max) {
    return (Min == 0 && Max == 0) || (Msg >= Min && Msg <= Max);
}

} // namespace

TMsg TMessageQueue::Make(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) const {
    return TMsg{
        Wnd, Msg, WParam, LParam, QueueService().GetTickCount(), InputService().GetCursorPos()};
}

bool TMessageQueue::Post(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (Wnd != 0 && !WindowService().IsWindow(Wnd))
        return false;
    FQueue.push_back(Make(Wnd, Msg, WParam, LParam));
    QueueService().Wake(0);
    return true;
}

void TMessageQueue::PostQuit(int ExitCode) {
    FQuitPosted = true;
    FQuitCode = ExitCode;
    QueueService().Wake(0);
}

bool TMessageQueue::Peek(TMsg& Msg, HWND Wnd, UINT FilterMin, UINT FilterMax, bool Remove) {
    QueueService().ProcessPlatformEvents();
    auto Accepts = [&](HWND Target, UINT M) {
        return (Wnd == 0 || Target == Wnd) && InRange(M, FilterMin, FilterMax);
    };
    for (auto It = FQueue.begin(); It != FQueue.end(); ++It) {
        if (!Accepts(It->hwnd, It->message))
            continue;
        Msg = *It;
        if (Remove)
            FQueue.erase(It);
        return true;
    }
    if (FQuitPosted && InRange(WM_QUIT, FilterMin, FilterMax)) {
        Msg = Make(0, WM_QUIT, static_cast<WPARAM>(FQuitCode), 0);
        if (Remove)
            FQuitPosted = false;
        return true;
    }
    if (InRange(WM_PAINT, FilterMin, FilterMax)) {
        if (const HWND Paint = PaintService().NextPaintRequest(Wnd); Paint != 0) {
            Msg = Make(Paint, WM_PAINT, 0, 0);
            return true;
        }
    }
    if (InRange(WM_TIMER, FilterMin, FilterMax)) {
        const std::int64_t Now = QueueService().GetTickCount();
        for (TWindowTimer& T : FTimers) {
            if (T.Due > Now || (Wnd != 0 && T.Window != Wnd))
                continue;
            Msg = Make(T.Window, WM_TIMER, T.ID, 0);
            if (Remove) {
                T.Due = Now + std::max<UINT>(1, T.Elapse);
                QueueService().Wake(std::max<UINT>(1, T.Elapse));
            }
            return true;
        }
    }
    return false;
}

bool TMessageQueue::Translate(const TMsg& Msg) {
    if (Msg.message != WM_KEYDOWN && Msg.message != WM_SYSKEYDOWN)
        return false;
    const int Ch = InputService().CharOfKey(Msg);
    if (Ch == 0)
        return false;
    // The character comes next, before any later input.
    FQueue.push_front(Make(Msg.hwnd, Msg.message == WM_KEYDOWN ? UINT{WM_CHAR} : UINT{WM_SYSCHAR},
                           static_cast<WPARAM>(Ch), Msg.lParam));
    return true;
}

void TMessageQueue::SetTimer(HWND Wnd, UINT ID, UINT Elapse) {
    if (!WindowService().IsWindow(Wnd))
        throw EInvalidOperation("Invalid window handle");
    KillTimer(Wnd, ID);
    FTimers.push_back(TWindowTimer{Wnd, ID, Elapse, QueueService().GetTickCount() + Elapse});
    QueueService().Wake(Elapse);
}

void TMessageQueue::KillTimer(HWND Wnd, UINT ID) {
    std::erase_if(FTimers, [&](const TWindowTimer& T) { return T.Window == Wnd && T.ID == ID; });
}

void TMessageQueue::WindowDestroyed(HWND Wnd) {
    std::erase_if(FTimers, [Wnd](const TWindowTimer& T) { return T.Window == Wnd; });
}

const TWindowTimer* TMessageQueue::FindTimer(HWND Wnd, UINT ID) const {
    for (const TWindowTimer& T : FTimers)
        if (T.Window == Wnd && T.ID == ID)
            return &T;
    return nullptr;
}

} // namespace kestrel
