// TEditStream::ReplaceMatches: many replacements as one edit, read through two derived streams
// (the range as it was, and the same range with the occurrences replaced) instead of a segment
// per match.
#include "textbuff/edit_stream.h"

#include "textbuff/text_buffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kestrel {

namespace {

// A read-only stream read by ReadAt: Read, Seek and the position for those that derive from it.
class TReadOnlyStream : public TStream {
public:
    std::int64_t Read(void* Buffer, std::int64_t Count) override {
        const std::int64_t N = ReadAt(Position, Buffer, Count);
        Position += N;
        return N;
    }
    std::int64_t Write(const void*, std::int64_t) override {
        throw EWriteError("Stream write error");
    }
    std::int64_t Seek(std::int64_t Offset, std::uint16_t Origin) override {
        const std::int64_t From = Origin == soFromBeginning ? 0
                                  : Origin == soFromCurrent ? Position
                                                            : GetSize();
        Position = std::max<std::int64_t>(0, From + Offset);
        return Position;
    }

private:
    std::int64_t Position = 0;
};

// A read-only stream over a segment list that it owns: the bytes a range of the text held.
class TSegmentStream : public TReadOnlyStream {
public:
    explicit TSegmentStream(std::unique_ptr<TSegmentList> Cut)
        : List(std::make_unique<TVirtualStreamList>()) {
        List->InsertSegmentList(std::move(Cut));
    }

    std::int64_t ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count) override {
        Count = std::min(Count, List->GetSize() - Pos);
        if (Pos < 0 || Count <= 0)
            return 0;
        List->Seek(Pos);
        return List->Read(Buffer, Count);
    }
    std::int64_t GetSize() override { return List->GetSize(); }

private:
    std::unique_ptr<TVirtualStreamList> List;
};

// A read-only stream that shows Base with the PatternLength bytes at each offset of Matches
// replaced by Replacement.
class TReplacedStream : public TReadOnlyStream {
public:
    TReplacedStream(TStream* ABase, TMatchList AMatches, std::int64_t APattern,
                    std::string AReplacement)
        : Base(ABase), Matches(std::move(AMatches)), Replacement(std::move(AReplacement)),
          Delta(static_cast<std::int64_t>(Replacement.size()) - APattern),
          Size(ABase->GetSize() + Matches.Size() * Delta) {}

    std::int64_t GetSize() override { return Size; }

    std::int64_t ReadAt(std::int64_t Pos, void* Buffer, std::int64_t Count) override {
        Count = std::min(Count, Size - Pos);
        if (Pos < 0 || Count <= 0)
            return 0;
        auto* Out = static_cast<std::uint8_t*>(Buffer);
        const std::int64_t N = Matches.Size();
        const auto R = static_cast<std::int64_t>(Replacement.size());
        // I: the first match whose replacement ends after Pos (those ends never decrease).
        std::int64_t Lo = 0;
        std::int64_t Hi = N;
        while (Lo < Hi) {
            const std::int64_t M = Lo + (Hi - Lo) / 2;
            if (OutStart(M) + R <= Pos)
                Lo = M + 1;
            else
                Hi = M;
        }
        std::int64_t I = Lo;
        std::int64_t Done = 0;
        while (Done < Count) {
            const std::int64_t P = Pos + Done;
            const std::int64_t Start = I < N ? OutStart(I) : Size;
            if (P < Start) {
                // Bytes of the base between replacements.
                const std::int64_t K = std::min(Count - Done, Start - P);
                const std::int64_t Got = Base->ReadAt(P - I * Delta, Out + Done, K);
                Done += std::max<std::int64_t>(0, Got);
                if (Got < K)
                    break; // the base gave fewer bytes than it holds
                continue;
            }
            const std::int64_t K = std::min(Count - Done, Start + R - P);
            if (K > 0) {
                std::memcpy(Out + Done, Replacement.data() + (P - Start),
                            static_cast<std::size_t>(K));
                Done += K;
            }
            ++I;
        }
        return Done;
    }

private:
    std::int64_t OutStart(std::int64_t I) const { return Matches.Get(I) + I * Delta; }

    TStream* Base;      // owned by the edit stream, as this one is
    TMatchList Matches; // ascending offsets in Base
    std::string Replacement;
    std::int64_t Delta; // bytes each replacement adds
    std::int64_t Size;
};

} // namespace

std::int64_t TEditStream::ReplaceMatches(std::int64_t Pos, std::int64_t Count, TMatchList Matches,
                                         std::int64_t PatternLength,
                                         const std::string& Replacement) {
    if (ReadOnly) {
        DoWriteProtect();
        return 0;
    }
    if (Pos < 0 || Count < 0 || Pos + Count > TextSize || PatternLength <= 0)
        RaiseInternalError("Replace outside the text");
    bool Sound = true;
    std::int64_t Next = 0; // where the next match may start
    Matches.ForEach([&](std::int64_t M) {
        Sound = M >= Next && M + PatternLength <= Count;
        Next = M + PatternLength;
        return Sound;
    });
    if (!Sound)
        RaiseInternalError("Replace with overlapping matches");
    if (Matches.Empty() || Count == 0)
        return 0;
    const std::int64_t Step = static_cast<std::int64_t>(Replacement.size()) - PatternLength;
    const std::int64_t Delta = Matches.Size() * Step;
    // Bookmarks inside the range keep their place in the text around them.
    for (std::int64_t& B : Bookmarks) {
        if (B <= Pos)
            continue;
        if (B >= Pos + Count) {
            B += Delta;
            continue;
        }
        // K: the matches that start before B.
        std::int64_t K = 0;
        for (std::int64_t Hi = Matches.Size(); K < Hi;) {
            const std::int64_t Mid = K + (Hi - K) / 2;
            if (Matches.Get(Mid) < B - Pos)
                K = Mid + 1;
            else
                Hi = Mid;
        }
        std::int64_t Moved = B + K * Step;
        if (K > 0 && B - Pos < Matches.Get(K - 1) + PatternLength) {
            // Inside a match: somewhere in its replacement.
            const std::int64_t RStart = Pos + Matches.Get(K - 1) + (K - 1) * Step;
            Moved =
                std::clamp(Moved, RStart, RStart + static_cast<std::int64_t>(Replacement.size()));
        }
        B = Moved;
    }
    DerivedStreams.reserve(DerivedStreams.size() + 2);
    SaveChanges();
    RedoList->Reset();
    EditPos = -1;
    UndoList->PushUndoStack(Pos);
    Segments->Seek(Pos);
    std::unique_ptr<TSegmentList> Cut = Segments->Cut(Count);
    auto Old = std::make_unique<TSegmentStream>(std::move(Cut));
    auto New = std::make_unique<TReplacedStream>(Old.get(), std::move(Matches), PatternLength,
                                                 Replacement);
    const std::int64_t NewSize = New->GetSize();
    // The undo record puts back the range as it was, now read from Old.
    auto Restore = std::make_unique<TSegmentList>();
    Restore->Append(std::make_unique<TStreamSegment>(Old.get(), 0, Count));
    TStream* NewStream = New.get();
    DerivedStreams.push_back(std::move(Old));
    DerivedStreams.push_back(std::move(New));
    TextSize -= Count;
    DiscardWindowFrom(Pos);
    UndoList->SaveUndo(std::move(Restore), Pos);
    if (NewSize > 0) {
        Segments->Seek(Pos);
        Segments->Insert(std::make_unique<TStreamSegment>(NewStream, 0, NewSize));
        UndoList->SaveInsertInfo(Pos, NewSize);
    }
    TextSize += NewSize;
    CheckInvariants();
    SetModified(true);
    DoOnChange();
    return Delta;
}

} // namespace kestrel
