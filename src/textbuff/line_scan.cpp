// The line scanner: the byte-by-byte scan and the fast path for fonts of uniform width.
#include "textbuff/line_scan.h"

#include "textbuff/byte_scan.h"

#include <cassert>

namespace kestrel {

namespace {

constexpr std::uint8_t TAB = 9, LF = 10, FF = 12, CR = 13;

bool IsBreakChar(std::uint8_t B) { return B == ' ' || B == '-'; }

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

// The scan for a font whose 256 advances are all W > 0: runs of ordinary bytes are measured
// at once, and only the bytes below 14 (among them TAB, LF, FF, CR) are looked at singly.
bool ScanUniform(const std::uint8_t* Buffer, std::uint16_t& Pos, int End, std::int64_t MaxWidth,
                 bool WordWrap, std::uint16_t& CharCount, std::int64_t& Width,
                 const TScanMetrics& M, std::int64_t& BreakWidth, std::uint16_t& BreakCount,
                 bool& Overflow) {
    const std::int64_t Adv = M.UniformWidth;
    const bool Check = MaxWidth != 0;
    TScanState S{Width, CharCount, Pos, Width, CharCount};
    int TabIndex = 0;
    // Records the last space or hyphen of [From, To) as the break opportunity; W0 and K0 are
    // the width and count at From.
    auto NoteBreak = [&](int From, int To, std::int64_t W0, std::int64_t K0) {
        if (const std::uint8_t* P = bytescan::FindEitherBack(Buffer + From, Buffer + To, ' ', '-')) {
            const int After = static_cast<int>(P - Buffer) + 1;
            S.BI = After;
            S.BW = W0 + (After - From) * Adv;
            S.BC = K0 + (After - From);
        }
    };

    int I = Pos;
    for (;;) {
        // The next TAB, LF, FF or CR; other bytes below 14 are ordinary.
        int Next = I;
        for (;;) {
            Next = static_cast<int>(bytescan::FindBelow(Buffer + Next, Buffer + End, 14) - Buffer);
            if (Next >= End) {
                break;
            }
            const std::uint8_t B = Buffer[Next];
            if (B == TAB || B == LF || B == FF || B == CR)
                break;
            ++Next;
        }
        const std::int64_t Run = Next - I;
        const std::int64_t W0 = S.W, K0 = S.K;
        if (Run > 0 && Check) {
            // Bytes of the run that fit: the first one beyond MaxWidth is at Fits.
            const std::int64_t Fits = W0 >= MaxWidth ? 0 : (MaxWidth - W0) / Adv;
            if (Fits < Run) {
                std::int64_t J = Fits;
                if (WordWrap)
                    while (J < Run && IsBreakChar(Buffer[I + J]))
                        ++J; // spaces and hyphens may pass the width
                if (J < Run) {
                    const int At = I + static_cast<int>(J);
                    NoteBreak(I, At, W0, K0);
                    S.W = W0 + J * Adv;
                    S.K = K0 + J;
                    return Cut(Pos, At, WordWrap, S, CharCount, Width, Overflow);
                }
            }
        }
        S.W = W0 + Run * Adv;
        S.K = K0 + Run;
        if (Next >= End) {
            NoteBreak(I, Next, W0, K0);
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
        NoteBreak(I, Next, W0, K0);
        const std::int64_t A = B == TAB ? TabAdvance(S.W, TabIndex, M) : Adv;
        S.W += A;
        ++S.K;
        if (Check && S.W > MaxWidth) {
            S.W -= A;
            --S.K;
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
                std::int64_t MaxWidth, bool WordWrap, std::uint16_t& CharCount,
                std::int64_t& Width, const TScanMetrics& Metrics, std::int64_t& BreakWidth,
                std::uint16_t& BreakCount, bool& Overflow) {
    assert(EndPos < 0xFFFF && "a scan range ends before index 65535");
    if (Metrics.UniformWidth <= 0)
        return ScanForEolBytewise(Buffer, Pos, EndPos, MaxWidth, WordWrap, CharCount, Width,
                                  Metrics, BreakWidth, BreakCount, Overflow);
    Overflow = false;
    const int End = static_cast<int>(EndPos) + 1 < Pos ? Pos : static_cast<int>(EndPos) + 1;
    return ScanUniform(Buffer, Pos, End, MaxWidth, WordWrap, CharCount, Width, Metrics,
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
