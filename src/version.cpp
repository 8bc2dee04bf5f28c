// The run-time library's version string.
#include "version.h"

#include "kestrel_version.h"

namespace kestrel {

std::string_view KestrelVersion() {
    return KESTREL_VERSION;
}

} // namespace kestrel
