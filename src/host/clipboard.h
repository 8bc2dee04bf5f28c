// The clipboard: the host's bookkeeping over a platform's clipboard transport (who holds it
// open, memory blocks, format numbers, the viewer chain), the functions the components call,
// and the application's TClipboard object (text, handles of any format, nested open and close).
#pragma once

#include "host/global_memory.h"
#include "host/messages.h"
#include "host/object.h"
#include "host/platform.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrel {

/// Standard clipboard formats (the usual values). Registered formats number from 0xC000 up.
enum : UINT { CF_TEXT = 1, CF_OEMTEXT = 7 };

/// The clipboard of one installed platform (TPlatformScope): opened by one owner window (0:
/// the application) at a time; the data of a format is a global memory block. The puts of one
/// open are gathered here and published through the platform's transport at the close, which
/// then tells the viewer chain. Blocks handed out for reading are kept until the content
/// changes (or the platform goes).
class TClipboardHost {
public:
    TClipboardHost() = default;
    ~TClipboardHost();
    TClipboardHost(const TClipboardHost&) = delete;
    TClipboardHost& operator=(const TClipboardHost&) = delete;

    /// False when another owner holds it open (or Owner is not a window); the holder may open
    /// it again.
    bool Open(HWND Owner);
    /// Publishes what changed since the open; false when it was not open.
    bool Close();
    /// Frees every format's data; false when the clipboard is not open.
    bool Empty();
    /// Puts Mem under Format (replacing and freeing what was there) and takes ownership of it;
    /// returns Mem, or nullptr when refused (clipboard not open, no format, not a live block, a
    /// block it already holds under another format), in which case the caller still owns Mem.
    HGLOBAL SetData(UINT Format, HGLOBAL Mem);
    /// The block under Format, owned by the clipboard; nullptr when the clipboard is not open
    /// or the format is absent.
    HGLOBAL GetData(UINT Format);
    bool IsFormatAvailable(UINT Format) const;
    /// The format after Format in the clipboard's order (0 starts; 0 at the end or when the
    /// clipboard is not open).
    UINT EnumFormats(UINT Format) const;

    /// Makes Viewer the head of the viewer chain and returns the previous head (the window
    /// Viewer passes notifications on to); Viewer gets WM_DRAWCLIPBOARD at once. Every change
    /// sends WM_DRAWCLIPBOARD to the head once the new content is complete.
    HWND SetViewer(HWND Viewer);
    /// Takes Remove out of the chain, Next being the window that followed it: the head gets
    /// WM_CHANGECBCHAIN (WParam Remove, LParam Next) unless Remove is the head itself.
    bool ChangeChain(HWND Remove, HWND Next);
    HWND GetViewer() const { return FViewer; }

    /// The number of a named format: the same name (without case) gives the same number, from
    /// 0xC000 up; 0 for an empty name.
    UINT RegisterFormat(const std::string& Name);
    /// The name a registered format was given first; "" for other numbers.
    std::string GetFormatName(UINT Format) const;

    /// Someone else changed the clipboard (NotifyClipboardChanged).
    void ChangedElsewhere();

    bool IsOpen() const { return FOpen; }
    /// The window holding it open (0: the application, or nobody).
    HWND GetOwner() const { return FOwner; }
    /// Times the content changed (a close after an empty or a put, or a change elsewhere).
    int GetChanges() const { return FChanges; }

private:
    struct TEntry {
        UINT Format = 0;
        HGLOBAL Block = nullptr; // owned
    };
    /// Takes the published content in as blocks before the first change of an open, so that
    /// a put without an empty adds to it.
    void BeginChange();
    void FreeBlocks();
    void TellViewers();
    std::vector<UINT> Formats() const;

    bool FOpen = false;
    HWND FOwner = 0;
    // While FChanged, FBlocks is the whole new content in order (published at the close);
    // otherwise it holds the blocks handed out for the published content.
    bool FChanged = false;
    bool FStale = false;         // changed elsewhere while open: the blocks go at the close
    std::vector<TEntry> FBlocks; // at most one entry per format and per block
    int FChanges = 0;
    HWND FViewer = 0;                           // head of the viewer chain
    std::map<std::string, UINT> FFormatNumbers; // lower-case name -> number
    std::vector<std::string> FFormatNames;      // by number - 0xC000, as first registered
};

// The services as the components call them.
inline bool OpenClipboard(HWND Owner) {
    return ClipboardHost().Open(Owner);
}
inline bool CloseClipboard() {
    return ClipboardHost().Close();
}
inline bool EmptyClipboard() {
    return ClipboardHost().Empty();
}
inline HGLOBAL SetClipboardData(UINT Format, HGLOBAL Mem) {
    return ClipboardHost().SetData(Format, Mem);
}
inline HGLOBAL GetClipboardData(UINT Format) {
    return ClipboardHost().GetData(Format);
}
inline bool IsClipboardFormatAvailable(UINT Format) {
    return ClipboardHost().IsFormatAvailable(Format);
}
inline UINT EnumClipboardFormats(UINT Format) {
    return ClipboardHost().EnumFormats(Format);
}
inline HWND SetClipboardViewer(HWND Viewer) {
    return ClipboardHost().SetViewer(Viewer);
}
inline bool ChangeClipboardChain(HWND Remove, HWND Next) {
    return ClipboardHost().ChangeChain(Remove, Next);
}
inline HWND GetClipboardViewer() {
    return ClipboardHost().GetViewer();
}
/// The name a registered format was first given ("" for other numbers): what a transport
/// names the format by on its platform.
inline std::string GetClipboardFormatName(UINT Format) {
    return ClipboardHost().GetFormatName(Format);
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
    /// Closes on the way out of a failed step.
    void CloseAfterFailure() noexcept;

    int FOpenRefCount = 0;
    bool FEmptied = false; // the current open has already emptied the clipboard
};

/// The application's clipboard object.
TClipboard* Clipboard();

} // namespace kestrel
