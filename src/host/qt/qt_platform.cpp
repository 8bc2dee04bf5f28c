// TQtPlatformScope.
#include "host/qt/qt_platform.h"

#include "host/qt/qt_fonts.h"

namespace kestrel::qt {

TQtPlatformScope::TQtPlatformScope(const std::string& SettingsFile)
    : FSettings(SettingsFile), FScope(TPlatformServices{.Windows = &FWindows,
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

TQtPlatformScope::~TQtPlatformScope() {
    ClearFaces();
}

} // namespace kestrel::qt
