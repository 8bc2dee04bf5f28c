// TClipboardHost over the platform's clipboard transport, and TClipboard: nested open and
// close, text and handles.
#include "host/clipboard.h"

#include "host/exceptions.h"
#include "host/scope_guard.h"
#include "host/window_platform.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <utility>

namespace kestrel {

namespace {

std::string Lower(std::string S) {
    for (char& C : S)
        C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return S;
}

bool Live(HGLOBAL Mem) {
    if (GlobalLock(Mem) == nullptr)
        return false;
    GlobalUnlock(Mem);
    return true;
}

// A new block holding Bytes; EOutOfMemory when none can be had.
HGLOBAL BlockOf(const std::string& Bytes) {
    TGlobalHandleGuard Block(GlobalAlloc(GMEM_MOVEABLE, static_cast<std::int64_t>(Bytes.size())));
    if (Block.Get() == nullptr)
        throw EOutOfMemory("Out of memory");
    const TGlobalLockGuard Lock(Block.Get());
    if (!Bytes.empty())
        std::memcpy(Lock.Get(), Bytes.data(), Bytes.size());
    return Block.Release();
}

// Every byte of the block, its whole size.
std::string BytesOf(HGLOBAL Block) {
    const TGlobalLockGuard Lock(Block);
    const auto* P = static_cast<const char*>(Lock.Get());
    return P == nullptr ? std::string()
                        : std::string(P, static_cast<std::size_t>(GlobalSize(Block)));
}

} // namespace

// TClipboardHost ---------------------------------------------------------------------------

TClipboardHost::~TClipboardHost() {
    FreeBlocks();
}

void TClipboardHost::FreeBlocks() {
    for (const TEntry& E : FBlocks)
        GlobalFree(E.Block);
    FBlocks.clear();
}

void TClipboardHost::TellViewers() {
    if (FViewer != 0 && WindowService().IsWindow(FViewer))
        WindowService().SendMessage(FViewer, WM_DRAWCLIPBOARD, 0, 0);
}

std::vector<UINT> TClipboardHost::Formats() const {
    if (!FChanged)
        return ClipboardTransport().GetClipboardFormats();
    std::vector<UINT> Result;
    for (const TEntry& E : FBlocks)
        Result.push_back(E.Format);
    return Result;
}

bool TClipboardHost::Open(HWND Owner) {
    if (Owner != 0 && !WindowService().IsWindow(Owner))
        return false;
    if (FOpen)
        return FOwner == Owner; // the holder may open it again; anyone else waits
    FOpen = true;
    FOwner = Owner;
    FChanged = false;
    return true;
}

bool TClipboardHost::Close() {
    if (!FOpen)
        return false;
    if (!FChanged) {
        FOpen = false;
        FOwner = 0;
        if (FStale)
            FreeBlocks();
        FStale = false;
        return true;
    }
    std::vector<TClipboardItem> Items;
    for (const TEntry& E : FBlocks)
        Items.push_back(TClipboardItem{E.Format, BytesOf(E.Block)});
    FOpen = false;
    FOwner = 0;
    FChanged = false;
    FStale = false;
    FreeBlocks(); // the transport holds the bytes now
    ClipboardTransport().PublishClipboard(std::move(Items));
    ++FChanges;
    // The viewers hear of the change once the new content is complete.
    TellViewers();
    return true;
}

bool TClipboardHost::Empty() {
    if (!FOpen)
        return false;
    FreeBlocks();
    FChanged = true;
    return true;
}

void TClipboardHost::BeginChange() {
    if (FChanged)
        return;
    if (FStale)
        FreeBlocks();
    FStale = false;
    // The published content becomes blocks, keeping those already handed out.
    std::vector<TEntry> Content;
    const TScopeFail Undo([&] {
        for (const TEntry& E : Content)
            if (std::none_of(FBlocks.begin(), FBlocks.end(),
                             [&](const TEntry& Held) { return Held.Block == E.Block; }))
                GlobalFree(E.Block);
    });
    for (const UINT Format : ClipboardTransport().GetClipboardFormats()) {
        const auto Held = std::find_if(FBlocks.begin(), FBlocks.end(),
                                       [Format](const TEntry& E) { return E.Format == Format; });
        if (Held != FBlocks.end()) {
            Content.push_back(*Held);
            continue;
        }
        std::string Bytes;
        if (ClipboardTransport().ReadClipboard(Format, Bytes))
            Content.push_back(TEntry{Format, BlockOf(Bytes)});
    }
    for (const TEntry& E : FBlocks)
        if (std::none_of(Content.begin(), Content.end(),
                         [&](const TEntry& Kept) { return Kept.Block == E.Block; }))
            GlobalFree(E.Block);
    FBlocks = std::move(Content);
    FChanged = true;
}

HGLOBAL TClipboardHost::SetData(UINT Format, HGLOBAL Mem) {
    if (!FOpen || Format == 0 || Mem == nullptr || !Live(Mem))
        return nullptr;
    BeginChange();
    // A handle that is not a live block, or one held under another format, would be freed
    // twice later: refuse it.
    if (!Live(Mem))
        return nullptr;
    for (const TEntry& E : FBlocks)
        if (E.Block == Mem && E.Format != Format)
            return nullptr;
    const auto It = std::find_if(FBlocks.begin(), FBlocks.end(),
                                 [Format](const TEntry& E) { return E.Format == Format; });
    if (It != FBlocks.end()) {
        if (It->Block != Mem)
            GlobalFree(It->Block);
        It->Block = Mem;
    } else {
        FBlocks.push_back(TEntry{Format, Mem});
    }
    return Mem;
}

HGLOBAL TClipboardHost::GetData(UINT Format) {
    if (!FOpen)
        return nullptr;
    for (const TEntry& E : FBlocks)
        if (E.Format == Format)
            return E.Block;
    std::string Bytes;
    if (FChanged || !ClipboardTransport().ReadClipboard(Format, Bytes))
        return nullptr;
    FBlocks.reserve(FBlocks.size() + 1);
    const HGLOBAL Block = BlockOf(Bytes);
    FBlocks.push_back(TEntry{Format, Block});
    return Block;
}

bool TClipboardHost::IsFormatAvailable(UINT Format) const {
    const std::vector<UINT> All = Formats();
    return std::find(All.begin(), All.end(), Format) != All.end();
}

UINT TClipboardHost::EnumFormats(UINT Format) const {
    if (!FOpen)
        return 0;
    const std::vector<UINT> All = Formats();
    if (All.empty())
        return 0;
    if (Format == 0)
        return All.front();
    for (std::size_t I = 0; I + 1 < All.size(); ++I)
        if (All[I] == Format)
            return All[I + 1];
    return 0;
}

HWND TClipboardHost::SetViewer(HWND Viewer) {
    const HWND Previous = FViewer;
    FViewer = Viewer;
    if (Viewer != 0 && WindowService().IsWindow(Viewer))
        WindowService().SendMessage(Viewer, WM_DRAWCLIPBOARD, 0, 0);
    return Previous;
}

bool TClipboardHost::ChangeChain(HWND Remove, HWND Next) {
    if (Remove == 0)
        return false;
    if (FViewer == Remove) {
        FViewer = Next;
        return true;
    }
    if (FViewer != 0 && WindowService().IsWindow(FViewer))
        WindowService().SendMessage(FViewer, WM_CHANGECBCHAIN, static_cast<WPARAM>(Remove),
                                    static_cast<LPARAM>(Next));
    return true;
}

UINT TClipboardHost::RegisterFormat(const std::string& Name) {
    if (Name.empty())
        return 0;
    const auto Next = static_cast<UINT>(0xC000 + FFormatNames.size());
    const auto Added = FFormatNumbers.emplace(Lower(Name), Next);
    if (Added.second) {
        const TScopeFail Undo([&] { FFormatNumbers.erase(Added.first); });
        FFormatNames.push_back(Name);
    }
    return Added.first->second;
}

std::string TClipboardHost::GetFormatName(UINT Format) const {
    if (Format < 0xC000 || Format - 0xC000 >= FFormatNames.size())
        return {};
    return FFormatNames[Format - 0xC000];
}

void TClipboardHost::ChangedElsewhere() {
    ++FChanges;
    // Blocks read from the old content go; while the clipboard is open they stay until the
    // close, as the holder may still be reading them.
    if (!FChanged) {
        if (FOpen)
            FStale = true;
        else
            FreeBlocks();
    }
    TellViewers();
}

void NotifyClipboardChanged() {
    ClipboardHost().ChangedElsewhere();
}

UINT RegisterClipboardFormat(const std::string& Name) {
    return ClipboardHost().RegisterFormat(Name);
}

// TClipboard -------------------------------------------------------------------------------

TClipboard::~TClipboard() = default;

void TClipboard::Open() {
    if (FOpenRefCount == 0) {
        if (!OpenClipboard(0))
            throw Exception("Cannot open clipboard");
        FEmptied = false;
    }
    ++FOpenRefCount;
}

void TClipboard::Close() {
    if (FOpenRefCount == 0)
        throw Exception("Clipboard is not open");
    if (--FOpenRefCount == 0)
        CloseClipboard();
}

void TClipboard::Adding() {
    if (FOpenRefCount > 0 && !FEmptied) {
        FEmptied = true;
        EmptyClipboard();
    }
}

void TClipboard::CloseAfterFailure() noexcept {
    // The failure that got here is the one to report; a failing close adds nothing to it.
    try {
        Close();
    } catch (...) {
    }
}

void TClipboard::Clear() {
    Open();
    {
        const TScopeFail Closing([this] { CloseAfterFailure(); });
        EmptyClipboard();
        FEmptied = true;
    }
    Close();
}

bool TClipboard::HasFormat(UINT Format) const {
    return IsClipboardFormatAvailable(Format);
}

std::string TClipboard::GetAsText() {
    std::string Result;
    Open();
    {
        const TScopeFail Closing([this] { CloseAfterFailure(); });
        const HGLOBAL Data = GetClipboardData(CF_TEXT);
        if (Data != nullptr) {
            const TGlobalLockGuard Lock(Data);
            if (const auto* P = static_cast<const char*>(Lock.Get()); P != nullptr) {
                // Up to the first zero byte, never past the block.
                const auto Size = static_cast<std::size_t>(GlobalSize(Data));
                const void* Zero = std::memchr(P, 0, Size);
                Result.assign(P, Zero != nullptr ? static_cast<const char*>(Zero) : P + Size);
            }
        }
    }
    Close();
    return Result;
}

void TClipboard::SetAsText(const std::string& Value) {
    // The terminating zero goes with the text.
    SetBuffer(CF_TEXT, Value.c_str(), static_cast<std::int64_t>(Value.size()) + 1);
}

HGLOBAL TClipboard::GetAsHandle(UINT Format) {
    HGLOBAL Result = nullptr;
    Open();
    {
        const TScopeFail Closing([this] { CloseAfterFailure(); });
        Result = GetClipboardData(Format);
    }
    Close();
    return Result;
}

void TClipboard::SetAsHandle(UINT Format, HGLOBAL Value) {
    Open();
    {
        const TScopeFail Closing([this] { CloseAfterFailure(); });
        Adding();
        if (SetClipboardData(Format, Value) == nullptr)
            throw Exception("Cannot put data on the clipboard");
    }
    Close();
}

void TClipboard::SetBuffer(UINT Format, const void* Buffer, std::int64_t Size) {
    TGlobalHandleGuard Block(GlobalAlloc(GMEM_MOVEABLE, Size));
    if (Block.Get() == nullptr)
        throw EOutOfMemory("Out of memory");
    {
        const TGlobalLockGuard Lock(Block.Get());
        if (Size > 0)
            std::memcpy(Lock.Get(), Buffer, static_cast<std::size_t>(Size));
    }
    SetAsHandle(Format, Block.Get());
    Block.Release(); // the clipboard owns it now
}

int TClipboard::GetFormatCount() {
    int Count = 0;
    Open();
    {
        const TScopeFail Closing([this] { CloseAfterFailure(); });
        for (UINT F = EnumClipboardFormats(0); F != 0; F = EnumClipboardFormats(F))
            ++Count;
    }
    Close();
    return Count;
}

UINT TClipboard::GetFormats(int Index) {
    UINT F = 0;
    Open();
    {
        const TScopeFail Closing([this] { CloseAfterFailure(); });
        F = EnumClipboardFormats(0);
        for (int I = 0; F != 0 && I < Index; ++I)
            F = EnumClipboardFormats(F);
    }
    Close();
    if (Index < 0 || F == 0)
        throw ERangeError("Clipboard format index out of range");
    return F;
}

TClipboard* Clipboard() {
    static TClipboard Instance;
    return &Instance;
}

} // namespace kestrel
