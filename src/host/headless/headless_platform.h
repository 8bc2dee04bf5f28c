// THeadlessPlatformScope: the whole headless platform installed for the lifetime of a scope
// (what tests and tools declare in one line), and THeadlessGraphicsScope, its graphics alone.
#pragma once

#include "host/headless/headless_clipboard.h"
#include "host/headless/headless_dialogs.h"
#include "host/headless/headless_graphics.h"
#include "host/headless/headless_input.h"
#include "host/headless/headless_queue.h"
#include "host/headless/headless_settings.h"
#include "host/headless/window_system.h"
#include "host/platform.h"

namespace kestrel::headless {

/// Owns a fresh instance of every headless service and installs them (TPlatformScope) until
/// it ends; then what was current before is current again.
class THeadlessPlatformScope {
public:
    THeadlessPlatformScope();
    THeadlessPlatformScope(const THeadlessPlatformScope&) = delete;
    THeadlessPlatformScope& operator=(const THeadlessPlatformScope&) = delete;

    /// Windows, focus, painting, scroll bars and caret.
    THeadlessWindowPlatform& Windows() { return FWindows; }
    /// The manual clock.
    THeadlessQueue& Queue() { return FQueue; }
    /// Key states and simulated input.
    THeadlessInput& Input() { return FInput; }
    THeadlessClipboard& Clipboard() { return FClipboard; }
    THeadlessSettings& Settings() { return FSettings; }
    /// Message boxes and beeps.
    THeadlessDialogs& Dialogs() { return FDialogs; }
    THeadlessGraphics& Graphics() { return FGraphics; }
    /// The host's state for these services: the message queue and the clipboard bookkeeping.
    TPlatformScope& Host() { return FScope; }

private:
    THeadlessGraphics FGraphics;
    THeadlessSettings FSettings;
    THeadlessQueue FQueue;
    THeadlessWindowPlatform FWindows;
    THeadlessInput FInput{FWindows, FSettings};
    THeadlessClipboard FClipboard;
    THeadlessDialogs FDialogs;
    TPlatformScope FScope; // last: it ends first, while the services still exist
};

/// Installs a fresh headless graphics platform alone (no window services) until it ends.
class THeadlessGraphicsScope {
public:
    THeadlessGraphicsScope() : FScope(TPlatformServices{.Graphics = &FGraphics}) {}
    THeadlessGraphicsScope(const THeadlessGraphicsScope&) = delete;
    THeadlessGraphicsScope& operator=(const THeadlessGraphicsScope&) = delete;

    THeadlessGraphics& Graphics() { return FGraphics; }

private:
    THeadlessGraphics FGraphics;
    TPlatformScope FScope;
};

} // namespace kestrel::headless
