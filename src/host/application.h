// TApplication: the application object with its idle event and message pump.
#pragma once

#include "host/component.h"
#include "host/messages.h"

#include <exception>
#include <functional>
#include <string>

namespace kestrel {

/// The idle event: Done := false asks to be called again at once rather than after the next
/// message.
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
/// Told of an exception that reached the application's event loop.
using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

/// The one application object: pumps the current window platform's message queue and runs the
/// idle event when the queue is empty.
class TApplication : public TComponent {
public:
    TApplication() : TComponent(nullptr) {}

    TIdleEvent GetOnIdle() const { return FOnIdle; }
    void SetOnIdle(TIdleEvent Value) { FOnIdle = std::move(Value); }

    TExceptionEvent GetOnException() const { return FOnException; }
    void SetOnException(TExceptionEvent Value) { FOnException = std::move(Value); }
    /// Reports the exception being handled (call it in a catch block): to OnException when
    /// assigned, else in an error box (MessageDlg; on the standard error stream when no
    /// dialogs are installed). Never raises.
    void HandleException(TObject* Sender) noexcept;

    /// Dispatches every waiting message (a quit message sets Terminated and stops).
    void ProcessMessages();
    /// Takes one message and dispatches it, or runs the idle event when none waits.
    void HandleMessage();
    /// Takes and dispatches one message; false when the queue was empty.
    bool ProcessMessage();
    /// Runs the idle event once; returns its Done answer (true when no handler is set).
    bool Idle();
    /// Posts the quit message; the pump then sets Terminated.
    void Terminate();
    bool GetTerminated() const { return FTerminated; }
    /// Forgets a quit seen earlier (a new run of the pump).
    void ResetTerminated() { FTerminated = false; }

    /// The full path of the running program.
    std::string GetExeName() const;

private:
    TIdleEvent FOnIdle;
    TExceptionEvent FOnException;
    bool FTerminated = false;
};

/// The application object.
extern TApplication* const Application;

} // namespace kestrel
