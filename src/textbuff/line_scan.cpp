// The line scanner: the byte-by-byte scan, the scan in runs and the route for whole lines of
// uniform width.
#include "textbuff/line_scan.h"

#include "textbuff/byte_scan.h"
#include "textbuff/line_scan_internal.h"
#include "textbuff/text_types.h"

#include <algorithm>
#include <bit>
#include <cassert>

namespace kestrel {

using namespace linescan;

namespace {

// TAB, LF, FF or CR: the bytes below 14 that the scan does not measure as characters.
bool IsLayoutControl(std::uint8_t B) {
    constexpr std::uint32_t Set = 1u << TAB | 1u << LF | 1u << FF | 1u << CR;
    return B <= CR && (Set >> B & 1) != 0;
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
    // The last break opportunity before the last tab or lone CR passed (the start when none), and
    // the index after that character (the start when none): no tab lies between it and any cut.
    int BreakI;
    std::int64_t BreakW, BreakK;
    int AfterTab;
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
// Only the bytes since the last tab are searched: the break before it was noted as it passed.
template <bool Uniform>
TScanState LastBreak(const TRunScan& R, int Cut, std::int64_t W, std::int64_t K) {
    TScanState S{W, K, R.BreakI, R.BreakW, R.BreakK};
    const std::uint8_t* Buffer = R.Buffer;
    const std::uint8_t* P = bytescan::FindEitherBack(Buffer + R.AfterTab, Buffer + Cut, ' ', '-');
    if (P == nullptr)
        return S;
    S.BI = static_cast<int>(P - Buffer) + 1;
    S.BW = W - RunWidth<Uniform>(Buffer + S.BI, Cut - S.BI, R.M);
    S.BC = K - (Cut - S.BI);
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

// The bytes to look ahead for the next piece of a line at width W that ends where MaxWidth is
// passed: the bytes that fit and a block more with uniform widths; with others (which may be 0)
// pieces that double from a block. Linear in the bytes the line takes, however narrow the width.
template <bool Uniform>
std::int64_t LookAhead(std::int64_t MaxWidth, std::int64_t W, const TScanMetrics& M,
                       std::int64_t& Piece) {
    if constexpr (Uniform) {
        const std::int64_t Room = MaxWidth - W;
        return (Room <= 0 ? 0 : QuotientOf(Room, M.UniformWidth)) + 64;
    } else {
        const std::int64_t Ahead = Piece;
        Piece = std::min<std::int64_t>(2 * Piece, 1 << 16);
        return Ahead;
    }
}

// The scan in runs: the bytes below 14 (among them TAB, LF, FF and CR) are found 64 at a time,
// the ordinary bytes between them measured at once, and the last break opportunity looked for
// only when a line is cut or the range runs out (the one before each tab noted as it passes).
// With a width to keep to, the walk looks no farther ahead than the line can reach. Gives what
// the byte-by-byte scan gives. The loop keeps its state in locals; the rare ends are functions of
// their own.
template <bool Uniform>
bool ScanRuns(const std::uint8_t* Buffer, std::uint16_t& Pos, int End, std::int64_t MaxWidth,
              bool WordWrap, std::uint16_t& CharCount, std::int64_t& Width, const TScanMetrics& M,
              std::int64_t& BreakWidth, std::uint16_t& BreakCount, bool& Overflow) {
    const int Start = Pos;
    const std::int64_t StartW = Width, StartK = CharCount;
    int BreakI = Start, AfterTab = Start;
    std::int64_t BreakW = StartW, BreakK = StartK;
    // Built only where the loop hands over to the rare ends, so the loop keeps its registers.
    auto Call = [&] {
        return TRunScan{Buffer,   Start,    StartW, StartK, BreakI,    BreakW, BreakK,
                        AfterTab, WordWrap, M,      Pos,    CharCount, Width,  Overflow};
    };
    const bool Check = MaxWidth != 0 && MaxWidth != NoWrapWidth;
    std::int64_t W = StartW, K = StartK;
    int TabIndex = 0;
    std::int64_t Piece = 64;
    bytescan::TBelowWalk<CR + 1> Controls(Buffer + Start, Buffer + End);
    for (int I = Start;;) {
        int Bound = End;
        if (Check) {
            const std::int64_t Ahead = LookAhead<Uniform>(MaxWidth, W, M, Piece);
            if (Ahead < End - I)
                Bound = I + static_cast<int>(Ahead);
        }
        // The next TAB, LF, FF or CR before Bound; other bytes below 14 are ordinary.
        int Next;
        do
            Next = static_cast<int>(Controls.NextBefore(Buffer + Bound) - Buffer);
        while (Next < Bound && !IsLayoutControl(Buffer[Next]));
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
            if (Check) {
                const TScanState S = LastBreak<Uniform>(Call(), End, W, K);
                BreakWidth = S.BW;
                BreakCount = static_cast<std::uint16_t>(S.BC);
            }
            Pos = static_cast<std::uint16_t>(End);
            CharCount = static_cast<std::uint16_t>(K);
            Width = W;
            return false;
        }
        if (Next == Bound) { // no control byte so far: the next piece
            I = Next;
            continue;
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
        // The last break before it, for a cut beyond it (none without a width to keep to).
        if (const std::uint8_t* P =
                Check ? bytescan::FindEitherBack(Buffer + AfterTab, Buffer + Next, ' ', '-')
                      : nullptr) {
            BreakI = static_cast<int>(P - Buffer) + 1;
            BreakW = W - RunWidth<Uniform>(Buffer + BreakI, Next - BreakI, M);
            BreakK = K - (Next - BreakI);
        }
        AfterTab = Next + 1;
        W += A;
        ++K;
        I = Next + 1;
    }
}

// UniformSpan with the block kernels K.
template <typename K>
[[gnu::always_inline]] inline const std::uint8_t*
UniformSpanWith(const std::uint8_t* P, const std::uint8_t* End, std::int64_t& Width,
                std::int64_t Limit, const TScanMetrics& M) {
    // Kept in locals, so that the loop neither stores the width nor reloads the metrics.
    const std::int64_t U = M.UniformWidth, TabCount = M.TabCount;
    const std::int64_t D = M.DefaultTabWidth > 0 ? M.DefaultTabWidth : 1;
    const bool Pow2 = (D & (D - 1)) == 0;
    // A block is taken whole while no 64 bytes could pass Limit from there.
    const std::int64_t Widest = MaxAdvance(M);
    const std::int64_t LastFit = Widest > Limit / 64 ? -1 : Limit - 64 * Widest;
    std::int64_t W = Width;
    int TabIndex = 0;
    const auto Tab = [&] {
        if (Pow2 && TabIndex >= TabCount)
            W = (W & ~(D - 1)) + D; // past the stops: the next multiple of the default
        else
            W += TabAdvance(W, TabIndex, M);
    };
    for (; End - P >= 64 && W <= LastFit; P += 64) {
        bytescan::NoteBlocks(1);
        const std::uint64_t Stops = K::EqualAny(P, LF, FF, CR);
        std::uint64_t Tabs = K::Equal(P, TAB);
        const int N = Stops != 0 ? std::countr_zero(Stops) : 64;
        if (Stops != 0)
            Tabs &= (Stops & -Stops) - 1;
        int Last = 0;
        for (; Tabs != 0; Tabs &= Tabs - 1) {
            const int At = std::countr_zero(Tabs);
            W += (At - Last) * U;
            Tab();
            Last = At + 1;
        }
        W += (N - Last) * U;
        if (Stops != 0) {
            Width = W;
            return P + N;
        }
    }
    for (; P < End && End - P < 64; ++P) {
        const std::uint8_t B = *P;
        if (B == LF || B == FF || B == CR)
            break;
        const std::int64_t Before = W;
        if (B == TAB)
            Tab();
        else
            W += U;
        if (W > Limit) {
            W = Before;
            break;
        }
    }
    Width = W;
    return P;
}

const std::uint8_t* UniformSpanBase(const std::uint8_t* P, const std::uint8_t* End, std::int64_t& W,
                                    std::int64_t Limit, const TScanMetrics& M) {
    return UniformSpanWith<bytescan::TBaseBlocks>(P, End, W, Limit, M);
}

#if defined(KESTREL_BLOCK_ISA_X86)
[[gnu::target(KESTREL_TARGET_AVX2)]] const std::uint8_t*
UniformSpanAvx2(const std::uint8_t* P, const std::uint8_t* End, std::int64_t& W, std::int64_t Limit,
                const TScanMetrics& M) {
    return UniformSpanWith<bytescan::TAvx2Blocks>(P, End, W, Limit, M);
}

[[gnu::target(KESTREL_TARGET_AVX512)]] const std::uint8_t*
UniformSpanAvx512(const std::uint8_t* P, const std::uint8_t* End, std::int64_t& W,
                  std::int64_t Limit, const TScanMetrics& M) {
    return UniformSpanWith<bytescan::TAvx512Blocks>(P, End, W, Limit, M);
}
#endif

} // namespace

const std::uint8_t* linescan::UniformSpan(const std::uint8_t* P, const std::uint8_t* End,
                                          std::int64_t& W, std::int64_t Limit,
                                          const TScanMetrics& M) {
    assert(M.UniformWidth > 0 && "the span needs uniform widths");
#if defined(KESTREL_BLOCK_ISA_X86)
    switch (bytescan::BlockIsa()) {
    case bytescan::biAvx512:
        return UniformSpanAvx512(P, End, W, Limit, M);
    case bytescan::biAvx2:
        return UniformSpanAvx2(P, End, W, Limit, M);
    case bytescan::biBase:
        break;
    }
#endif
    return UniformSpanBase(P, End, W, Limit, M);
}

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
    if (MaxWidth == 0 || MaxWidth == NoWrapWidth) { // no width to keep to: no break told
        S.BW = BreakWidth;
        S.BC = BreakCount;
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
    const bool Check = MaxWidth != 0 && MaxWidth != NoWrapWidth;
    if (Metrics.UniformWidth > 0) {
        if (Check && WordWrap)
            return ScanRuns<true>(Buffer, Pos, End, MaxWidth, WordWrap, CharCount, Width, Metrics,
                                  BreakWidth, BreakCount, Overflow);
        // No break to look for on the way (no width, or no word wrap): the bytes up to a line
        // break or a CR, as far as whole blocks cannot pass the width, at block speed, then the
        // rest by the scan in runs.
        const int From = Pos;
        const std::int64_t FromW = Width;
        const std::uint16_t FromK = CharCount;
        const std::uint8_t* Stop =
            UniformSpan(Buffer + Pos, Buffer + End, Width, Check ? MaxWidth : NoWrapWidth, Metrics);
        const int At = static_cast<int>(Stop - Buffer);
        CharCount = static_cast<std::uint16_t>(CharCount + (At - From));
        Pos = static_cast<std::uint16_t>(At);
        const std::uint16_t AtK = CharCount;
        const bool Ended = ScanRuns<true>(Buffer, Pos, End, MaxWidth, WordWrap, CharCount, Width,
                                          Metrics, BreakWidth, BreakCount, Overflow);
        if (!Ended && Check && At > From && BreakCount == AtK) {
            // No break after the span: the last one in it, which the scan did not see.
            const std::uint8_t* P = bytescan::FindEitherBack(Buffer + From, Stop, ' ', '-');
            const int BreakI = P != nullptr ? static_cast<int>(P - Buffer) + 1 : From;
            BreakWidth = FromW;
            UniformSpan(Buffer + From, Buffer + BreakI, BreakWidth, NoWrapWidth, Metrics);
            BreakCount = static_cast<std::uint16_t>(FromK + (BreakI - From));
        }
        return Ended;
    }
    return ScanRuns<false>(Buffer, Pos, End, MaxWidth, WordWrap, CharCount, Width, Metrics,
                           BreakWidth, BreakCount, Overflow);
}

namespace {

// The line whose first character does not fit takes it anyway, so that every line moves on, and
// with it a line break that follows: the bytes taken, or 0 when the N bytes cannot tell.
std::int64_t OneCharacterLine(const std::uint8_t* Buffer, std::int64_t N, const TScanMetrics& M,
                              std::int64_t& Width, std::int64_t& Count) {
    if (N < 2 || (Buffer[1] == CR && N < 3))
        return 0; // the end of the text, or a line break beyond the range, may decide
    const std::int64_t Taken = Buffer[1] == LF ? 2 : Buffer[1] == CR && Buffer[2] == LF ? 3 : 1;
    int TabIndex = 0;
    Width = Buffer[0] == TAB ? TabAdvance(0, TabIndex, M) : M.UniformWidth;
    Count = 1;
    return Taken;
}

// The uniform line that passes the width at Cut, where the width is W: it ends after the last
// space or hyphen before Cut; when there is none, at Cut (a word longer than the width is cut),
// or after its first character when not even that fits.
std::int64_t WrapUniformLine(const std::uint8_t* Buffer, const std::uint8_t* Cut,
                             const std::uint8_t* End, std::int64_t W, const TScanMetrics& M,
                             std::int64_t& Width, std::int64_t& Count) {
    const std::uint8_t* Break = bytescan::FindEitherBack(Buffer, Cut, ' ', '-');
    if (Break == nullptr) {
        if (Cut == Buffer)
            return OneCharacterLine(Buffer, End - Buffer, M, Width, Count);
        Count = Cut - Buffer;
        Width = W;
        return Count;
    }
    Count = Break + 1 - Buffer;
    if (bytescan::FindEitherBack(Break + 1, Cut, TAB, TAB) == nullptr)
        Width = W - (Cut - (Break + 1)) * M.UniformWidth;
    else // a tab between: its advance depended on what came before
        Width = UniformWidthTo(Buffer, Break + 1, M);
    return Count;
}

// The run of uniform bytes [I, Next), starting at width W, passes Limit: the line wraps at the
// first byte beyond it that is not a space or hyphen (those may pass the width). -1 when every
// byte beyond is one: the bytes from Next on decide.
[[gnu::noinline]] std::int64_t WrapUniformRun(const std::uint8_t* Buffer, const std::uint8_t* I,
                                              const std::uint8_t* Next, const std::uint8_t* End,
                                              std::int64_t W, std::int64_t Limit,
                                              const TScanMetrics& M, std::int64_t& Width,
                                              std::int64_t& Count) {
    const std::int64_t U = M.UniformWidth, Room = Limit - W;
    const std::uint8_t* Cut = I + (Room < 0 ? 0 : QuotientOf(Room, U));
    while (Cut < Next && IsBreakChar(*Cut))
        ++Cut;
    if (Cut == Next)
        return -1;
    return WrapUniformLine(Buffer, Cut, End, W + (Cut - I) * U, M, Width, Count);
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
        // The walk looks no farther than the line can reach: the bytes that fit and a block more.
        const std::uint8_t* Bound = End;
        if (Limit != NoWrapWidth) {
            const std::int64_t Room = Limit - W;
            const std::int64_t Ahead = (Room <= 0 ? 0 : QuotientOf(Room, U)) + 64;
            if (Ahead < End - I)
                Bound = I + Ahead;
        }
        const std::uint8_t* Next = Controls.NextBefore(Bound);
        if (Next < Bound && !IsLayoutControl(*Next))
            continue; // another control byte: an ordinary character
        const std::int64_t RunW = (Next - I) * U;
        if (RunW > Limit - W) {
            const std::int64_t Taken =
                WrapUniformRun(Buffer, I, Next, End, W, Limit, M, Width, Count);
            if (Taken >= 0)
                return Taken;
            if (Next == End || Next < Bound)
                return 0; // spaces past the width up to a control byte: the general scan
        }
        W += RunW;
        if (Next == End)
            return 0;        // the line goes on beyond the range
        if (Next == Bound) { // no control byte so far: the next piece
            I = Next;
            continue;
        }
        const std::uint8_t B = *Next;
        if (B == LF || (B == CR && Next + 1 < End && Next[1] == LF)) {
            Count = Next - Buffer;
            Width = W;
            return Count + (B == LF ? 1 : 2);
        }
        if (B != TAB)
            return 0; // a form feed or a lone CR: left to the general scan
        const std::int64_t A = TabAdvance(W, TabIndex, M);
        if (A > Limit - W)
            return WrapUniformLine(Buffer, Next, End, W, M, Width, Count);
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
        bytescan::NoteBlocks(1);
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
    std::int64_t LineTabs = 0; // tabs before the line's start
    const std::uint8_t* Line = Buffer;
    auto NextEvent = [&]() -> const std::uint8_t* {
        while (Marks == 0) {
            if (End - Block <= 64)
                return End;
            TabBase += bytescan::PopCount(TabMarks);
            Block += 64;
            // Every character takes U and every tab at least 1: a line this long wraps, and the
            // walk goes no farther.
            const std::int64_t Tabs = TabBase - LineTabs;
            if (Limit != NoWrapWidth && (Block - Line - Tabs) * U + Tabs > Limit)
                return End;
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
    std::int64_t Stored = 0;
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
    for (int I = M.UniformWidth > 0 ? 256 : 0; I < 256; ++I) {
        if (M.CharWidths[I] < 0)
            return 0;
        Max = std::max(Max, M.CharWidths[I]);
    }
    Max = std::max(Max, M.UniformWidth);
    for (std::int64_t I = 0; I < M.TabCount; ++I)
        Max = std::max(Max, M.TabPositions[I]);
    return Max;
}

bool BackScanForEol(const std::uint8_t* Buffer, std::uint16_t& Index) {
    const std::uint8_t* P = bytescan::FindEitherBack(Buffer, Buffer + Index, LF, LF);
    if (P == nullptr)
        return false;
    Index = static_cast<std::uint16_t>(P - Buffer + 1);
    return true;
}

} // namespace kestrel