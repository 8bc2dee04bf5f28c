// The line scanner: the byte-by-byte scan, the scan in runs, the route for whole lines of uniform
// width, and the line counts: line feeds of unwrapped ranges, wrapped lines of uniform width.
#include "textbuff/line_scan.h"

#include "textbuff/byte_scan.h"
#include "textbuff/text_types.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace kestrel {

namespace {

bool IsBreakChar(std::uint8_t B) {
    return B == ' ' || B == '-';
}

// TAB, LF, FF or CR: the bytes below 14 that the scan does not measure as characters.
bool IsLayoutControl(std::uint8_t B) {
    constexpr std::uint32_t Set = 1u << TAB | 1u << LF | 1u << FF | 1u << CR;
    return B <= CR && (Set >> B & 1) != 0;
}

// Q mod D (0 <= result < D, for Q of any sign) where D > 0: a mask when D is a power of two.
std::int64_t ModuloOf(std::int64_t Q, std::int64_t D) {
    if ((D & (D - 1)) == 0)
        return Q & (D - 1);
    const std::int64_t R = Q % D;
    return R < 0 ? R + D : R;
}

// Q div D for Q >= 0 and D > 0: a shift when D is a power of two.
std::int64_t QuotientOf(std::int64_t Q, std::int64_t D) {
    if ((D & (D - 1)) == 0)
        return Q >> std::countr_zero(static_cast<std::uint64_t>(D));
    return Q / D;
}

// The advance of a tab at width W: to the first stop beyond W, searching on from TabIndex
// (which moves past every stop examined); past the last, to the next multiple of the default.
std::int64_t TabAdvance(std::int64_t W, int& TabIndex, const TScanMetrics& M) {
    while (TabIndex < M.TabCount) {
        const std::int64_t Stop = M.TabPositions[TabIndex++];
        if (Stop > W)
            return Stop - W;
    }
    const std::int64_t D = M.DefaultTabWidth > 0 ? M.DefaultTabWidth : 1;
    return D - ModuloOf(W, D);
}

// Writes the results common to every return.
struct TScanState {
    std::int64_t W;  // running width
    std::int64_t K;  // running character count
    int BI;          // index after the last break opportunity
    std::int64_t BW; // width there
    std::int64_t BC; // count there
};

bool Ended(std::uint16_t& Pos, int NewPos, const TScanState& S, std::uint16_t& CharCount,
           std::int64_t& Width) {
    Pos = static_cast<std::uint16_t>(NewPos);
    CharCount = static_cast<std::uint16_t>(S.K);
    Width = S.W;
    return true;
}

// The width check failed on the byte at Index whose advance was already taken back.
bool Cut(std::uint16_t& Pos, int Index, bool WordWrap, TScanState& S, std::uint16_t& CharCount,
         std::int64_t& Width, bool& Overflow) {
    if (WordWrap) {
        if (S.BC == 0) {
            Overflow = true;
        } else {
            S.W = S.BW;
            S.K = S.BC;
            Index = S.BI;
        }
    }
    return Ended(Pos, Index, S, CharCount, Width);
}

bool Exhausted(std::uint16_t& Pos, int End, const TScanState& S, std::uint16_t& CharCount,
               std::int64_t& Width, std::int64_t& BreakWidth, std::uint16_t& BreakCount) {
    Pos = static_cast<std::uint16_t>(End);
    CharCount = static_cast<std::uint16_t>(S.K);
    Width = S.W;
    BreakWidth = S.BW;
    BreakCount = static_cast<std::uint16_t>(S.BC);
    return false;
}

// Width of the N ordinary bytes at P.
template <bool Uniform>
std::int64_t RunWidth(const std::uint8_t* P, std::int64_t N, const TScanMetrics& M) {
    if constexpr (Uniform) {
        return N * M.UniformWidth;
    } else {
        std::int64_t W0 = 0, W1 = 0;
        std::int64_t I = 0;
        for (; I + 1 < N; I += 2) {
            W0 += M.CharWidths[P[I]];
            W1 += M.CharWidths[P[I + 1]];
        }
        if (I < N)
            W0 += M.CharWidths[P[I]];
        return W0 + W1;
    }
}

// One call of the scan in runs: where it started and what it writes back.
struct TRunScan {
    const std::uint8_t* Buffer;
    int Start;
    std::int64_t StartW, StartK; // width and count on entry
    bool WordWrap;
    const TScanMetrics& M;
    std::uint16_t& Pos;
    std::uint16_t& CharCount;
    std::int64_t& Width;
    bool& Overflow;

    bool Ended(int NewPos, std::int64_t W, std::int64_t K) const {
        Pos = static_cast<std::uint16_t>(NewPos);
        CharCount = static_cast<std::uint16_t>(K);
        Width = W;
        return true;
    }
};

// The last break opportunity before Cut, where the width and count are W and K: the index after
// the last space or hyphen with the width and count there, or the scan's start when there is none.
template <bool Uniform>
TScanState LastBreak(const TRunScan& R, int Cut, std::int64_t W, std::int64_t K) {
    TScanState S{W, K, R.Start, R.StartW, R.StartK};
    const std::uint8_t* Buffer = R.Buffer;
    const std::uint8_t* P = bytescan::FindEitherBack(Buffer + R.Start, Buffer + Cut, ' ', '-');
    if (P == nullptr)
        return S;
    S.BI = static_cast<int>(P - Buffer) + 1;
    if (bytescan::FindEitherBack(Buffer + S.BI, Buffer + Cut, TAB, TAB) == nullptr) {
        S.BW = W - RunWidth<Uniform>(Buffer + S.BI, Cut - S.BI, R.M);
        S.BC = K - (Cut - S.BI);
        return S;
    }
    // A tab lies between: measure up to the break from the start.
    auto P0 = static_cast<std::uint16_t>(R.Start), K0 = static_cast<std::uint16_t>(R.StartK);
    std::int64_t W0 = R.StartW, BW = 0;
    std::uint16_t BC = 0;
    bool Over = false;
    ScanForEolBytewise(Buffer, P0, static_cast<std::uint16_t>(S.BI - 1), 0, false, K0, W0, R.M, BW,
                       BC, Over);
    S.BW = W0;
    S.BC = K0;
    return S;
}

// The line passes the width at the byte at Index, where the width and count are W and K: it ends
// before that byte, or with word wrap after the last break opportunity.
template <bool Uniform>
[[gnu::noinline]] bool CutAt(const TRunScan& R, int Index, std::int64_t W, std::int64_t K) {
    if (!R.WordWrap)
        return R.Ended(Index, W, K);
    TScanState S = LastBreak<Uniform>(R, Index, W, K);
    if (S.BC == 0) {
        R.Overflow = true;
        return R.Ended(Index, W, K);
    }
    return R.Ended(S.BI, S.BW, S.BC);
}

// The run of N ordinary bytes at I, starting at width W, passes MaxWidth: the index of the first
// byte that takes the width beyond it (with word wrap, the first after it that is not a space or
// hyphen, as those may pass the width), and in W the width before that byte; I + N when every
// byte beyond the width is a space or hyphen, W then being unchanged.
template <bool Uniform>
[[gnu::noinline]] int FirstBeyond(const TRunScan& R, int I, std::int64_t N, std::int64_t MaxWidth,
                                  std::int64_t& W) {
    const std::uint8_t* Buffer = R.Buffer;
    const TScanMetrics& M = R.M;
    std::int64_t J;
    std::int64_t V = W;
    if constexpr (Uniform) {
        const std::int64_t Room = MaxWidth - W;
        J = Room <= 0 ? 0 : QuotientOf(Room, M.UniformWidth);
        V = W + J * M.UniformWidth;
    } else {
        J = 0;
        while (V + M.CharWidths[Buffer[I + J]] <= MaxWidth)
            V += M.CharWidths[Buffer[I + J++]];
    }
    if (R.WordWrap)
        while (J < N && IsBreakChar(Buffer[I + J]))
            V += M.CharWidths[Buffer[I + J++]];
    if (J == N)
        return I + static_cast<int>(N);
    W = V;
    return I + static_cast<int>(J);
}

// The scan in runs: the bytes below 14 (among them TAB, LF, FF and CR) are found 64 at a time,
// the ordinary bytes between them measured at once, and the last break opportunity looked for
// only when a line is cut or the range runs out. Gives what the byte-by-byte scan gives. The
// loop keeps its state in locals; the rare ends are functions of their own.
template <bool Uniform>
bool ScanRuns(const std::uint8_t* Buffer, std::uint16_t& Pos, int End, std::int64_t MaxWidth,
              bool WordWrap, std::uint16_t& CharCount, std::int64_t& Width, const TScanMetrics& M,
              std::int64_t& BreakWidth, std::uint16_t& BreakCount, bool& Overflow) {
    const int Start = Pos;
    const std::int64_t StartW = Width, StartK = CharCount;
    // Built only where the loop hands over to the rare ends, so the loop keeps its registers.
    auto Call = [&] {
        return TRunScan{Buffer, Start, StartW,    StartK, WordWrap,
                        M,      Pos,   CharCount, Width,  Overflow};
    };
    const bool Check = MaxWidth != 0;
    std::int64_t W = StartW, K = StartK;
    int TabIndex = 0;
    bytescan::TBelowWalk<CR + 1> Controls(Buffer + Start, Buffer + End);
    for (int I = Start;;) {
        // The next TAB, LF, FF or CR; other bytes below 14 are ordinary.
        int Next;
        do
            Next = static_cast<int>(Controls.Next() - Buffer);
        while (Next < End && !IsLayoutControl(Buffer[Next]));
        const std::int64_t Run = Next - I;
        const std::int64_t RunW = RunWidth<Uniform>(Buffer + I, Run, M);
        if (Check && Run > 0 && MaxWidth - W < RunW) {
            std::int64_t CutW = W;
            const int At = FirstBeyond<Uniform>(Call(), I, Run, MaxWidth, CutW);
            if (At < Next)
                return CutAt<Uniform>(Call(), At, CutW, K + (At - I));
        }
        W += RunW;
        K += Run;
        if (Next >= End) {
            const TScanState S = LastBreak<Uniform>(Call(), End, W, K);
            BreakWidth = S.BW;
            BreakCount = static_cast<std::uint16_t>(S.BC);
            Pos = static_cast<std::uint16_t>(End);
            CharCount = static_cast<std::uint16_t>(K);
            Width = W;
            return false;
        }
        const std::uint8_t B = Buffer[Next];
        if (B == LF)
            return Call().Ended(Next + 1, W, K);
        if (B == FF)
            return Call().Ended(K == 0 ? Next + 1 : Next, W, K);
        if (B == CR && Next + 1 < End && Buffer[Next + 1] == LF)
            return Call().Ended(Next + 2, W, K);
        // A tab or a lone CR: one character with its own advance.
        const std::int64_t A = B == TAB ? TabAdvance(W, TabIndex, M) : M.CharWidths[CR];
        if (Check && W + A > MaxWidth)
            return CutAt<Uniform>(Call(), Next, W, K);
        W += A;
        ++K;
        I = Next + 1;
    }
}

} // namespace

std::int64_t UniformWidthOf(const std::int64_t* CharWidths) {
    const std::int64_t W = CharWidths[0];
    for (int I = 1; I < 256; ++I)
        if (CharWidths[I] != W)
            return 0;
    return W > 0 ? W : 0;
}

bool ScanForEolBytewise(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                        std::int64_t MaxWidth, bool WordWrap, std::uint16_t& CharCount,
                        std::int64_t& Width, const TScanMetrics& M, std::int64_t& BreakWidth,
                        std::uint16_t& BreakCount, bool& Overflow) {
    Overflow = false;
    TScanState S{Width, CharCount, Pos, Width, CharCount};
    int TabIndex = 0;
    const int End = static_cast<int>(EndPos) + 1 < Pos ? Pos : static_cast<int>(EndPos) + 1;
    for (int I = Pos; I < End; ++I) {
        const std::uint8_t B = Buffer[I];
        if (B == LF)
            return Ended(Pos, I + 1, S, CharCount, Width);
        if (B == FF)
            return Ended(Pos, S.K == 0 ? I + 1 : I, S, CharCount, Width);
        if (B == CR && I + 1 < End && Buffer[I + 1] == LF)
            return Ended(Pos, I + 2, S, CharCount, Width);
        ++S.K;
        std::int64_t A;
        if (IsBreakChar(B)) {
            A = M.CharWidths[B];
            S.W += A;
            S.BI = I + 1;
            S.BW = S.W;
            S.BC = S.K;
            if (WordWrap)
                continue;
        } else if (B == TAB) {
            A = TabAdvance(S.W, TabIndex, M);
            S.W += A;
        } else {
            A = M.CharWidths[B];
            S.W += A;
        }
        if (MaxWidth != 0 && S.W > MaxWidth) {
            S.W -= A;
            --S.K;
            return Cut(Pos, I, WordWrap, S, CharCount, Width, Overflow);
        }
    }
    return Exhausted(Pos, End, S, CharCount, Width, BreakWidth, BreakCount);
}

bool ScanForEol(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                std::int64_t MaxWidth, bool WordWrap, std::uint16_t& CharCount, std::int64_t& Width,
                const TScanMetrics& Metrics, std::int64_t& BreakWidth, std::uint16_t& BreakCount,
                bool& Overflow) {
    assert(EndPos < 0xFFFF && "a scan range ends before index 65535");
    Overflow = false;
    const int End = static_cast<int>(EndPos) + 1 < Pos ? Pos : static_cast<int>(EndPos) + 1;
    if (Metrics.UniformWidth > 0)
        return ScanRuns<true>(Buffer, Pos, End, MaxWidth, WordWrap, CharCount, Width, Metrics,
                              BreakWidth, BreakCount, Overflow);
    return ScanRuns<false>(Buffer, Pos, End, MaxWidth, WordWrap, CharCount, Width, Metrics,
                           BreakWidth, BreakCount, Overflow);
}

namespace {

// The width from Buffer up to P of uniform bytes holding no line end and no lone CR.
std::int64_t UniformWidthTo(const std::uint8_t* Buffer, const std::uint8_t* P,
                            const TScanMetrics& M) {
    std::int64_t W = 0;
    int TabIndex = 0;
    bytescan::TBelowWalk<CR + 1> Controls(Buffer, P);
    const std::uint8_t* I = Buffer;
    for (const std::uint8_t* Next; (Next = Controls.Next()) != P;)
        if (*Next == TAB) {
            W += (Next - I) * M.UniformWidth;
            W += TabAdvance(W, TabIndex, M);
            I = Next + 1;
        }
    return W + (P - I) * M.UniformWidth;
}

// The uniform line that passes the width at Cut, where the width is W: it ends after the last
// space or hyphen before Cut, unless there is none (then 0: a cut inside a word).
std::int64_t WrapUniformLine(const std::uint8_t* Buffer, const std::uint8_t* Cut, std::int64_t W,
                             const TScanMetrics& M, std::int64_t& Width, std::int64_t& Count) {
    const std::uint8_t* Break = bytescan::FindEitherBack(Buffer, Cut, ' ', '-');
    if (Break == nullptr)
        return 0;
    Count = Break + 1 - Buffer;
    if (bytescan::FindEitherBack(Break + 1, Cut, TAB, TAB) == nullptr)
        Width = W - (Cut - (Break + 1)) * M.UniformWidth;
    else // a tab between: its advance depended on what came before
        Width = UniformWidthTo(Buffer, Break + 1, M);
    return Count;
}

// The run of uniform bytes [I, Next), starting at width W, passes Limit: the line wraps at the
// first byte beyond it that is not a space or hyphen (those may pass the width). 0 when every
// byte beyond is one: the byte at Next decides, which the general scan does.
[[gnu::noinline]] std::int64_t WrapUniformRun(const std::uint8_t* Buffer, const std::uint8_t* I,
                                              const std::uint8_t* Next, std::int64_t W,
                                              std::int64_t Limit, const TScanMetrics& M,
                                              std::int64_t& Width, std::int64_t& Count) {
    const std::int64_t U = M.UniformWidth, Room = Limit - W;
    const std::uint8_t* Cut = I + (Room < 0 ? 0 : QuotientOf(Room, U));
    while (Cut < Next && IsBreakChar(*Cut))
        ++Cut;
    if (Cut == Next)
        return 0;
    return WrapUniformLine(Buffer, Cut, W + (Cut - I) * U, M, Width, Count);
}

} // namespace

std::int64_t ScanUniformLine(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                             const TScanMetrics& M, std::int64_t& Width, std::int64_t& Count) {
    assert(M.UniformWidth > 0 && "the uniform route needs uniform widths");
    const std::int64_t U = M.UniformWidth;
    const std::int64_t Limit = MaxWidth != 0 ? MaxWidth : NoWrapWidth;
    const std::uint8_t* const End = Buffer + N;
    bytescan::TBelowWalk<CR + 1> Controls(Buffer, End);
    std::int64_t W = 0;
    int TabIndex = 0;
    for (const std::uint8_t* I = Buffer;;) {
        const std::uint8_t* Next = Controls.Next();
        if (Next < End && !IsLayoutControl(*Next))
            continue; // another control byte: an ordinary character
        const std::int64_t RunW = (Next - I) * U;
        if (RunW > Limit - W)
            return WrapUniformRun(Buffer, I, Next, W, Limit, M, Width, Count);
        if (Next == End)
            return 0; // the line goes on beyond the range
        const std::uint8_t B = *Next;
        W += RunW;
        if (B == LF || (B == CR && Next + 1 < End && Next[1] == LF)) {
            Count = Next - Buffer;
            Width = W;
            return Count + (B == LF ? 1 : 2);
        }
        if (B != TAB)
            return 0; // a form feed or a lone CR: left to the general scan
        const std::int64_t A = TabAdvance(W, TabIndex, M);
        if (A > Limit - W)
            return WrapUniformLine(Buffer, Next, W, M, Width, Count);
        W += A;
        I = Next + 1;
    }
}

std::int64_t ScanUniformLines(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                              const TScanMetrics& M, std::int64_t MaxLines, std::int64_t Known,
                              TLineSpan* Lines) {
    assert(M.UniformWidth > 0 && "the uniform route needs uniform widths");
    const std::int64_t Limit = MaxWidth != 0 ? MaxWidth : NoWrapWidth;
    if (Limit < 0)
        return 0; // no character fits: the general scan's rule
    // A line no wider than Known for certain, and not wrapped, needs no measuring: characters
    // advance by the uniform width, a tab at most to the farthest stop or the default spacing.
    const std::int64_t U = M.UniformWidth;
    std::int64_t TabMax = std::max<std::int64_t>({1, M.DefaultTabWidth, U});
    for (std::int64_t I = 0; I < M.TabCount; ++I)
        TabMax = std::max(TabMax, M.TabPositions[I]);
    const std::int64_t Bound = Known >= 0 ? std::min(Known, Limit) : -1;
    const std::uint8_t* const End = Buffer + N;
    // The line ends, form feeds and CRs, block by block, and the tabs counted.
    const bytescan::TEqualAny Test(LF, FF, CR);
    const bytescan::TEqual Tabs(TAB);
    const std::uint8_t* Block = Buffer;
    std::uint64_t Marks = 0, TabMarks = 0;
    std::int64_t TabBase = 0; // tabs before Block
    auto Load = [&] {
        if (End - Block >= 64) {
            Marks = bytescan::Marks64(Block, Test);
            TabMarks = bytescan::Marks64(Block, Tabs);
        } else {
            const int Rest = static_cast<int>(End - Block);
            Marks = bytescan::MarksShort(Block, Rest, Test);
            TabMarks = bytescan::MarksShort(Block, Rest, Tabs);
        }
    };
    Load();
    auto NextEvent = [&]() -> const std::uint8_t* {
        while (Marks == 0) {
            if (End - Block <= 64)
                return End;
            TabBase += bytescan::PopCount(TabMarks);
            Block += 64;
            Load();
        }
        const std::uint8_t* Found = Block + std::countr_zero(Marks);
        Marks &= Marks - 1;
        return Found;
    };
    // Tabs before P, for P in [Block, Block + 64].
    auto TabsBefore = [&](const std::uint8_t* P) {
        const auto K = static_cast<unsigned>(P - Block);
        const std::uint64_t Below = K >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << K) - 1;
        return TabBase + bytescan::PopCount(TabMarks & Below);
    };
    std::int64_t LineTabs = 0; // tabs before the line's start
    std::int64_t Stored = 0;
    const std::uint8_t* Line = Buffer;
    while (Stored < MaxLines) {
        const std::uint8_t* E = NextEvent();
        if (E == End)
            break; // the line goes on beyond the range
        std::int64_t Count = E - Line;
        if (*E == CR) {
            if (E + 1 == End || E[1] != LF)
                break;       // a lone CR: left to the general scan
            E = NextEvent(); // its LF
        } else if (*E == FF) {
            break;
        }
        const std::int64_t Taken = E + 1 - Line;
        const std::int64_t TabsAtEnd = TabsBefore(E);
        const std::int64_t InLine = TabsAtEnd - LineTabs;
        std::int64_t Width = -1;
        // (Counts are below 2^16 and widths far below 2^47: the products do not overflow.)
        if ((Count - InLine) * U + InLine * TabMax > Bound) {
            std::int64_t C = 0;
            if (ScanUniformLine(Line, End - Line, MaxWidth, M, Width, C) != Taken)
                break; // it wraps, or the general scan decides
            Count = C;
        }
        Lines[Stored++] = TLineSpan{E + 1 - Buffer, Count, Width};
        Line = E + 1;
        LineTabs = TabsAtEnd; // the line break holds no tab
    }
    return Stored;
}

std::int64_t MaxAdvance(const TScanMetrics& M) {
    std::int64_t Max = std::max<std::int64_t>(1, M.DefaultTabWidth);
    for (int I = 0; I < 256; ++I) {
        if (M.CharWidths[I] < 0)
            return 0;
        Max = std::max(Max, M.CharWidths[I]);
    }
    for (std::int64_t I = 0; I < M.TabCount; ++I)
        Max = std::max(Max, M.TabPositions[I]);
    return Max;
}

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
                   const TScanMetrics& M, std::int64_t MaxLines, std::int64_t& Taken) {
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
        std::int64_t X; // where the line passes the limit
        if (Next <= Cut && Next < N) {
            const std::uint8_t B = Buffer[Next];
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
            const std::uint8_t B = Buffer[X];
            const bool PairedCr = B == CR && X + 1 == Next && Next < N && Buffer[Next] == LF;
            if (X == Next || PairedCr) {
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
        if (X == S)
            break; // not even its first character fits: left to the general scan
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
                      const TScanMetrics& M, std::int64_t MaxLines, std::int64_t& Taken) {
    const std::int64_t U = M.UniformWidth;
    const std::int64_t Limit = MaxWidth != 0 ? MaxWidth : NoWrapWidth;
    const std::int64_t TabMax = TabAdvanceBound(M);
    constexpr std::int64_t Large = std::int64_t{1} << 31; // bounds below cannot overflow
    if (Limit < 0 || N > BlockRouteBytes || U > Large || TabMax > Large)
        return CountUniformEvents<K>(Buffer, N, MaxWidth, M, MaxLines, Taken);
    Taken = 0;
    if (N <= 0 || MaxLines <= 0)
        return 0;
    const std::int64_t TabExtra = TabMax - U; // a tab's advance is at most U + TabExtra
    const int Blocks = static_cast<int>((N + 63) / 64);

    // Per block: marks of tabs, and the tabs of the blocks before. The three blocks after those
    // classified so far hold a tab mark at every byte, beyond any line end the lines look for.
    std::uint64_t Tabs[BlockRouteBlocks + 3];
    std::int32_t TabsBefore[BlockRouteBlocks + 1];
    std::uint16_t Feeds[GroupBlocks * 64 + 4]; // positions of the line feeds of a group
    TabsBefore[0] = 0;

    // The first tab in [From, From + 127], or From + 128 when there is none there: one look at
    // the marks, whatever the distance, so that the processor has nothing to predict.
    auto NearTab = [&](std::int64_t From) __attribute__((always_inline)) {
        const std::int64_t B = From >> 6;
        const auto Shift = static_cast<int>(From & 63);
        const std::uint64_t Near = Tabs[B] >> Shift | (Tabs[B + 1] << 1) << (63 - Shift);
        const std::uint64_t Far = Tabs[B + 1] >> Shift | (Tabs[B + 2] << 1) << (63 - Shift);
        // Without a branch: Far counts only when Near has no mark (its count is then 64).
        const int InNear = std::countr_zero(Near);
        return From + InNear + (InNear >> 6) * std::countr_zero(Far);
    };
    auto IsTab = [&](std::int64_t P) __attribute__((always_inline)) {
        return (Tabs[P >> 6] >> (P & 63) & 1) != 0;
    };
    // The tabs before P.
    auto TabsTo = [&](std::int64_t P) __attribute__((always_inline)) {
        return TabsBefore[P >> 6] + K::Count(Tabs[P >> 6] & ((std::uint64_t{1} << (P & 63)) - 1));
    };

    std::int64_t S = 0, Lines = 0;
    // The display lines from S of the paragraph that ends at a line feed at E (Closed) or goes on
    // beyond the range (E = N). True when the paragraph was counted whole: S is after its line
    // feed; false when the count stops, S being the start of the first line not counted.
    auto Paragraph = [&](std::int64_t E, bool Closed) __attribute__((always_inline)) {
        for (;;) {
            if (Lines >= MaxLines)
                return false;
            std::int64_t Q = S, W0 = 0, X;
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
                if (X >= E || (Closed && X + 1 == E && Buffer[X] == CR)) {
                    // Everything up to the line feed fits, or only spaces and hyphens pass.
                    if (!Closed)
                        return false;
                    ++Lines;
                    S = E + 1;
                    return true;
                }
                if (Buffer[X] == CR && X + 1 == N)
                    return false; // a CR that may pair with an LF beyond the range
                break;
            }
            // Cut at X: the line ends after its last space or hyphen, else at X.
            if (X == S)
                return false; // not even its first character fits: left to the general scan
            const std::uint8_t* Break = bytescan::FindEitherBack(Buffer + S, Buffer + X, ' ', '-');
            ++Lines;
            S = Break != nullptr ? Break + 1 - Buffer : X;
        }
    };

    // Classifies block B from the 64 bytes at P: its tab marks and count, the form feeds in Forms,
    // the positions of its line feeds at Feeds + Found.
    static constexpr std::uint8_t Classes[] = {LF, TAB, FF};
    int Found = 0;
    std::uint64_t Forms = 0;
    auto Classify = [&](int B, const std::uint8_t* P) __attribute__((always_inline)) {
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
    };

    std::int64_t TabsAtS = 0;
    for (int Group = 0, Size = FirstGroupBlocks; Group < Blocks;
         Group += Size, Size = std::min(2 * Size, GroupBlocks)) {
        const int End = std::min(Blocks, Group + Size);
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
        if (Forms != 0) { // form feeds: the route by events from here
            std::int64_t Rest = 0;
            Lines += CountUniformEvents<K>(Buffer + S, N - S, MaxWidth, M, MaxLines - Lines, Rest);
            Taken = S + Rest;
            return Lines;
        }
        for (int I = 0; I < Found; ++I) {
            if (Lines >= MaxLines) {
                Taken = S;
                return Lines;
            }
            const std::int64_t P = Feeds[I];
            const std::int64_t TabsAtP = TabsTo(P);
            // The paragraph's widest width: every byte ordinary, every tab at its widest.
            if ((P - S) * U + (TabsAtP - TabsAtS) * TabExtra <= Limit) {
                ++Lines;
                S = P + 1;
            } else if (!Paragraph(P, true)) {
                Taken = S;
                return Lines;
            }
            TabsAtS = TabsAtP;
        }
    }
    // The lines of the last paragraph that end in the range.
    Paragraph(N, false);
    Taken = S;
    return Lines;
}

std::int64_t CountLineFeedsBase(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxLines,
                                std::int64_t& Taken) {
    return CountLineFeedsWith<bytescan::TBaseBlocks>(Buffer, N, MaxLines, Taken);
}

std::int64_t CountUniformLinesBase(const std::uint8_t* Buffer, std::int64_t N,
                                   std::int64_t MaxWidth, const TScanMetrics& M,
                                   std::int64_t MaxLines, std::int64_t& Taken) {
    return CountUniformLinesWith<bytescan::TBaseBlocks>(Buffer, N, MaxWidth, M, MaxLines, Taken);
}

#if defined(KESTREL_BLOCK_ISA_X86)

[[gnu::target(KESTREL_TARGET_AVX2)]] std::int64_t CountLineFeedsAvx2(const std::uint8_t* Buffer,
                                                                     std::int64_t N,
                                                                     std::int64_t MaxLines,
                                                                     std::int64_t& Taken) {
    return CountLineFeedsWith<bytescan::TAvx2Blocks>(Buffer, N, MaxLines, Taken);
}

[[gnu::target(KESTREL_TARGET_AVX2)]] std::int64_t
CountUniformLinesAvx2(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                      const TScanMetrics& M, std::int64_t MaxLines, std::int64_t& Taken) {
    return CountUniformLinesWith<bytescan::TAvx2Blocks>(Buffer, N, MaxWidth, M, MaxLines, Taken);
}

[[gnu::target(KESTREL_TARGET_AVX512)]] std::int64_t CountLineFeedsAvx512(const std::uint8_t* Buffer,
                                                                         std::int64_t N,
                                                                         std::int64_t MaxLines,
                                                                         std::int64_t& Taken) {
    return CountLineFeedsWith<bytescan::TAvx512Blocks>(Buffer, N, MaxLines, Taken);
}

[[gnu::target(KESTREL_TARGET_AVX512)]] std::int64_t
CountUniformLinesAvx512(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                        const TScanMetrics& M, std::int64_t MaxLines, std::int64_t& Taken) {
    return CountUniformLinesWith<bytescan::TAvx512Blocks>(Buffer, N, MaxWidth, M, MaxLines, Taken);
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

std::int64_t CountUniformLines(const std::uint8_t* Buffer, std::int64_t N, std::int64_t MaxWidth,
                               const TScanMetrics& Metrics, std::int64_t MaxLines,
                               std::int64_t& Taken) {
    assert(Metrics.UniformWidth > 0 && "the uniform route needs uniform widths");
#if defined(KESTREL_BLOCK_ISA_X86)
    switch (bytescan::BlockIsa()) {
    case bytescan::biAvx512:
        return CountUniformLinesAvx512(Buffer, N, MaxWidth, Metrics, MaxLines, Taken);
    case bytescan::biAvx2:
        return CountUniformLinesAvx2(Buffer, N, MaxWidth, Metrics, MaxLines, Taken);
    case bytescan::biBase:
        break;
    }
#endif
    return CountUniformLinesBase(Buffer, N, MaxWidth, Metrics, MaxLines, Taken);
}

bool BackScanForEol(const std::uint8_t* Buffer, std::uint16_t& Index) {
    const std::uint8_t* P = bytescan::FindEitherBack(Buffer, Buffer + Index, LF, LF);
    if (P == nullptr)
        return false;
    Index = static_cast<std::uint16_t>(P - Buffer + 1);
    return true;
}

} // namespace kestrel
