// Global memory blocks.
#include "host/global_memory.h"

#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>

namespace kestrel {

class TGlobalBlock {
public:
    std::unique_ptr<std::uint8_t[]> Memory;
    std::int64_t Size = 0;
    int LockCount = 0;
};

namespace {

// Live blocks, so that a stale or foreign handle is refused instead of dereferenced.
std::mutex& RegistryMutex() {
    static std::mutex Mutex;
    return Mutex;
}

std::unordered_set<TGlobalBlock*>& Registry() {
    static std::unordered_set<TGlobalBlock*> Blocks;
    return Blocks;
}

bool IsLive(HGLOBAL Handle) {
    return Handle != nullptr && Registry().count(Handle) != 0;
}

} // namespace

HGLOBAL GlobalAlloc(unsigned Flags, std::int64_t Bytes) {
    if (Bytes < 0)
        return nullptr;
    auto Block = std::make_unique<TGlobalBlock>();
    // One spare byte so that even an empty block has an address to lock.
    const auto Length = static_cast<std::size_t>(Bytes) + 1;
    Block->Memory.reset((Flags & GMEM_ZEROINIT) != 0 ? new (std::nothrow) std::uint8_t[Length]()
                                                     : new (std::nothrow) std::uint8_t[Length]);
    if (!Block->Memory)
        return nullptr;
    Block->Size = Bytes;
    const std::lock_guard Lock(RegistryMutex());
    HGLOBAL Handle = Block.release();
    Registry().insert(Handle);
    return Handle;
}

void* GlobalLock(HGLOBAL Handle) {
    const std::lock_guard Lock(RegistryMutex());
    if (!IsLive(Handle))
        return nullptr;
    ++Handle->LockCount;
    return Handle->Memory.get();
}

bool GlobalUnlock(HGLOBAL Handle) {
    const std::lock_guard Lock(RegistryMutex());
    if (!IsLive(Handle) || Handle->LockCount == 0)
        return false;
    return --Handle->LockCount > 0;
}

std::int64_t GlobalSize(HGLOBAL Handle) {
    const std::lock_guard Lock(RegistryMutex());
    return IsLive(Handle) ? Handle->Size : 0;
}

HGLOBAL GlobalFree(HGLOBAL Handle) {
    const std::lock_guard Lock(RegistryMutex());
    if (!IsLive(Handle))
        return Handle;
    Registry().erase(Handle);
    delete Handle;
    return nullptr;
}

} // namespace kestrel
