// TTextBuffer: bookmarks, the modified flag, line-break tests and copying out of the text.
#include "textbuff/text_buffer.h"

#include "macros/macros.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace kestrel {

void RaiseInternalError(const std::string& Msg) {
    throw EInternalError(Msg + ResyncSuffix);
}

TTextBuffer::TTextBuffer(TComponent* AOwner) : TComponent(AOwner) {}

TTextBuffer::~TTextBuffer() = default;

void TTextBuffer::DoOnChange() {
    if (OnChange)
        OnChange(this);
}

void TTextBuffer::DoOnModified() {
    if (OnModified)
        OnModified(this);
}

bool TTextBuffer::IsEditable() {
    return false;
}

void TTextBuffer::Reset() {
    if (!PreserveBookmarks)
        Bookmarks.clear();
}

void TTextBuffer::SetModified(bool Value) {
    if (IsEditable() && Value != Modified) {
        Modified = Value;
        DoOnModified();
    }
}

void TTextBuffer::SetValidRange(std::uint8_t* Start, std::uint8_t* Finish) {
    ValidStart = Start;
    ValidEnd = Finish;
}

bool TTextBuffer::LineBreakAt(std::int64_t Pos) {
    if (Pos < 0 || Pos >= TextSize)
        return false;
    if (ByteAt(Pos) == 13)
        ++Pos;
    return Pos < TextSize && ByteAt(Pos) == 10;
}

std::int64_t TTextBuffer::SkipBackOverLineBreak(std::int64_t Pos) {
    if (Pos - 1 < 1 || Pos - 1 > TextSize - 1)
        return Pos;
    const std::uint8_t Ch = ByteAt(Pos - 1);
    if (Ch != 10 && Ch != 12)
        return Pos;
    return ByteAt(Pos - 2) == 13 ? Pos - 3 : Pos - 2;
}

std::int64_t TTextBuffer::CopyText(void* Dest, std::int64_t Pos, std::int64_t Count) {
    if (Pos < 0 || Count < 0)
        throw EInternalError("CopyText with a negative position or count");
    auto* Out = static_cast<std::uint8_t*>(Dest);
    std::int64_t Result = 0;
    while (Count > 0 && Pos < TextSize) {
        const std::uint8_t* P = GetText(Pos);
        const std::int64_t Avail = ValidEnd - P + 1;
        if (Avail <= 0) // a window that cannot cover Pos would make this loop spin
            throw EReadError("Text window does not cover the position read");
        const std::int64_t N = min(Count, Avail);
        std::memcpy(Out, P, static_cast<std::size_t>(N));
        Out += N;
        Result += N;
        Pos += N;
        Count -= N;
    }
    return Result;
}

void TTextBuffer::CopyToMem(HGLOBAL Handle, std::int64_t Pos, std::int64_t Count) {
    TGlobalLockGuard Lock(Handle);
    if (Lock.Get() == nullptr)
        return;
    CopyText(Lock.Get(), Pos, min(Count, GlobalSize(Handle)));
}

void TTextBuffer::InsertString(const std::string& S, std::int64_t Pos) {
    Insert(S.data(), Pos, static_cast<std::int64_t>(S.size()));
}

void TTextBuffer::InsertSpaces(std::int64_t Pos, std::int64_t Count) {
    constexpr std::int64_t LocalSize = 1024;
    if (Count <= LocalSize) {
        std::uint8_t Spaces[LocalSize];
        std::memset(Spaces, ' ', sizeof Spaces);
        Insert(Spaces, Pos, Count);
        return;
    }
    const auto Spaces = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(Count));
    std::memset(Spaces.get(), ' ', static_cast<std::size_t>(Count));
    Insert(Spaces.get(), Pos, Count);
}

std::int64_t TTextBuffer::GetBookMarkHandle(std::int64_t Pos) {
    if (Pos < 0 || Pos > TextSize)
        throw EBookmarkError("Invalid Bookmark Position");
    Bookmarks.push_back(Pos);
    return GetBookMarkCount() - 1;
}

std::int64_t TTextBuffer::GetBookMark(std::int64_t Handle) const {
    if (Handle < 0 || Handle >= GetBookMarkCount())
        return -1;
    return Bookmarks[static_cast<std::size_t>(Handle)];
}

void TTextBuffer::DeleteBookMark(std::int64_t Handle) {
    if (Handle < 0 || Handle >= GetBookMarkCount())
        throw EBookmarkError("Invalid Bookmark Handle");
    Bookmarks[static_cast<std::size_t>(Handle)] = -1;
    while (!Bookmarks.empty() && Bookmarks.back() == -1)
        Bookmarks.pop_back();
}

void TTextBuffer::UpdateBookMarks(std::int64_t Pos, std::int64_t Delta) {
    const std::int64_t DeletedEnd = Delta < 0 ? Pos - Delta : Pos;
    for (std::int64_t& Mark : Bookmarks) {
        if (Mark < 0 || Mark < Pos)
            continue;
        Mark = Mark < DeletedEnd ? Pos : Mark + Delta;
    }
}

} // namespace kestrel
