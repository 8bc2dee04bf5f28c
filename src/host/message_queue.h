// TMessageQueue: the application's message queue and window timers, kept by the host for
// every platform (posted messages, the quit request, paint requests and due timers in order).
#pragma once

#include "host/messages.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace kestrel {

/// A running window timer.
struct TWindowTimer {
    HWND Window = 0;
    UINT ID = 0;
    UINT Elapse = 0;
    std::int64_t Due = 0; ///< clock time of its next WM_TIMER
};

/// The queue of one installed platform (TPlatformScope). The platform gives the clock, the
/// paint requests, the characters of keys and the wake-ups (TQueueService, TPaintService,
/// TInputService); the order of messages is the host's.
class TMessageQueue {
public:
    /// Queues a message for Wnd (0: the thread); false when Wnd is not a window.
    bool Post(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
    void PostQuit(int ExitCode);
    /// Takes (with Remove) or reads the next message: posted messages first (input included),
    /// then the quit request, then a paint request of a window with something to paint (it
    /// stays until validated), then a due timer, which fires once however late it is and is
    /// due again one interval after it was taken. Wnd 0 and a 0..0 range accept every message.
    bool Peek(TMsg& Msg, HWND Wnd, UINT FilterMin, UINT FilterMax, bool Remove);
    /// Puts the character of a key-down at the front of the queue; false when it has none.
    bool Translate(const TMsg& Msg);

    /// Starts (or re-arms) the timer (Wnd, ID): WM_TIMER every Elapse milliseconds.
    void SetTimer(HWND Wnd, UINT ID, UINT Elapse);
    void KillTimer(HWND Wnd, UINT ID);
    /// Drops the timers of a window that went.
    void WindowDestroyed(HWND Wnd);

    /// The running timer (Wnd, ID), or nullptr.
    const TWindowTimer* FindTimer(HWND Wnd, UINT ID) const;
    const std::vector<TWindowTimer>& GetTimers() const { return FTimers; }
    /// Posted messages waiting (the quit request, paints and timers not counted).
    std::size_t GetLength() const { return FQueue.size(); }
    bool GetQuitPosted() const { return FQuitPosted; }

private:
    TMsg Make(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) const;

    std::deque<TMsg> FQueue;
    bool FQuitPosted = false;
    int FQuitCode = 0;
    std::vector<TWindowTimer> FTimers; // at most one per (window, ID), in the order started
};

} // namespace kestrel
