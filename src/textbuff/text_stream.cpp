// TTextStream: the sliding read buffer over a source stream.
#include "textbuff/text_stream.h"

#include "host/exceptions.h"
#include "host/oem.h"
#include "host/scope_guard.h"
#include "macros/macros.h"

#include <cassert>
#include <cstring>
#include <string>

namespace kestrel {

TTextStream::TTextStream(TComponent* AOwner) : TLinesBuffer(AOwner) {
    SetBufSize(4096);
}

TTextStream::~TTextStream() {
    DeAllocBuffer(Buffer, BufSize);
}

std::uint8_t* TTextStream::AllocBuffer(std::uint16_t Size) {
    SetValidRange(Buffer, Buffer);
    BufferBlock = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(Size) + 2);
    return BufferBlock.get() + 1;
}

void TTextStream::DeAllocBuffer(std::uint8_t*& P, std::uint16_t /*Size*/) {
    if (P == nullptr)
        return;
    assert(P == BufferBlock.get() + 1 && "DeAllocBuffer of a block this stream did not allocate");
    BufferBlock.reset();
    P = nullptr;
}

void TTextStream::SetBufSize(std::uint16_t Size) {
    if (Size == 0)
        throw ERangeError("The text buffer needs at least one byte");
    FlushWindow();
    DeAllocBuffer(Buffer, BufSize);
    Buffer = AllocBuffer(Size);
    BufSize = Size;
    Overlap = Size / 4;
    BufCount = 0;
    SetValidRange(Buffer, Buffer - 1);
    if (BufStart != -1)
        GetText(min(BufStart, TextSize));
}

void TTextStream::SetOEMConvert(bool Value) {
    if (Value == OEMConvert)
        return;
    FlushWindow();
    OEMConvert = Value;
    ++LayoutGeneration; // other bytes, other widths
    BufCount = 0;
    SetValidRange(Buffer, Buffer - 1);
    if (BufStart != -1)
        GetText(min(BufStart, TextSize));
}

void TTextStream::GetBuffer(std::uint8_t* Dest, std::int64_t Pos, std::uint16_t Count) {
    if (!SourceStream)
        return;
    // A window that starts inside the present one (a forward walk) keeps the bytes they share:
    // they move to the front of the buffer instead of being read again, already converted.
    std::int64_t Kept = 0;
    if (Dest == Buffer && BufStart >= 0 && BufStart <= Pos && Pos < BufStart + BufCount) {
        Kept = min(Count, BufStart + BufCount - Pos);
        std::memmove(Dest, Buffer + (Pos - BufStart), static_cast<std::size_t>(Kept));
    }
    BufStart = Pos;
    const std::int64_t Read = ReadSource(Dest + Kept, Pos + Kept, Count - Kept);
    BufCount = static_cast<std::uint16_t>(Kept + Read);
    if (OEMConvert)
        OemToCharBuffA(Dest + Kept, Dest + Kept, Read);
}

std::int64_t TTextStream::ReadSource(std::uint8_t* Dest, std::int64_t Pos, std::int64_t Count) {
    std::int64_t Done = 0;
    // A stream may answer in parts; stop only at its end.
    while (Done < Count) {
        const std::int64_t N = SourceStream->ReadAt(Pos + Done, Dest + Done, Count - Done);
        if (N <= 0)
            break;
        Done += N;
    }
    return Done;
}

std::uint8_t* TTextStream::GetText(std::int64_t Pos) {
    if (Pos >= BufStart && Pos < BufStart + BufCount)
        return Buffer + (Pos - BufStart);
    if (Pos < 0 || Pos > TextSize)
        throw EReadError("Text position " + std::to_string(Pos) + " is outside the text");
    if (TextSize == 0) {
        // Nothing to read: an empty window at 0.
        BufStart = 0;
        BufCount = 0;
        SetValidRange(Buffer, Buffer - 1);
        return Buffer;
    }
    std::int64_t S;
    if (BufStart < Pos)
        S = max(0, min(TextSize - BufSize, Pos - Overlap));
    else // a look-ahead of at least one byte, so that Pos is inside even when Overlap is 0
        S = max(0, min(TextSize, Pos + max(Overlap, 1)) - BufSize);
    const std::int64_t Count = min(BufSize, TextSize - S);
    GetBuffer(Buffer, S, static_cast<std::uint16_t>(Count));
    SetValidRange(Buffer, Buffer + BufCount - 1);
    if (!WindowCovers(Pos))
        throw EReadError("The source stream ended before the text did (it shrank while open)");
    return Buffer + (Pos - BufStart);
}

void TTextStream::CopyToStream(TStream* Stream, std::int64_t Pos, std::int64_t Count) {
    if (Pos < 0 || Count < 0)
        throw EInternalError("CopyToStream with a negative position or count");
    if (Count == 0)
        return;
    if (!SourceStream || Pos + Count > TextSize)
        throw EReadError("CopyToStream beyond the end of the text");
    SourceStream->Seek(Pos, soFromBeginning);
    Stream->CopyFrom(SourceStream.get(), Count);
}

void TTextStream::Reset() {
    TLinesBuffer::Reset();
    SetSourceStream(nullptr);
}

void TTextStream::SetSourceStream(TStream* Stream) {
    // Everything that may fail comes before the stream is adopted, so that a failure leaves it
    // the caller's and the container as it was. A source that cannot seek fails here.
    const std::int64_t Size = Stream != nullptr ? Stream->GetSize() : 0;
    if (MaxTextSize > 0 && Size > MaxTextSize)
        throw EMaxText("Stream bigger than maximum permitted text size");
    if (BufSize == 0)
        SetBufSize(4096);
    if (Stream != SourceStream.get())
        SourceStream.reset(Stream);
    TextSize = Size;
    ++LayoutGeneration; // another text
    BufStart = -1;
    BufCount = 0;
    SetValidRange(Buffer, Buffer - 1);
    State -= TLinesBufferStates{lbFontDataAvailable, lbTabDataAvailable};
}

void TTextStream::SetSourceStream(std::unique_ptr<TStream> Stream) {
    // Whatever happens, the stream has one owner: the container once it adopted it (even when
    // a later step of a descendant raises), else the unique_ptr, which frees it.
    TStream* const Raw = Stream.get();
    TScopeExit HandOver([&] {
        if (Raw != nullptr && SourceStream.get() == Raw)
            static_cast<void>(Stream.release());
    });
    SetSourceStream(Raw);
}

void TTextStream::ClearLastUndoLink() {
    AbstractError();
}
void TTextStream::Delete(std::int64_t, std::int64_t) {
    AbstractError();
}
void TTextStream::Insert(const void*, std::int64_t, std::int64_t) {
    AbstractError();
}
std::int64_t TTextStream::InsertMem(HGLOBAL, std::int64_t) {
    AbstractError();
}
void TTextStream::ReplaceChar(std::int64_t, std::uint8_t) {
    AbstractError();
}
std::int64_t TTextStream::Redo() {
    AbstractError();
}
std::int64_t TTextStream::Undo() {
    AbstractError();
}

TWideWindowScope::TWideWindowScope(TTextBuffer* Buffer)
    : Stream(dynamic_cast<TTextStream*>(Buffer)) {
    if (Stream == nullptr || Stream->GetBufSize() == 0xFFFF)
        Stream = nullptr;
    else {
        Saved = Stream->GetBufSize();
        Stream->SetBufSize(0xFFFF);
    }
}

TWideWindowScope::~TWideWindowScope() {
    if (Stream == nullptr)
        return;
    try {
        Stream->SetBufSize(Saved);
    } catch (const std::exception&) {
        // (The window cannot be refilled where it was: it stays wide, which only costs memory.)
    }
}

} // namespace kestrel
