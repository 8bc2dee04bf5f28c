// The line scanner: the byte-by-byte scan and the fast path for fonts of uniform width.
#include "textbuff/line_scan.h"

#include "textbuff/byte_scan.h"

#include <cassert>

namespace kestrel {

namespace {

constexpr std::uint8_t TAB = 9, LF = 10, FF = 12, CR = 13;

bool IsBreakChar(std::uint8_t B) {
    return B == ' ' || B == '-';
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
    const std::int64_t Floor = W >= 0 ? W / D : -((-W + D - 1) / D);
    return (Floor + 1) * D - W;
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

// The scan in runs: the bytes below 14 (among them TAB, LF, FF and CR) are found sixteen at a
// time, the ordinary bytes between them measured at once, and the last break opportunity looked
// for only when a line is cut or the range runs out. Gives what the byte-by-byte scan gives.
template <bool Uniform>
bool ScanRuns(const std::uint8_t* Buffer, std::uint16_t& Pos, int End, std::int64_t MaxWidth,
              bool WordWrap, std::uint16_t& CharCount, std::int64_t& Width, const TScanMetrics& M,
              std::int64_t& BreakWidth, std::uint16_t& BreakCount, bool& Overflow) {
    const bool Check = MaxWidth != 0;
    const int Start = Pos;
    const std::int64_t StartW = Width, StartK = CharCount;
    TScanState S{Width, CharCount, Start, Width, CharCount};
    int TabIndex = 0;
    // Sets the break opportunity to the last space or hyphen before Cut, where the width and
    // count are W and K.
    auto FindBreak = [&](int Cut, std::int64_t W, std::int64_t K) {
        const std::uint8_t* P = bytescan::FindEitherBack(Buffer + Start, Buffer + Cut, ' ', '-');
        if (P == nullptr)
            return; // none: the entry values stand
        const int After = static_cast<int>(P - Buffer) + 1;
        if (bytescan::FindEitherBack(Buffer + After, Buffer + Cut, TAB, TAB) == nullptr) {
            S.BI = After;
            S.BW = W - RunWidth<Uniform>(Buffer + After, Cut - After, M);
            S.BC = K - (Cut - After);
            return;
        }
        // A tab lies between: measure up to the break from the start.
        std::uint16_t P0 = static_cast<std::uint16_t>(Start),
                      K0 = static_cast<std::uint16_t>(StartK);
        std::int64_t W0 = StartW, BW = 0;
        std::uint16_t BC = 0;
        bool Over = false;
        ScanForEolBytewise(Buffer, P0, static_cast<std::uint16_t>(After - 1), 0, false, K0, W0, M,
                           BW, BC, Over);
        S.BI = After;
        S.BW = W0;
        S.BC = K0;
    };

    int I = Start;
    for (;;) {
        // The next TAB, LF, FF or CR; other bytes below 14 are ordinary.
        int Next = I;
        for (;;) {
            Next = static_cast<int>(bytescan::FindBelow(Buffer + Next, Buffer + End, 14) - Buffer);
            if (Next >= End)
                break;
            const std::uint8_t B = Buffer[Next];
            if (B == TAB || B == LF || B == FF || B == CR)
                break;
            ++Next;
        }
        const std::int64_t Run = Next - I;
        const std::int64_t W0 = S.W, K0 = S.K;
        const std::int64_t RunW = RunWidth<Uniform>(Buffer + I, Run, M);
        if (Check && Run > 0 && MaxWidth - W0 < RunW) {
            // The first byte beyond MaxWidth, then past any spaces and hyphens (which may pass
            // the width when wrapping words).
            std::int64_t J, W;
            if constexpr (Uniform) {
                const std::int64_t Room = MaxWidth - W0;
                J = Room <= 0 ? 0 : Room / M.UniformWidth;
                W = W0 + J * M.UniformWidth;
            } else {
                J = 0;
                W = W0;
                while (W + M.CharWidths[Buffer[I + J]] <= MaxWidth)
                    W += M.CharWidths[Buffer[I + J++]];
            }
            if (WordWrap)
                while (J < Run && IsBreakChar(Buffer[I + J]))
                    W += M.CharWidths[Buffer[I + J++]];
            if (J < Run) {
                const int At = I + static_cast<int>(J);
                S.W = W;
                S.K = K0 + J;
                if (WordWrap)
                    FindBreak(At, S.W, S.K);
                return Cut(Pos, At, WordWrap, S, CharCount, Width, Overflow);
            }
        }
        S.W = W0 + RunW;
        S.K = K0 + Run;
        if (Next >= End) {
            FindBreak(End, S.W, S.K);
            return Exhausted(Pos, End, S, CharCount, Width, BreakWidth, BreakCount);
        }
        const std::uint8_t B = Buffer[Next];
        if (B == LF)
            return Ended(Pos, Next + 1, S, CharCount, Width);
        if (B == FF)
            return Ended(Pos, S.K == 0 ? Next + 1 : Next, S, CharCount, Width);
        if (B == CR && Next + 1 < End && Buffer[Next + 1] == LF)
            return Ended(Pos, Next + 2, S, CharCount, Width);
        // A tab or a lone CR: one character with its own advance.
        const std::int64_t A = B == TAB ? TabAdvance(S.W, TabIndex, M) : M.CharWidths[CR];
        S.W += A;
        ++S.K;
        if (Check && S.W > MaxWidth) {
            S.W -= A;
            --S.K;
            if (WordWrap)
                FindBreak(Next, S.W, S.K);
            return Cut(Pos, Next, WordWrap, S, CharCount, Width, Overflow);
        }
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

bool BackScanForEol(const std::uint8_t* Buffer, std::uint16_t& Index) {
    const std::uint8_t* P = bytescan::FindEitherBack(Buffer, Buffer + Index, LF, LF);
    if (P == nullptr)
        return false;
    Index = static_cast<std::uint16_t>(P - Buffer + 1);
    return true;
}

} // namespace kestrel
