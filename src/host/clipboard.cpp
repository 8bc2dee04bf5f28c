// TClipboard: nested open and close over the platform clipboard, text and handles.
#include "host/clipboard.h"

#include "host/exceptions.h"

#include <cstring>

namespace kestrel {

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

void TClipboard::Clear() {
    Open();
    try {
        EmptyClipboard();
        FEmptied = true;
    } catch (...) {
        Close();
        throw;
    }
    Close();
}

bool TClipboard::HasFormat(UINT Format) const {
    return IsClipboardFormatAvailable(Format);
}

std::string TClipboard::GetAsText() {
    std::string Result;
    Open();
    try {
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
    } catch (...) {
        Close();
        throw;
    }
    Close();
    return Result;
}

void TClipboard::SetAsText(const std::string& Value) {
    // The terminating zero goes with the text.
    SetBuffer(CF_TEXT, Value.c_str(), static_cast<std::int64_t>(Value.size()) + 1);
}

HGLOBAL TClipboard::GetAsHandle(UINT Format) {
    Open();
    HGLOBAL Result = nullptr;
    try {
        Result = GetClipboardData(Format);
    } catch (...) {
        Close();
        throw;
    }
    Close();
    return Result;
}

void TClipboard::SetAsHandle(UINT Format, HGLOBAL Value) {
    Open();
    try {
        Adding();
        if (SetClipboardData(Format, Value) == nullptr)
            throw Exception("Cannot put data on the clipboard");
    } catch (...) {
        Close();
        throw;
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
    Open();
    int Count = 0;
    for (UINT F = EnumClipboardFormats(0); F != 0; F = EnumClipboardFormats(F))
        ++Count;
    Close();
    return Count;
}

UINT TClipboard::GetFormats(int Index) {
    Open();
    UINT F = EnumClipboardFormats(0);
    for (int I = 0; F != 0 && I < Index; ++I)
        F = EnumClipboardFormats(F);
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
