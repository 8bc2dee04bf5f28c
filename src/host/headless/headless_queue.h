// THeadlessQueue: the headless platform's clock and queue wake-ups: a manual clock that tests
// and tools advance, and a record of the wake-ups the host asked for.
#pragma once

#include "host/platform.h"

#include <cstdint>

namespace kestrel::headless {

/// Time stands still until AdvanceClock moves it. Nobody pumps the queue by itself: the
/// program or test does (Application->ProcessMessages), so a wake-up is only counted.
class THeadlessQueue : public TQueueService {
public:
    std::int64_t GetTickCount() const override { return FClock; }
    void Wake(UINT Delay) override;
    /// Simulated input is posted as messages at once: no events of its own wait.
    void ProcessPlatformEvents() override {}

    void AdvanceClock(std::int64_t Milliseconds) { FClock += Milliseconds; }
    /// Wake-ups asked for so far, and the delay of the last one.
    int GetWakeCount() const { return FWakeCount; }
    UINT GetLastWakeDelay() const { return FLastWakeDelay; }

private:
    std::int64_t FClock = 0;
    int FWakeCount = 0;
    UINT FLastWakeDelay = 0;
};

} // namespace kestrel::headless
