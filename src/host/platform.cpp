// TPlatformScope, the current services and the notifications a platform gives the host.
#include "host/platform.h"

#include "host/clipboard.h"
#include "host/exceptions.h"
#include "host/message_queue.h"
#include "host/printers.h"

#include <cassert>

namespace kestrel {

namespace {

TPlatformScope* Current = nullptr; // the innermost scope alive

[[noreturn]] void NoWindowPlatform() {
    throw EInvalidOperation("No window platform installed");
}

template <typename T> T& Need(T* TPlatformServices::*Service) {
    if (Current == nullptr || Current->GetServices().*Service == nullptr)
        NoWindowPlatform();
    return *(Current->GetServices().*Service);
}

} // namespace

TPlatformScope::TPlatformScope(const TPlatformServices& Services)
    : FServices(Services), FPrevious(Current), FQueue(std::make_unique<TMessageQueue>()),
      FClipboard(std::make_unique<TClipboardHost>()) {
    // The printer's canvas may hold a context of the graphics platform current until now.
    SetPrinter(nullptr);
    Current = this;
}

TPlatformScope::~TPlatformScope() {
    assert(Current == this && "platform scopes end in the reverse order of their start");
    SetPrinter(nullptr);
    Current = FPrevious;
}

TWindowService& WindowService() {
    return Need(&TPlatformServices::Windows);
}

TFocusService& FocusService() {
    return Need(&TPlatformServices::Focus);
}

TPaintService& PaintService() {
    return Need(&TPlatformServices::Painting);
}

TScrollBarService& ScrollBarService() {
    return Need(&TPlatformServices::ScrollBars);
}

TCaretService& CaretService() {
    return Need(&TPlatformServices::Caret);
}

TQueueService& QueueService() {
    return Need(&TPlatformServices::Queue);
}

TInputService& InputService() {
    return Need(&TPlatformServices::Input);
}

TClipboardTransport& ClipboardTransport() {
    return Need(&TPlatformServices::Clipboard);
}

TSettingsService& SettingsService() {
    return Need(&TPlatformServices::Settings);
}

TDialogService& DialogService() {
    return Need(&TPlatformServices::Dialogs);
}

bool WindowServiceInstalled() {
    return Current != nullptr && Current->GetServices().Windows != nullptr;
}

TGraphicsPlatform& GraphicsPlatform() {
    if (!GraphicsPlatformInstalled())
        throw EInvalidOperation("No graphics platform installed");
    return *Current->GetServices().Graphics;
}

bool GraphicsPlatformInstalled() {
    return Current != nullptr && Current->GetServices().Graphics != nullptr;
}

TMessageQueue& MessageQueue() {
    if (Current == nullptr)
        NoWindowPlatform();
    return Current->GetQueue();
}

TClipboardHost& ClipboardHost() {
    if (Current == nullptr)
        NoWindowPlatform();
    return Current->GetClipboard();
}

void NotifyWindowDestroyed(HWND Wnd) {
    if (Current != nullptr)
        Current->GetQueue().WindowDestroyed(Wnd);
}

} // namespace kestrel
