// Global memory blocks: the handles the clipboard and the text containers exchange text in.
#pragma once

#include <cstdint>

namespace kestrel {

class TGlobalBlock;
/// A handle of a global memory block; nullptr is no block.
using HGLOBAL = TGlobalBlock*;

enum : unsigned {
    GMEM_FIXED = 0x0000,
    GMEM_MOVEABLE = 0x0002,
    GMEM_ZEROINIT = 0x0040,
    GHND = GMEM_MOVEABLE | GMEM_ZEROINIT,
};

/// Allocates a block of Bytes bytes (zero-filled with GMEM_ZEROINIT); nullptr when it cannot.
HGLOBAL GlobalAlloc(unsigned Flags, std::int64_t Bytes);
/// The block's memory, counting one more lock; nullptr for an invalid handle.
void* GlobalLock(HGLOBAL Handle);
/// Releases one lock; true while the block is still locked.
bool GlobalUnlock(HGLOBAL Handle);
/// The block's size in bytes; 0 for an invalid handle.
std::int64_t GlobalSize(HGLOBAL Handle);
/// Frees the block; returns nullptr, or Handle itself when it was not a live block.
HGLOBAL GlobalFree(HGLOBAL Handle);

/// Frees a block at the end of a scope unless it was released to a new owner.
class TGlobalHandleGuard {
public:
    explicit TGlobalHandleGuard(HGLOBAL Handle) : FHandle(Handle) {}
    ~TGlobalHandleGuard() {
        if (FHandle != nullptr)
            GlobalFree(FHandle);
    }
    TGlobalHandleGuard(const TGlobalHandleGuard&) = delete;
    TGlobalHandleGuard& operator=(const TGlobalHandleGuard&) = delete;

    HGLOBAL Get() const { return FHandle; }
    HGLOBAL Release() {
        HGLOBAL Handle = FHandle;
        FHandle = nullptr;
        return Handle;
    }

private:
    HGLOBAL FHandle;
};

/// Holds a block locked for the lifetime of the scope.
class TGlobalLockGuard {
public:
    explicit TGlobalLockGuard(HGLOBAL Handle) : FHandle(Handle), FMemory(GlobalLock(Handle)) {}
    ~TGlobalLockGuard() {
        if (FMemory != nullptr)
            GlobalUnlock(FHandle);
    }
    TGlobalLockGuard(const TGlobalLockGuard&) = delete;
    TGlobalLockGuard& operator=(const TGlobalLockGuard&) = delete;

    void* Get() const { return FMemory; }

private:
    HGLOBAL FHandle;
    void* FMemory;
};

} // namespace kestrel
