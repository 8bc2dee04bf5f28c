// THeadlessQueue.
#include "host/headless/headless_queue.h"

namespace kestrel::headless {

void THeadlessQueue::Wake(UINT Delay) {
    ++FWakeCount;
    FLastWakeDelay = Delay;
}

} // namespace kestrel::headless
