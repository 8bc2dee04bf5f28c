// The options of the find and replace dialogs, as searches take them.
#pragma once

#include "host/set.h"

#include <cstdint>

namespace kestrel {

enum TFindOption : std::uint8_t {
    frDown,
    frFindNext,
    frHideMatchCase,
    frHideWholeWord,
    frHideUpDown,
    frMatchCase,
    frDisableMatchCase,
    frDisableUpDown,
    frDisableWholeWord,
    frReplace,
    frReplaceAll,
    frWholeWord,
    frShowHelp,
};
using TFindOptions = TSet<TFindOption>;

} // namespace kestrel
