// TLinesBuffer::Search: window by window, with a carry area for matches across window edges.
#include "textbuff/lines_buffer.h"

#include "textbuff/text_buffer.h"
#include "textbuff/text_search.h"

#include <algorithm>
#include <cassert>

namespace kestrel {

// How a match that touches a window edge is found: every pass first searches a carry area made
// of the bytes before the pass's start position (kept from earlier windows: the pattern's
// length plus one, for the whole-word test) and the first bytes of the new window. It takes the
// candidates that reach over the edge, and those whose neighbour byte lies over it; the window
// search leaves those out. A window shorter than the pattern only adds to the carry area, so
// patterns longer than a window are found too.

namespace {

// Carry := the last Keep bytes of Carry followed by the N bytes at P.
void KeepLast(std::string& Carry, const std::uint8_t* P, std::int64_t N, std::int64_t Keep) {
    const auto* Bytes = reinterpret_cast<const char*>(P);
    if (N >= Keep) {
        Carry.assign(Bytes + (N - Keep), static_cast<std::size_t>(Keep));
        return;
    }
    Carry.append(Bytes, static_cast<std::size_t>(N));
    if (Carry.size() > static_cast<std::size_t>(Keep))
        Carry.erase(0, Carry.size() - static_cast<std::size_t>(Keep));
}

// Carry := the first Keep bytes of the N bytes at P followed by Carry.
void KeepFirst(std::string& Carry, const std::uint8_t* P, std::int64_t N, std::int64_t Keep) {
    const auto* Bytes = reinterpret_cast<const char*>(P);
    if (N >= Keep) {
        Carry.assign(Bytes, static_cast<std::size_t>(Keep));
        return;
    }
    Carry.insert(0, Bytes, static_cast<std::size_t>(N));
    if (Carry.size() > static_cast<std::size_t>(Keep))
        Carry.resize(static_cast<std::size_t>(Keep));
}

} // namespace

bool TLinesBuffer::Search(std::int64_t& Pos, const std::string& S, TFindOptions Options) {
    if (TextSize <= 0)
        return false;
    Pos = std::max<std::int64_t>(0, std::min(Pos, TextSize - 1));
    if (S.size() > MaxSearchLength)
        throw EFindStringError("Search String exceeds 256 characters");
    if (S.empty())
        return false;
    return Options.Contains(frDown) ? SearchForwards(Pos, S, Options)
                                    : SearchBackwards(Pos, S, Options);
}

bool TLinesBuffer::SearchForwards(std::int64_t& Pos, const std::string& S, TFindOptions Options) {
    const auto Len = static_cast<std::int64_t>(S.size());
    const bool Whole = Options.Contains(frWholeWord);
    const std::int64_t Start = Pos;
    // Carry: the text bytes [Pos - Carry.size(), Pos - 1]; its first pass holds only the byte
    // before Start, which the whole-word test may need.
    std::string Carry;
    if (Whole && Start > 0)
        Carry.push_back(static_cast<char>(ByteAt(Start - 1)));
    std::string Area;
    for (;;) {
        const std::uint8_t* P = GetText(Pos);
        const std::int64_t Index = P - ValidStart;
        const std::int64_t Base = Pos - Index;
        const std::int64_t Last = Base + (ValidEnd - ValidStart);
        const bool LastIsEnd = Last >= TextSize - 1;

        // The carry area: candidates starting in [Pos - Len, Pos - 1] and not before Start.
        if (Pos > Start) {
            const std::int64_t Head = std::min(Last - Pos + 1, Len);
            Area.assign(Carry);
            Area.append(reinterpret_cast<const char*>(P), static_cast<std::size_t>(Head));
            const std::int64_t AreaStart = Pos - static_cast<std::int64_t>(Carry.size());
            const std::int64_t AreaEnd = Pos + Head - 1;
            const std::int64_t First = std::max({Start, Pos - Len, AreaStart});
            const bool AtEnd = AreaEnd >= TextSize - 1;
            // A match must keep its next byte in the area unless the text ends there.
            const std::int64_t EndIndex = AreaEnd - AreaStart - (Whole && !AtEnd ? 1 : 0);
            // The carry holds the byte before every candidate the whole-word test looks at.
            assert((!Whole || First > AreaStart || AreaStart == 0) && "carry too short");
            auto Found = static_cast<std::uint16_t>(First - AreaStart);
            if (EndIndex >= 0 &&
                SearchBlock(reinterpret_cast<const std::uint8_t*>(Area.data()), Found,
                            static_cast<std::uint16_t>(EndIndex), S, Options, -1,
                            AtEnd ? -1 : static_cast<std::uint8_t>(Area.back()))) {
                Pos = AreaStart + Found;
                return true;
            }
        }

        // The window from Pos, leaving to the next carry area any match whose next byte is
        // beyond the window.
        const std::int64_t EndIndex = Last - Pos - (Whole && !LastIsEnd ? 1 : 0);
        const int Before = Index > 0       ? P[-1]
                           : Carry.empty() ? -1
                                           : static_cast<std::uint8_t>(Carry.back());
        const int After = LastIsEnd ? -1 : ValidEnd[0];
        std::uint16_t Found = 0;
        if (EndIndex >= 0 && SearchBlock(P, Found, static_cast<std::uint16_t>(EndIndex), S, Options,
                                         Pos == 0 ? -1 : Before, After)) {
            Pos += Found;
            return true;
        }

        KeepLast(Carry, P, Last - Pos + 1, Len + 1);
        Pos = Last + 1;
        const bool Cancelled = DoSearchStatus(Last);
        if (Cancelled || Pos >= TextSize)
            return false;
    }
}

bool TLinesBuffer::SearchBackwards(std::int64_t& Pos, const std::string& S, TFindOptions Options) {
    const auto Len = static_cast<std::int64_t>(S.size());
    const bool Whole = Options.Contains(frWholeWord);
    const std::int64_t Start = Pos; // matches end at or before Start
    // Carry: the text bytes [Pos + 1, Pos + Carry.size()]; its first pass holds only the byte
    // after Start.
    std::string Carry;
    if (Whole && Start < TextSize - 1)
        Carry.push_back(static_cast<char>(ByteAt(Start + 1)));
    std::string Area;
    for (;;) {
        const std::uint8_t* P = GetText(Pos);
        const std::int64_t Index = P - ValidStart;
        const std::int64_t Base = Pos - Index;

        // The carry area: candidates ending in [Pos + 1, Pos + Len] and not after Start.
        if (Pos < Start) {
            const std::int64_t Tail = std::min(Index + 1, Len); // window bytes up to Pos
            const std::int64_t AreaStart = Pos - Tail + 1;
            Area.assign(reinterpret_cast<const char*>(P - Tail + 1),
                        static_cast<std::size_t>(Tail));
            Area.append(Carry);
            const std::int64_t AreaEnd = AreaStart + static_cast<std::int64_t>(Area.size()) - 1;
            const bool AtEnd = AreaEnd >= TextSize - 1;
            // The first byte stays out of reach of matches when the whole-word test needs it.
            const std::int64_t Skip = Whole && AreaStart > 0 ? 1 : 0;
            std::int64_t LastEnd = std::min({Start, Pos + Len, AreaEnd});
            if (Whole && LastEnd == AreaEnd && !AtEnd)
                --LastEnd; // keep the byte after the match in the area
            const auto* Buffer = reinterpret_cast<const std::uint8_t*>(Area.data()) + Skip;
            const std::int64_t EndIndex = LastEnd - AreaStart - Skip;
            auto Found = static_cast<std::uint16_t>(std::max<std::int64_t>(0, EndIndex));
            const int After = LastEnd + 1 <= AreaEnd
                                  ? static_cast<std::uint8_t>(
                                        Area[static_cast<std::size_t>(LastEnd + 1 - AreaStart)])
                                  : -1;
            if (EndIndex >= 0 &&
                SearchBlock(Buffer, Found, static_cast<std::uint16_t>(EndIndex), S, Options,
                            Skip != 0 ? static_cast<std::uint8_t>(Area[0]) : -1, After)) {
                Pos = AreaStart + Skip + Found;
                return true;
            }
        }

        // The window up to Pos, leaving its first byte to the next carry area when the
        // whole-word test needs the byte before it.
        const std::int64_t Skip = Whole && Base > 0 ? 1 : 0;
        const std::int64_t EndIndex = Index - Skip;
        const int After = Pos + 1 >= TextSize ? -1
                          : P < ValidEnd      ? P[1]
                          : Carry.empty()     ? -1
                                              : static_cast<std::uint8_t>(Carry[0]);
        auto Found = static_cast<std::uint16_t>(std::max<std::int64_t>(0, EndIndex));
        if (EndIndex >= 0 &&
            SearchBlock(ValidStart + Skip, Found, static_cast<std::uint16_t>(EndIndex), S, Options,
                        Skip != 0 ? ValidStart[0] : -1, After)) {
            Pos = Base + Skip + Found;
            return true;
        }

        KeepFirst(Carry, ValidStart, Index + 1, Len + 1);
        Pos = Base - 1;
        const bool Cancelled = DoSearchStatus(Base);
        if (Cancelled || Pos < 0)
            return false;
    }
}

} // namespace kestrel
