// TQtQueue.
#include "host/qt/qt_queue.h"

#include "host/application.h"
#include "host/message_queue.h"
#include "host/scope_guard.h"

#include <QCoreApplication>

#include <algorithm>
#include <exception>
#include <limits>

namespace kestrel::qt {

namespace {

// Qt's events are looked at no more often than this while a long operation pumps.
constexpr std::int64_t EventsInterval = 10;

} // namespace

TQtQueue::TQtQueue() {
    FClock.start();
    FWakeTimer.setSingleShot(true);
    QObject::connect(&FWakeTimer, &QTimer::timeout, &FContext, [this] { Run(); });
    FIdle.setInterval(0);
    QObject::connect(&FIdle, &QTimer::timeout, &FContext, [this] { Run(); });
}

TQtQueue::~TQtQueue() = default;

void TQtQueue::Wake(UINT Delay) {
    if (Delay == 0) {
        if (FPosted)
            return;
        FPosted = true;
        QMetaObject::invokeMethod(
            &FContext, [this] { Run(); }, Qt::QueuedConnection);
        return;
    }
    if (!FWakeTimer.isActive() || FWakeTimer.remainingTime() > static_cast<int>(Delay))
        FWakeTimer.start(static_cast<int>(std::min<UINT>(Delay, 1u << 30)));
}

void TQtQueue::ProcessPlatformEvents() {
    if (FInEvents || FClock.elapsed() - FLastEvents < EventsInterval)
        return;
    ProcessPlatformEventsNow();
}

void TQtQueue::ProcessPlatformEventsNow() {
    if (FInEvents)
        return;
    FLastEvents = FClock.elapsed();
    {
        const TValueGuard<bool> InEvents(FInEvents, true);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (FDeferred) {
        FDeferred = false;
        Wake(0);
    }
}

void TQtQueue::ScheduleTimers() {
    if (!WindowServiceInstalled())
        return;
    std::int64_t Due = std::numeric_limits<std::int64_t>::max();
    for (const TWindowTimer& T : MessageQueue().GetTimers())
        Due = std::min(Due, T.Due);
    if (Due != std::numeric_limits<std::int64_t>::max())
        Wake(static_cast<UINT>(std::clamp<std::int64_t>(Due - GetTickCount(), 1, 1 << 30)));
}

void TQtQueue::Run() {
    FPosted = false;
    if (FInEvents) {
        FDeferred = true;
        return;
    }
    if (FRunning)
        return;
    const TValueGuard<bool> Running(FRunning, true);
    bool More = false;
    try {
        Application->ProcessMessages();
        TMsg Msg;
        if (!Application->GetTerminated() && !MessageQueue().Peek(Msg, 0, 0, 0, false))
            More = !Application->Idle();
    } catch (...) {
        ReportException();
    }
    if (More)
        FIdle.start();
    else
        FIdle.stop();
    ScheduleTimers();
}

void TQtQueue::ReportException() noexcept {
    try {
        const std::exception_ptr E = std::current_exception();
        if (!E)
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [E] {
                try {
                    std::rethrow_exception(E);
                } catch (...) {
                    Application->HandleException(nullptr);
                }
            },
            Qt::QueuedConnection);
    } catch (...) {
        // Nothing can be reported without memory: the exception is dropped.
    }
}

} // namespace kestrel::qt
