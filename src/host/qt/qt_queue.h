// TQtQueue: the Qt platform's clock and the dispatcher that serves the host's message queue from
// Qt's event loop, runs the application's idle event while it asks for more, and reports
// exceptions that reach an event function.
#pragma once

#include "host/platform.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>

namespace kestrel::qt {

/// Wake-ups become a queued call (or a single-shot timer for a delay) that runs Run. Run drains
/// the host queue (Application->ProcessMessages), runs the idle event once the queue is empty,
/// and keeps a zero-interval timer going while the idle handlers are not done.
class TQtQueue : public TQueueService {
public:
    TQtQueue();
    ~TQtQueue() override;
    TQtQueue(const TQtQueue&) = delete;
    TQtQueue& operator=(const TQtQueue&) = delete;

    std::int64_t GetTickCount() const override { return FClock.elapsed(); }
    void Wake(UINT Delay) override;
    /// Lets Qt deliver its pending events (at most every few milliseconds, never re-entered),
    /// so that a long operation pumping the queue sees input as messages.
    void ProcessPlatformEvents() override;

    /// Serves the queue now, unless it is being served already (then the running pump takes
    /// what was posted).
    void Run();
    bool Running() const { return FRunning; }
    /// Whether the idle event asked to be run again.
    bool IdlePending() const { return FIdle.isActive(); }
    /// Lets Qt deliver its pending events now, whatever the time since the last time.
    void ProcessPlatformEventsNow();

    /// Called in a catch block of an event function: the exception being handled is reported
    /// through the application (Application->HandleException) once the event is over.
    static void ReportException() noexcept;

private:
    /// Brings the dispatcher back when the next host timer is due.
    void ScheduleTimers();

    QObject FContext; // receiver of the queued calls
    QTimer FWakeTimer;
    QTimer FIdle;
    QElapsedTimer FClock;
    std::int64_t FLastEvents = -1000;
    bool FPosted = false;   // a queued call to Run is on its way
    bool FRunning = false;  // Run is serving the queue
    bool FInEvents = false; // Qt is delivering events for ProcessPlatformEvents
    bool FDeferred = false; // a Run came while Qt delivered events
};

} // namespace kestrel::qt
