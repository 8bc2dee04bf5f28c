// TQtPlatformScope: the whole Qt 6 platform installed for the lifetime of a scope. A
// QApplication must exist first and outlive the scope.
#pragma once

#include "host/platform.h"
#include "host/qt/qt_clipboard.h"
#include "host/qt/qt_dialogs.h"
#include "host/qt/qt_graphics.h"
#include "host/qt/qt_input.h"
#include "host/qt/qt_queue.h"
#include "host/qt/qt_settings.h"
#include "host/qt/qt_windows.h"

#include <string>

namespace kestrel::qt {

/// Owns an instance of every Qt service and installs them (TPlatformScope) until it ends.
class TQtPlatformScope {
public:
    /// SettingsFile: where the settings live (empty: the user's configuration folder).
    explicit TQtPlatformScope(const std::string& SettingsFile = {});
    ~TQtPlatformScope();
    TQtPlatformScope(const TQtPlatformScope&) = delete;
    TQtPlatformScope& operator=(const TQtPlatformScope&) = delete;

    TQtWindowPlatform& Windows() { return FWindows; }
    TQtQueue& Queue() { return FQueue; }
    TQtInput& Input() { return FInput; }
    TQtClipboard& Clipboard() { return FClipboard; }
    TQtSettings& Settings() { return FSettings; }
    TQtDialogs& Dialogs() { return FDialogs; }
    TQtGraphics& Graphics() { return FGraphics; }
    TPlatformScope& Host() { return FScope; }

private:
    TQtGraphics FGraphics;
    TQtSettings FSettings;
    TQtQueue FQueue;
    TQtInput FInput;
    TQtWindowPlatform FWindows{FGraphics, FInput, FQueue};
    TQtClipboard FClipboard;
    TQtDialogs FDialogs{FWindows};
    TPlatformScope FScope; // last: it ends first, while the services still exist
};

} // namespace kestrel::qt
