// The heap counted by replacing the global allocation functions: live and peak bytes of the
// whole program. Include it from exactly one source file of a benchmark program (the
// replacement functions cannot be inline).
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace kestrel::bench {

inline std::atomic<std::int64_t> LiveBytes{0};
inline std::atomic<std::int64_t> PeakBytes{0};

namespace detail {

constexpr std::size_t Header = 16; // keeps the alignment malloc gives

inline void* Allocate(std::size_t Size) {
    void* Block = std::malloc(Size + Header);
    if (Block == nullptr)
        throw std::bad_alloc();
    *static_cast<std::size_t*>(Block) = Size;
    const std::int64_t Live = LiveBytes += static_cast<std::int64_t>(Size);
    std::int64_t Peak = PeakBytes;
    while (Live > Peak && !PeakBytes.compare_exchange_weak(Peak, Live)) {
    }
    return static_cast<char*>(Block) + Header;
}

inline void Release(void* P) noexcept {
    if (P == nullptr)
        return;
    void* Block = static_cast<char*>(P) - Header;
    LiveBytes -= static_cast<std::int64_t>(*static_cast<std::size_t*>(Block));
    std::free(Block);
}

} // namespace detail
} // namespace kestrel::bench

void* operator new(std::size_t Size) {
    return kestrel::bench::detail::Allocate(Size);
}
void* operator new[](std::size_t Size) {
    return kestrel::bench::detail::Allocate(Size);
}
void operator delete(void* P) noexcept {
    kestrel::bench::detail::Release(P);
}
void operator delete[](void* P) noexcept {
    kestrel::bench::detail::Release(P);
}
void operator delete(void* P, std::size_t) noexcept {
    kestrel::bench::detail::Release(P);
}
void operator delete[](void* P, std::size_t) noexcept {
    kestrel::bench::detail::Release(P);
}
