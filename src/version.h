// The run-time library's version string.
#pragma once

#include <string_view>

namespace kestrel {

/// The version of the run-time library, as "major.minor.patch".
std::string_view KestrelVersion();

} // namespace kestrel
