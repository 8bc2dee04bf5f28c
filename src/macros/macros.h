// The integer helpers min, max, MinLong and MaxLong.
#pragma once

#include <cstdint>

namespace kestrel {

constexpr std::int64_t min(std::int64_t A, std::int64_t B) {
    return A < B ? A : B;
}
constexpr std::int64_t max(std::int64_t A, std::int64_t B) {
    return A > B ? A : B;
}
constexpr std::int64_t MinLong(std::int64_t A, std::int64_t B) {
    return min(A, B);
}
constexpr std::int64_t MaxLong(std::int64_t A, std::int64_t B) {
    return max(A, B);
}

} // namespace kestrel
