// THeadlessPlatformScope.
#include "host/headless/headless_platform.h"

namespace kestrel::headless {

THeadlessPlatformScope::THeadlessPlatformScope()
    : FScope(TPlatformServices{.Windows = &FWindows,
                               .Focus = &FWindows,
                               .Painting = &FWindows,
                               .ScrollBars = &FWindows,
                               .Caret = &FWindows,
                               .Queue = &FQueue,
                               .Input = &FInput,
                               .Clipboard = &FClipboard,
                               .Settings = &FSettings,
                               .Dialogs = &FDialogs,
                               .Graphics = &FGraphics}) {}

} // namespace kestrel::headless
