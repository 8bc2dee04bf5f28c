// Block search: anchored on the pattern's rarest byte, compared in full at each hit.
#include "textbuff/text_search.h"

#include "textbuff/byte_scan.h"
#include "textbuff/text_types.h"

#include <array>
#include <cstring>

namespace kestrel {

namespace {

// Rough frequency of bytes in text (higher: more frequent), to anchor the scan on a rare one.
int Commonness(std::uint8_t B) {
    static const std::array<int, 256> Table = [] {
        std::array<int, 256> T{};
        T.fill(2);
        const char* Lower = "etaoinshrdlcumwfgypbvkjxqz";
        for (int I = 0; Lower[I] != 0; ++I) {
            T[static_cast<std::uint8_t>(Lower[I])] = 90 - 3 * I;
            T[static_cast<std::uint8_t>(Lower[I] - 'a' + 'A')] = 20 - I / 2;
        }
        for (int C = '0'; C <= '9'; ++C)
            T[static_cast<std::size_t>(C)] = 20;
        T[' '] = 100;
        T[LF] = 30;
        T[CR] = 25;
        T['.'] = T[','] = 25;
        T[TAB] = 15;
        for (const char* P = "-'\"()/:;!?_=*"; *P != 0; ++P)
            T[static_cast<std::uint8_t>(*P)] = 8;
        return T;
    }();
    return Table[B];
}

std::uint8_t Fold(std::uint8_t B) {
    return B >= 'A' && B <= 'Z' ? B + ('a' - 'A') : B;
}

bool IsLetter(std::uint8_t B) {
    return Fold(B) >= 'a' && Fold(B) <= 'z';
}

bool Matches(const std::uint8_t* At, const std::string& S, bool IgnoreCase) {
    if (!IgnoreCase)
        return std::memcmp(At, S.data(), S.size()) == 0;
    for (std::size_t I = 0; I < S.size(); ++I)
        if (Fold(At[I]) != Fold(static_cast<std::uint8_t>(S[I])))
            return false;
    return true;
}

} // namespace

bool ScanForString(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                   const std::string& S, bool IgnoreCase, bool Backward) {
    const int Len = static_cast<int>(S.size());
    if (Len == 0)
        return false;
    // Candidate starts First .. Last.
    int First, Last;
    if (Backward) {
        First = 0;
        Last = static_cast<int>(Pos) - Len + 1;
    } else {
        First = Pos;
        Last = static_cast<int>(EndPos) - Len + 1;
    }
    if (Last < First)
        return false;

    // Two anchors: the pattern's rarest byte and the next rarest elsewhere in it.
    auto Rarity = [&](int I) {
        const auto B = static_cast<std::uint8_t>(S[static_cast<std::size_t>(I)]);
        return IgnoreCase && IsLetter(B) ? Commonness(Fold(B)) + Commonness(Fold(B) - 32)
                                         : Commonness(B);
    };
    int K1 = 0;
    for (int I = 1; I < Len; ++I)
        if (Rarity(I) < Rarity(K1))
            K1 = I;
    int K2 = K1;
    for (int I = 0; I < Len; ++I)
        if (I != K1 && (K2 == K1 || Rarity(I) < Rarity(K2)))
            K2 = I;
    auto Cases = [&](int K, std::uint8_t& A, std::uint8_t& B) {
        A = B = static_cast<std::uint8_t>(S[static_cast<std::size_t>(K)]);
        if (IgnoreCase && IsLetter(A)) {
            A = Fold(A);
            B = static_cast<std::uint8_t>(A - 32);
        }
    };
    std::uint8_t A1, B1, A2, B2;
    Cases(K1, A1, B1);
    Cases(K2, A2, B2);
    const int Found =
        bytescan::FindAnchored(Buffer, First, Last, K1, A1, B1, K2, A2, B2, Backward,
                               [&](int Start) { return Matches(Buffer + Start, S, IgnoreCase); });
    if (Found < 0)
        return false;
    Pos = static_cast<std::uint16_t>(Found);
    return true;
}

bool SearchBlock(const std::uint8_t* Buffer, std::uint16_t& Pos, std::uint16_t EndPos,
                 const std::string& S, TFindOptions Options, int Before, int After) {
    const int Len = static_cast<int>(S.size());
    const bool Down = Options.Contains(frDown);
    const bool IgnoreCase = !Options.Contains(frMatchCase);
    int P = Pos;
    for (;;) {
        if (Down ? P > static_cast<int>(EndPos) - Len + 1 : (P < Len - 1 || P > EndPos))
            return false;
        auto Found = static_cast<std::uint16_t>(P);
        if (!ScanForString(Buffer, Found, EndPos, S, IgnoreCase, !Down))
            return false;
        if (!Options.Contains(frWholeWord)) {
            Pos = Found;
            return true;
        }
        const int Start = Found, End = Found + Len - 1;
        const int Prev = Start > 0 ? Buffer[Start - 1] : Before;
        const int Next = End < EndPos ? Buffer[End + 1] : After;
        if ((Prev < 0 || !WordChars.Contains(static_cast<std::uint8_t>(Prev))) &&
            (Next < 0 || !WordChars.Contains(static_cast<std::uint8_t>(Next)))) {
            Pos = Found;
            return true;
        }
        P = Down ? Start + 1 : End - 1; // on past the refused match
    }
}

} // namespace kestrel
