// The clipboard: the platform's clipboard services as the components call them, and the
// application's TClipboard object (text, handles of any format, nested open and close).
#pragma once

#include "host/global_memory.h"
#include "host/messages.h"
#include "host/object.h"
#include "host/window_platform.h"

#include <cstdint>
#include <string>

namespace kestrel {

/// Standard clipboard formats (the usual values). Registered formats number from 0xC000 up.
enum : UINT { CF_TEXT = 1, CF_OEMTEXT = 7 };

inline bool OpenClipboard(HWND Owner) {
    return WindowPlatform().OpenClipboard(Owner);
}
inline bool CloseClipboard() {
    return WindowPlatform().CloseClipboard();
}
inline bool EmptyClipboard() {
    return WindowPlatform().EmptyClipboard();
}
inline HGLOBAL SetClipboardData(UINT Format, HGLOBAL Mem) {
    return WindowPlatform().SetClipboardData(Format, Mem);
}
inline HGLOBAL GetClipboardData(UINT Format) {
    return WindowPlatform().GetClipboardData(Format);
}
inline bool IsClipboardFormatAvailable(UINT Format) {
    return WindowPlatform().IsClipboardFormatAvailable(Format);
}
inline UINT EnumClipboardFormats(UINT Format) {
    return WindowPlatform().EnumClipboardFormats(Format);
}
inline HWND SetClipboardViewer(HWND Viewer) {
    return WindowPlatform().SetClipboardViewer(Viewer);
}
inline bool ChangeClipboardChain(HWND Remove, HWND Next) {
    return WindowPlatform().ChangeClipboardChain(Remove, Next);
}

/// The application's view of the clipboard. Open and Close nest: the platform clipboard is
/// opened by the outermost Open and closed by the matching Close. Within one open, the first
/// data put on it empties it first, so that several formats of one copy stand together.
class TClipboard : public TObject {
public:
    ~TClipboard() override;

    /// Raises Exception "Cannot open clipboard" when another owner holds it open.
    void Open();
    /// Raises Exception "Clipboard is not open" without a matching Open.
    void Close();
    bool IsOpen() const { return FOpenRefCount > 0; }
    /// Removes every format.
    void Clear();
    bool HasFormat(UINT Format) const;

    /// The CF_TEXT data up to its first zero byte ("" when there is none).
    std::string GetAsText();
    /// Puts Value as CF_TEXT (with a terminating zero byte), replacing the clipboard's content.
    void SetAsText(const std::string& Value);
    /// The block under Format (owned by the clipboard), nullptr when absent.
    HGLOBAL GetAsHandle(UINT Format);
    /// Puts Value under Format; the clipboard owns it afterwards. When it cannot be put there
    /// the caller keeps it and Exception "Cannot put data on the clipboard" is raised.
    void SetAsHandle(UINT Format, HGLOBAL Value);
    /// Copies Size bytes from Buffer into a new block put under Format. Raises EOutOfMemory
    /// when no block can be had.
    void SetBuffer(UINT Format, const void* Buffer, std::int64_t Size);

    /// The formats on the clipboard, in the order they were put.
    int GetFormatCount();
    /// Format Index (0 .. GetFormatCount() - 1); ERangeError outside.
    UINT GetFormats(int Index);

private:
    /// Empties the clipboard before the first data put within one open.
    void Adding();

    int FOpenRefCount = 0;
    bool FEmptied = false; // the current open has already emptied the clipboard
};

/// The application's clipboard object.
TClipboard* Clipboard();

} // namespace kestrel
