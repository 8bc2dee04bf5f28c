// The line counts: line feeds of unwrapped ranges and wrapped lines of uniform width, each with
// the widest block kernels the processor runs.
#include "textbuff/line_scan.h"

#include "textbuff/byte_scan.h"
#include "textbuff/line_scan_internal.h"
#include "textbuff/text_types.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace kestrel {

using namespace linescan;

namespace {

// The line-feed count with the block kernels K: whole blocks while they hold no form feed and
// fewer lines than are still wanted, the rest block by block with exact marks.
template <typename K>
[[gnu::always_inline]] inline std::int64_t CountLineFeedsWith(const std::uint8_t* Buffer,
                                                              std::int64_t N, std::int64_t MaxLines,
                                                              std::int64_t& Taken) {
    Taken = 0;
    std::int64_t Lines = 0, Block = 0;
    for (; N - Block >= 64; Block += 64) {
        bool FormFeed;
        const std::int64_t Found = K::Count(K::EqualAndAny(Buffer + Block, LF, FF, FormFeed));
        if (FormFeed || Found >= MaxLines - Lines)
            break;
        Lines += Found;
    }
    // Every line feed before Block counted: the lines end after the last of them.
    if (Lines > 0)
        Taken = bytescan::FindEitherBack(Buffer, Buffer + Block, LF, LF) + 1 - Buffer;
    for (; Block < N && Lines < MaxLines; Block += 64) {
        const std::uint8_t* P = Buffer + Block;
        std::uint64_t Feeds, Forms = 0;
        if (N - Block >= 64) {
            bool FormFeed;
            Feeds = K::EqualAndAny(P, LF, FF, FormFeed);
            if (FormFeed)
                Forms = K::Equal(P, FF);
        } else {
            const int Short = static_cast<int>(N - Block);
            Feeds = bytescan::MarksShort(P, Short, bytescan::TEqual(LF));
            Forms = bytescan::MarksShort(P, Short, bytescan::TEqual(FF));
        }
        if (Forms != 0)
            Feeds &= (Forms & -Forms) - 1; // those before the form feed
        std::int64_t Found = K::Count(Feeds);
        for (; Found > MaxLines - Lines; --Found) // keep the first MaxLines - Lines
            Feeds &= ~(std::uint64_t{1} << (std::bit_width(Feeds) - 1));
        if (Feeds != 0) {
            Lines += Found;
            Taken = Block + std::bit_width(Feeds);
        }
        if (Forms != 0)
            break;
    }
    return Lines;
}

// The line-feed count with the block kernels K that also measures, with uniform widths: each line
// that its bytes could make wider than Known is measured, and Wide raised to its width. A line is
// never wider than its bytes at the uniform width and its tabs at the widest advance: the tabs
// are counted with the line feeds, a block at a time.
template <typename K>
[[gnu::always_inline]] inline std::int64_t
CountLineFeedsWideWith(const std::uint8_t* Buffer, std::int64_t N, const TScanMetrics& M,
                       std::int64_t MaxLines, std::int64_t Known, std::int64_t& Taken,
                       std::int64_t& Wide) {
    const std::int64_t U = M.UniformWidth;
    const std::int64_t TabExtra = std::max<std::int64_t>(0, MaxAdvance(M) - U); // beyond U
    Taken = 0;
    std::int64_t Lines = 0;
    std::int64_t TabsBefore = 0;  // the tabs before the block
    std::int64_t TabsAtTaken = 0; // the tabs before the line's start
    for (std::int64_t Block = 0; Block < N && Lines < MaxLines; Block += 64) {
        const std::uint8_t* P = Buffer + Block;
        std::uint64_t Feeds, Forms = 0, Tabs;
        if (N - Block >= 64) {
            bool FormFeed;
            Feeds = K::EqualAndAny(P, LF, FF, FormFeed);
            if (FormFeed)
                Forms = K::Equal(P, FF);
            Tabs = K::Equal(P, TAB);
        } else {
            const int Short = static_cast<int>(N - Block);
            Feeds = bytescan::MarksShort(P, Short, bytescan::TEqual(LF));
            Forms = bytescan::MarksShort(P, Short, bytescan::TEqual(FF));
            Tabs = bytescan::MarksShort(P, Short, bytescan::TEqual(TAB));
        }
        bytescan::NoteBlocks(1);
        if (Forms != 0)
            Feeds &= (Forms & -Forms) - 1; // those before the form feed
        for (; Feeds != 0 && Lines < MaxLines; Feeds &= Feeds - 1) {
            const int Bit = std::countr_zero(Feeds);
            const std::int64_t E = Block + Bit;
            const std::int64_t TabsAtE =
                TabsBefore + std::popcount(Tabs & ((std::uint64_t{1} << Bit) - 1));
            if ((E - Taken) * U + (TabsAtE - TabsAtTaken) * TabExtra > Known) {
                const std::int64_t Chars = E > Taken && Buffer[E - 1] == CR ? E - 1 : E;
                Wide = std::max(Wide, UniformWidthTo(Buffer + Taken, Buffer + Chars, M));
            }
            ++Lines;
            Taken = E + 1;
            TabsAtTaken = TabsAtE;
        }
        TabsBefore += std::popcount(Tabs);
        if (Forms != 0)
            break;
    }
    return Lines;
}

// The end of a line whose first character, at S, does not fit: it takes that character anyway, so
// that every line moves on, and an LF or CR LF right after it. -1 when the bytes beyond the N
// bytes at Buffer decide.
std::int64_t OneCharacterEnd(const std::uint8_t* Buffer, std::int64_t S, std::int64_t N) {
    const std::int64_t E = S + 1;
    if (E >= N || (Buffer[E] == CR && E + 1 >= N))
        return -1;
    if (Buffer[E] == LF)
        return E + 1;
    return Buffer[E] == CR && Buffer[E + 1] == LF ? E + 2 : E;
}

// The TAB, LF and FF bytes of a range in increasing order, each block of 64 bytes compared once
// with the block kernels K. The blocks count from the range's start.
template <typename K> class TControlWalk {
public:
    TControlWalk(const std::uint8_t* Buffer, std::int64_t N) : FBuffer(Buffer), FN(N) { Load(); }

    // The next control byte after those already given, or N.
    [[gnu::always_inline]] std::int64_t Next() {
        while (FMarks == 0) {
            if (FN - FBlock <= 64)
                return FN;
            FBlock += 64;
            Load();
        }
        const std::int64_t Found = FBlock + std::countr_zero(FMarks);
        FMarks &= FMarks - 1;
        return Found;
    }

    // Gives the control bytes from From (< N) on, again.
    void Seek(std::int64_t From) {
        FBlock = From & ~std::int64_t{63};
        Load();
        FMarks &= ~std::uint64_t{0} << (From - FBlock);
    }

private:
    [[gnu::always_inline]] void Load() {
        bytescan::NoteBlocks(1);
        FMarks = FN - FBlock >= 64
                     ? K::EqualAny(FBuffer + FBlock, LF, TAB, FF)
                     : bytescan::MarksShort(FBuffer + FBlock, static_cast<int>(FN - FBlock),
                                            bytescan::TEqualAny(LF, TAB, FF));
    }

    const std::uint8_t* FBuffer;
    std::int64_t FN;
    std::int64_t FBlock = 0;  // the block the marks are of
    std::uint64_t FMarks = 0; // control bytes of the block not given yet
};

// The wrapped count with uniform widths by events, with the block kernels K: the route for any
// range. A display line is followed from one event to the next: a control byte (LF, TAB or FF) or
// the cut, the first byte whose advance would take the width beyond the limit, found by division
// since every ordinary byte (a lone CR and the other bytes below 14 among them) has the same
// advance. The bytes between events are never looked at one by one.
template <typename K>
[[gnu::always_inline]] inline std::int64_t
CountUniformEvents(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                   const TScanMetrics& M, std::int64_t MaxLines, std::int64_t& Taken,
                   TCountExtras& Extras) {
    const std::int64_t U = M.UniformWidth;
    const std::int64_t Limit = MaxWidth != 0 ? MaxWidth : NoWrapWidth;
    Taken = 0;
    std::int64_t Lines = 0;
    if (Limit < 0)
        return 0; // nothing fits: every line is left to the general scan
    TControlWalk<K> Controls(Buffer, N);
    std::int64_t S = 0;        // start of the display line
    std::int64_t Q = 0;        // start of the run of ordinary bytes since its last tab
    std::int64_t W0 = 0;       // width of the line before Q, at most Limit
    std::int64_t LastTab = -1; // the last tab passed
    int TabIndex = 0;
    std::int64_t Next = Controls.Next();
    while (Lines < MaxLines) {
        const std::int64_t Fit = QuotientOf(Limit - W0, U); // bytes from Q that fit
        const std::int64_t Cut = Fit < N - Q ? Q + Fit : N;
        std::int64_t X;         // where the line passes the limit
        std::int64_t Wider = 0; // its width when spaces or hyphens take it beyond the limit
        if (Next <= Cut && Next < N) {
            const std::uint8_t B = Buffer[Next];
            if (B == FF && Next == S && Extras.StopAtFormFeed)
                break;
            if (B == LF) {
                ++Lines;
                S = Q = Taken = Next + 1;
                W0 = 0;
                TabIndex = 0;
                Next = Controls.Next();
                continue;
            }
            if (B == FF) {
                ++Lines;
                if (Next == S) { // the form-feed line
                    S = Q = Taken = Next + 1;
                    Next = Controls.Next();
                } else { // the line ends before the form feed
                    S = Q = Taken = Next;
                }
                W0 = 0;
                TabIndex = 0;
                continue;
            }
            const std::int64_t WT = W0 + (Next - Q) * U;
            const std::int64_t A = TabAdvance(WT, TabIndex, M);
            if (A <= Limit - WT) {
                LastTab = Next;
                Q = Next + 1;
                W0 = WT + A;
                Next = Controls.Next();
                continue;
            }
            X = Next;
        } else {
            if (Cut >= N)
                break; // the line goes on beyond the range
            // Spaces and hyphens may pass the limit: the first other byte decides.
            X = Cut;
            while (X < N && IsBreakChar(Buffer[X]))
                ++X;
            if (X >= N)
                break;
            if (X > Cut)
                Wider = W0 + (X - Q) * U;
            const std::uint8_t B = Buffer[X];
            const bool PairedCr = B == CR && X + 1 == Next && Next < N && Buffer[Next] == LF;
            if (X == Next || PairedCr) {
                Extras.Wide = std::max(Extras.Wide, Wider);
                if (Buffer[Next] == LF) {
                    ++Lines;
                    S = Q = Taken = Next + 1;
                    W0 = 0;
                    TabIndex = 0;
                    Next = Controls.Next();
                    continue;
                }
                if (Buffer[Next] == FF) { // ends the line, which has characters
                    ++Lines;
                    S = Q = Taken = Next;
                    W0 = 0;
                    TabIndex = 0;
                    continue;
                }
                // A tab beyond the limit: the cut.
            } else if (B == CR && X + 1 == N) {
                break; // a CR that may pair with an LF beyond the range
            }
        }
        // The line is cut at X: it ends after its last space or hyphen, or at X when it has none.
        if (X == S) {
            // Not even its first character fits: the line takes it anyway, and a line break
            // after it.
            const std::int64_t E = OneCharacterEnd(Buffer, S, N);
            if (E < 0)
                break; // the bytes beyond the range decide
            int First = 0;
            Extras.Wide = std::max(Extras.Wide, Buffer[S] == TAB ? TabAdvance(0, First, M) : U);
            ++Lines;
            S = Q = Taken = E;
            W0 = 0;
            TabIndex = 0;
            while (Next < S)
                Next = Controls.Next();
            continue;
        }
        Extras.Wide = std::max(Extras.Wide, Wider);
        const std::uint8_t* Break = bytescan::FindEitherBack(Buffer + S, Buffer + X, ' ', '-');
        ++Lines;
        S = Q = Taken = Break != nullptr ? Break + 1 - Buffer : X;
        W0 = 0;
        TabIndex = 0;
        if (LastTab >= S) { // a tab already passed belongs to the next line
            Controls.Seek(S);
            Next = Controls.Next();
            LastTab = -1;
        }
    }
    return Lines;
}

// The largest advance a tab can take with M, at least 1.
std::int64_t TabAdvanceBound(const TScanMetrics& M) {
    std::int64_t Max = std::max<std::int64_t>(1, M.DefaultTabWidth);
    for (std::int64_t I = 0; I < M.TabCount; ++I)
        Max = std::max(Max, M.TabPositions[I]);
    return Max;
}

// The longest range the block route takes whole, and its blocks of 64 bytes.
constexpr std::int64_t BlockRouteBytes = 0xFFFF;
constexpr int BlockRouteBlocks = (BlockRouteBytes + 63) / 64;
// Blocks classified at a time: the lines of one group are counted before the next is read. The
// first groups are smaller, so that a count of a few lines reads little more than they take.
constexpr int GroupBlocks = 64, FirstGroupBlocks = 4;

// The wrapped count with uniform widths by blocks, with the block kernels K: the classification
// of the blocks of a group and the layout of the paragraphs that end in it (see
// CountUniformLinesWith). Lines counted so far end before Start().
template <typename K> class TBlockCount {
public:
    TBlockCount(const std::uint8_t* Buffer, std::int64_t N, std::int64_t Limit,
                const TScanMetrics& M, std::int64_t MaxLines, std::int64_t TabExtra,
                TCountExtras& Extras)
        : Buffer(Buffer), N(N), Limit(Limit), U(M.UniformWidth), TabExtra(TabExtra),
          MaxLines(MaxLines), M(M), Extras(Extras) {
        TabsBefore[0] = 0;
    }

    std::int64_t Lines() const { return Counted; }
    std::int64_t Start() const { return S; }

    // Classifies the blocks [Group, End) (End may be the last, short one). False when they hold
    // a form feed, which the route by events takes from Start().
    [[gnu::always_inline]] bool ClassifyGroup(int Group, int End) {
        const int Whole = static_cast<int>(std::min<std::int64_t>(End, N / 64));
        Found = 0;
        Forms = 0;
        for (int B = Group; B < Whole; ++B)
            Classify(B, Buffer + std::int64_t{B} * 64);
        if (Whole < End) { // the last bytes, from a copy with zeros after them
            std::uint8_t Tail[64] = {};
            std::memcpy(Tail, Buffer + std::int64_t{Whole} * 64,
                        static_cast<std::size_t>(N - std::int64_t{Whole} * 64));
            Classify(Whole, Tail);
        }
        Tabs[End] = Tabs[End + 1] = Tabs[End + 2] = ~std::uint64_t{0};
        return Forms == 0;
    }

    // Counts the paragraphs that end at the line feeds of the group classified last. False when
    // the count stops before the group's end.
    [[gnu::always_inline]] bool CountGroup() {
        for (int I = 0; I < Found; ++I) {
            if (Counted >= MaxLines)
                return false;
            const std::int64_t P = Feeds[I];
            const std::int64_t TabsAtP = TabsTo(P);
            // The paragraph's widest width: every byte ordinary, every tab at its widest.
            if ((P - S) * U + (TabsAtP - TabsAtS) * TabExtra <= Limit) {
                ++Counted;
                S = P + 1;
            } else if (!Paragraph(P, true)) {
                return false;
            }
            TabsAtS = TabsAtP;
        }
        return true;
    }

    // The lines of the last paragraph that end in the range.
    [[gnu::always_inline]] void LastParagraph() { Paragraph(N, false); }

    // The lines of the paragraph that goes on past the blocks classified so far, up to End (the
    // end of those blocks), so that a long paragraph is counted as its blocks are read. False when
    // the count stops (no more lines wanted).
    [[gnu::always_inline]] bool OpenParagraph(std::int64_t End) {
        if (End - S <= Limit / U)
            return true; // no line of it can end there yet
        Paragraph(End, false);
        TabsAtS = TabsTo(S);
        return Counted < MaxLines;
    }

private:
    // The first tab in [From, From + 127], or From + 128 when there is none there: one look at
    // the marks, whatever the distance, so that the processor has nothing to predict.
    [[gnu::always_inline]] std::int64_t NearTab(std::int64_t From) const {
        const std::int64_t B = From >> 6;
        const auto Shift = static_cast<int>(From & 63);
        const std::uint64_t Near = Tabs[B] >> Shift | (Tabs[B + 1] << 1) << (63 - Shift);
        const std::uint64_t Far = Tabs[B + 1] >> Shift | (Tabs[B + 2] << 1) << (63 - Shift);
        // Without a branch: Far counts only when Near has no mark (its count is then 64).
        const int InNear = std::countr_zero(Near);
        return From + InNear + (InNear >> 6) * std::countr_zero(Far);
    }
    [[gnu::always_inline]] bool IsTab(std::int64_t P) const {
        return (Tabs[P >> 6] >> (P & 63) & 1) != 0;
    }
    // The tabs before P.
    [[gnu::always_inline]] std::int64_t TabsTo(std::int64_t P) const {
        return TabsBefore[P >> 6] + K::Count(Tabs[P >> 6] & ((std::uint64_t{1} << (P & 63)) - 1));
    }

    // The display lines from S of the paragraph that ends at a line feed at E (Closed) or goes on
    // beyond the range (E = N). True when the paragraph was counted whole: S is after its line
    // feed; false when the count stops, S being the start of the first line not counted.
    [[gnu::always_inline]] bool Paragraph(std::int64_t E, bool Closed) {
        for (;;) {
            if (Counted >= MaxLines)
                return false;
            std::int64_t Q = S, W0 = 0, X;
            std::int64_t Wider = 0;      // the line's width when spaces take it past the limit
            std::int64_t T = NearTab(S); // the next tab, or a bound below it
            int TabIndex = 0;
            for (;;) {
                const std::int64_t Fit = QuotientOf(Limit - W0, U);
                const std::int64_t Cut = Fit < E - Q ? Q + Fit : E;
                while (T <= Cut && T < E && !IsTab(T)) // a bound: look on
                    T = NearTab(T);
                if (T <= Cut && T < E) {
                    const std::int64_t WT = W0 + (T - Q) * U;
                    const std::int64_t A = TabAdvance(WT, TabIndex, M);
                    if (A <= Limit - WT) {
                        W0 = WT + A;
                        Q = T + 1;
                        T = NearTab(Q);
                        continue;
                    }
                    X = T;
                    break;
                }
                // Spaces and hyphens may pass the limit: the first other byte decides.
                for (X = Cut; X < E && IsBreakChar(Buffer[X]);)
                    ++X;
                if (X > Cut)
                    Wider = W0 + (X - Q) * U;
                if (X >= E || (Closed && X + 1 == E && Buffer[X] == CR)) {
                    // Everything up to the line feed fits, or only spaces and hyphens pass.
                    if (!Closed)
                        return false;
                    ++Counted;
                    Extras.Wide = std::max(Extras.Wide, Wider);
                    S = E + 1;
                    return true;
                }
                if (Buffer[X] == CR && X + 1 == E)
                    return false; // a CR that may pair with an LF beyond the bytes read
                break;
            }
            // Cut at X: the line ends after its last space or hyphen, else at X.
            if (X == S) {
                // Not even its first character fits: the line takes it anyway, and a line break
                // after it.
                const std::int64_t End = OneCharacterEnd(Buffer, S, Closed ? E + 1 : E);
                if (End < 0)
                    return false; // the bytes beyond the range decide
                int First = 0;
                Extras.Wide = std::max(Extras.Wide, Buffer[S] == TAB ? TabAdvance(0, First, M) : U);
                ++Counted;
                S = End;
                if (S > E)
                    return true; // the paragraph's line feed ended it
                continue;
            }
            Extras.Wide = std::max(Extras.Wide, Wider);
            const std::uint8_t* Break = bytescan::FindEitherBack(Buffer + S, Buffer + X, ' ', '-');
            ++Counted;
            S = Break != nullptr ? Break + 1 - Buffer : X;
        }
    }

    // Classifies block B from the 64 bytes at P: its tab marks and count, the form feeds in Forms,
    // the positions of its line feeds at Feeds + Found.
    [[gnu::always_inline]] void Classify(int B, const std::uint8_t* P) {
        bytescan::NoteBlocks(1);
        static constexpr std::uint8_t Classes[] = {LF, TAB, FF};
        std::uint64_t Marks[3];
        K::EqualEach(P, Classes, Marks);
        Tabs[B] = Marks[1];
        Forms |= Marks[2];
        TabsBefore[B + 1] = TabsBefore[B] + K::Count(Marks[1]);
        // The line feeds' positions: four written whatever their number, the rest rarely.
        std::uint64_t F = Marks[0];
        const int Count = K::Count(F);
        const std::int64_t At = std::int64_t{B} * 64;
        std::uint16_t* Out = Feeds + Found;
        for (int I = 0; I < 4; ++I, F &= F - 1) {
            bytescan::Opaque(F); // keeps the compiler from branching on the marks left
            Out[I] = static_cast<std::uint16_t>(At + std::countr_zero(F));
        }
        for (int I = 4; I < Count; ++I, F &= F - 1)
            Out[I] = static_cast<std::uint16_t>(At + std::countr_zero(F));
        Found += Count;
    }

    const std::uint8_t* Buffer;
    std::int64_t N;
    std::int64_t Limit;
    std::int64_t U;
    std::int64_t TabExtra; // a tab's advance is at most U + TabExtra
    std::int64_t MaxLines;
    const TScanMetrics& M;
    TCountExtras& Extras;
    std::int64_t S = 0;       // start of the first line not counted
    std::int64_t Counted = 0; // display lines counted
    std::int64_t TabsAtS = 0; // tabs before S, as far as the paragraphs counted whole go
    // Per block: marks of tabs, and the tabs of the blocks before. The three blocks after those
    // classified so far hold a tab mark at every byte, beyond any line end the lines look for.
    std::uint64_t Tabs[BlockRouteBlocks + 3];
    std::int32_t TabsBefore[BlockRouteBlocks + 1];
    std::uint16_t Feeds[GroupBlocks * 64 + 4]; // positions of the line feeds of a group
    int Found = 0;                             // line feeds in Feeds
    std::uint64_t Forms = 0;                   // form feeds of the group
};

// The wrapped count with uniform widths by blocks, with the block kernels K. The bytes are
// classified 64 at a time (line feeds, tabs, form feeds) and the line feeds listed; a
// paragraph (the bytes up to a line feed) is one display line without a look at its bytes when
// its length with every tab at its widest fits the limit. The others are laid out display line by
// display line: the cut found by division, the tabs before it taken in order from the marks, the
// spaces and hyphens past it skipped and the last one before it searched backwards. A range with
// a form feed, or longer than BlockRouteBytes, goes to the route by events.
template <typename K>
[[gnu::always_inline]] inline std::int64_t
CountUniformLinesWith(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                      const TScanMetrics& M, std::int64_t MaxLines, std::int64_t& Taken,
                      TCountExtras& Extras) {
    const std::int64_t U = M.UniformWidth;
    const std::int64_t Limit = MaxWidth != 0 ? MaxWidth : NoWrapWidth;
    const std::int64_t TabMax = TabAdvanceBound(M);
    constexpr std::int64_t Large = std::int64_t{1} << 31; // bounds below cannot overflow
    if (Limit < 0 || N > BlockRouteBytes || U > Large || TabMax > Large)
        return CountUniformEvents<K>(Buffer, N, MaxWidth, M, MaxLines, Taken, Extras);
    Taken = 0;
    if (N <= 0 || MaxLines <= 0)
        return 0;
    TBlockCount<K> Count(Buffer, N, Limit, M, MaxLines, TabMax - U, Extras);
    const int Blocks = static_cast<int>((N + 63) / 64);
    for (int Group = 0, Size = FirstGroupBlocks; Group < Blocks;
         Group += Size, Size = std::min(2 * Size, GroupBlocks)) {
        if (!Count.ClassifyGroup(Group, std::min(Blocks, Group + Size))) {
            // Form feeds: the route by events from here.
            const std::int64_t S = Count.Start();
            std::int64_t Rest = 0;
            const std::int64_t Lines =
                Count.Lines() + CountUniformEvents<K>(Buffer + S, N - S, MaxWidth, M,
                                                      MaxLines - Count.Lines(), Rest, Extras);
            Taken = S + Rest;
            return Lines;
        }
        if (!Count.CountGroup() ||
            !Count.OpenParagraph(std::min<std::int64_t>(N, std::int64_t{Group + Size} * 64))) {
            Taken = Count.Start();
            return Count.Lines();
        }
    }
    Count.LastParagraph();
    Taken = Count.Start();
    return Count.Lines();
}

std::int64_t CountLineFeedsBase(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxLines,
                                std::int64_t& Taken) {
    return CountLineFeedsWith<bytescan::TBaseBlocks>(Buffer, N, MaxLines, Taken);
}

std::int64_t CountLineFeedsWideBase(const std::uint8_t* Buffer, std::int64_t N,
                                    const TScanMetrics& M, std::int64_t MaxLines,
                                    std::int64_t Known, std::int64_t& Taken, std::int64_t& Wide) {
    return CountLineFeedsWideWith<bytescan::TBaseBlocks>(Buffer, N, M, MaxLines, Known, Taken,
                                                         Wide);
}

std::int64_t CountUniformLinesBase(const std::uint8_t* Buffer, std::int64_t N,
                                   std::int64_t MaxWidth, const TScanMetrics& M,
                                   std::int64_t MaxLines, std::int64_t& Taken,
                                   TCountExtras& Extras) {
    return CountUniformLinesWith<bytescan::TBaseBlocks>(Buffer, N, MaxWidth, M, MaxLines, Taken,
                                                        Extras);
}

#if defined(KESTREL_BLOCK_ISA_X86)

[[gnu::target(KESTREL_TARGET_AVX2)]] std::int64_t CountLineFeedsAvx2(const std::uint8_t* Buffer,
                                                                     std::int64_t N,
                                                                     std::int64_t MaxLines,
                                                                     std::int64_t& Taken) {
    return CountLineFeedsWith<bytescan::TAvx2Blocks>(Buffer, N, MaxLines, Taken);
}

[[gnu::target(KESTREL_TARGET_AVX2)]] std::int64_t
CountLineFeedsWideAvx2(const std::uint8_t* Buffer, std::int64_t N, const TScanMetrics& M,
                       std::int64_t MaxLines, std::int64_t Known, std::int64_t& Taken,
                       std::int64_t& Wide) {
    return CountLineFeedsWideWith<bytescan::TAvx2Blocks>(Buffer, N, M, MaxLines, Known, Taken,
                                                         Wide);
}

[[gnu::target(KESTREL_TARGET_AVX2)]] std::int64_t
CountUniformLinesAvx2(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                      const TScanMetrics& M, std::int64_t MaxLines, std::int64_t& Taken,
                      TCountExtras& Extras) {
    return CountUniformLinesWith<bytescan::TAvx2Blocks>(Buffer, N, MaxWidth, M, MaxLines, Taken,
                                                        Extras);
}

[[gnu::target(KESTREL_TARGET_AVX512)]] std::int64_t CountLineFeedsAvx512(const std::uint8_t* Buffer,
                                                                         std::int64_t N,
                                                                         std::int64_t MaxLines,
                                                                         std::int64_t& Taken) {
    return CountLineFeedsWith<bytescan::TAvx512Blocks>(Buffer, N, MaxLines, Taken);
}

[[gnu::target(KESTREL_TARGET_AVX512)]] std::int64_t
CountLineFeedsWideAvx512(const std::uint8_t* Buffer, std::int64_t N, const TScanMetrics& M,
                         std::int64_t MaxLines, std::int64_t Known, std::int64_t& Taken,
                         std::int64_t& Wide) {
    return CountLineFeedsWideWith<bytescan::TAvx512Blocks>(Buffer, N, M, MaxLines, Known, Taken,
                                                           Wide);
}

[[gnu::target(KESTREL_TARGET_AVX512)]] std::int64_t
CountUniformLinesAvx512(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                        const TScanMetrics& M, std::int64_t MaxLines, std::int64_t& Taken,
                        TCountExtras& Extras) {
    return CountUniformLinesWith<bytescan::TAvx512Blocks>(Buffer, N, MaxWidth, M, MaxLines, Taken,
                                                          Extras);
}

#endif

} // namespace

std::int64_t CountLineFeeds(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxLines,
                            std::int64_t& Taken) {
#if defined(KESTREL_BLOCK_ISA_X86)
    switch (bytescan::BlockIsa()) {
    case bytescan::biAvx512:
        return CountLineFeedsAvx512(Buffer, N, MaxLines, Taken);
    case bytescan::biAvx2:
        return CountLineFeedsAvx2(Buffer, N, MaxLines, Taken);
    case bytescan::biBase:
        break;
    }
#endif
    return CountLineFeedsBase(Buffer, N, MaxLines, Taken);
}

std::int64_t CountLineFeedsWide(const std::uint8_t* Buffer, std::int64_t N,
                                const TScanMetrics& Metrics, std::int64_t MaxLines,
                                std::int64_t Known, std::int64_t& Taken, std::int64_t& Wide) {
    assert(Metrics.UniformWidth > 0 && "the measured count needs uniform widths");
#if defined(KESTREL_BLOCK_ISA_X86)
    switch (bytescan::BlockIsa()) {
    case bytescan::biAvx512:
        return CountLineFeedsWideAvx512(Buffer, N, Metrics, MaxLines, Known, Taken, Wide);
    case bytescan::biAvx2:
        return CountLineFeedsWideAvx2(Buffer, N, Metrics, MaxLines, Known, Taken, Wide);
    case bytescan::biBase:
        break;
    }
#endif
    return CountLineFeedsWideBase(Buffer, N, Metrics, MaxLines, Known, Taken, Wide);
}

std::int64_t CountUniformLines(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                               const TScanMetrics& Metrics, std::int64_t MaxLines,
                               std::int64_t& Taken, TCountExtras* Extras) {
    assert(Metrics.UniformWidth > 0 && "the uniform route needs uniform widths");
    TCountExtras None;
    TCountExtras& E = Extras != nullptr ? *Extras : None;
#if defined(KESTREL_BLOCK_ISA_X86)
    switch (bytescan::BlockIsa()) {
    case bytescan::biAvx512:
        return CountUniformLinesAvx512(Buffer, N, MaxWidth, Metrics, MaxLines, Taken, E);
    case bytescan::biAvx2:
        return CountUniformLinesAvx2(Buffer, N, MaxWidth, Metrics, MaxLines, Taken, E);
    case bytescan::biBase:
        break;
    }
#endif
    return CountUniformLinesBase(Buffer, N, MaxWidth, Metrics, MaxLines, Taken, E);
}

} // namespace kestrel
