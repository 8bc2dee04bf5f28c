// Fuzz target: Search of a text stream, window by window, held to a naive search over the whole
// text, in both directions, with and without case and whole words, with a small window and a
// large one, and with progress reports that may cancel. The first bytes of the input choose the
// pattern, the start and the window; the rest is the text.
#include "host/streams.h"
#include "support/edit_session.h"
#include "textbuff/text_stream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace kestrel {
namespace {

void Expect(bool Holds, const std::string& What) {
    if (!Holds) {
        std::fprintf(stderr, "search differs from the naive search: %s\n", What.c_str());
        std::abort();
    }
}

bool IsWordChar(std::uint8_t C) {
    return (C >= '0' && C <= '9') || (C >= 'A' && C <= 'Z') || C == '_' || (C >= 'a' && C <= 'z') ||
           (C >= 192 && C != 215 && C != 247);
}

/// The naive search: every candidate in order over the whole text; the match's start or -1.
std::int64_t Naive(const std::string& Text, std::int64_t Pos, const std::string& S,
                   TFindOptions O) {
    const auto N = static_cast<std::int64_t>(Text.size());
    const auto L = static_cast<std::int64_t>(S.size());
    if (N == 0 || L == 0)
        return -1;
    Pos = std::clamp<std::int64_t>(Pos, 0, N - 1);
    auto Byte = [&](std::int64_t I) { return static_cast<std::uint8_t>(Text[std::size_t(I)]); };
    auto Fold = [&](std::uint8_t C) {
        return !O.Contains(frMatchCase) && C >= 'A' && C <= 'Z' ? C + 32 : C;
    };
    auto Accept = [&](std::int64_t At) {
        for (std::int64_t I = 0; I < L; ++I)
            if (Fold(Byte(At + I)) != Fold(static_cast<std::uint8_t>(S[std::size_t(I)])))
                return false;
        return !O.Contains(frWholeWord) || ((At == 0 || !IsWordChar(Byte(At - 1))) &&
                                            (At + L == N || !IsWordChar(Byte(At + L))));
    };
    if (O.Contains(frDown)) {
        for (std::int64_t At = Pos; At + L <= N; ++At)
            if (Accept(At))
                return At;
    } else {
        for (std::int64_t At = Pos - L + 1; At >= 0; --At)
            if (Accept(At))
                return At;
    }
    return -1;
}

void CheckSearch(const std::string& Text, std::uint16_t BufSize, std::int64_t From,
                 const std::string& S, TFindOptions O, std::int64_t CancelAt) {
    TTextStream Stream(nullptr);
    auto Source = std::make_unique<TMemoryStream>();
    Source->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
    Stream.SetBufSize(BufSize);
    Stream.SetSourceStream(std::move(Source));
    const auto N = static_cast<std::int64_t>(Text.size());
    const bool Down = O.Contains(frDown);
    const std::string Where =
        " (buffer " + std::to_string(BufSize) + ", from " + std::to_string(From) + ", pattern of " +
        std::to_string(S.size()) + (Down ? ", down" : ", up") +
        (O.Contains(frMatchCase) ? ", case" : "") + (O.Contains(frWholeWord) ? ", word" : "") + ")";
    // Progress: once per window, moving in the search direction, inside the text.
    std::int64_t Reports = 0, LastDone = Down ? -1 : N;
    bool Cancelled = false;
    Stream.SetOnSearchStatus([&](std::int64_t Done, bool& Cancel) {
        Expect(Done >= 0 && Done < N && (Down ? Done > LastDone : Done < LastDone),
               "progress " + std::to_string(Done) + " after " + std::to_string(LastDone) + Where);
        LastDone = Done;
        Expect(++Reports <= N, "more progress reports than bytes" + Where);
        Cancel = Cancelled = Reports == CancelAt;
    });

    std::int64_t Pos = From;
    bool Found = false;
    try {
        Found = Stream.Search(Pos, S, O);
        Expect(N == 0 || S.size() <= 256, "a pattern over 256 bytes was taken" + Where);
    } catch (const EFindStringError&) {
        Expect(N > 0 && S.size() > 256, "EFindStringError for a pattern it should take" + Where);
        return;
    }
    const std::int64_t Expected = Naive(Text, From, S, O);
    if (Cancelled) {
        Expect(!Found || Pos == Expected, "after a cancel, found " + std::to_string(Pos) +
                                              ", expected " + std::to_string(Expected) + Where);
        return;
    }
    Expect(Found == (Expected >= 0) && (!Found || Pos == Expected),
           std::string(Found ? "found " : "not found, ") + std::to_string(Pos) + ", expected " +
               std::to_string(Expected) + Where);
    if (!Found && N > 0 && !S.empty())
        Expect(Pos == (Down ? N : -1),
               "a search that found nothing stopped at " + std::to_string(Pos) + Where);
}

} // namespace
} // namespace kestrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    using namespace kestrel;
    constexpr std::size_t Header = 8;
    test::TByteChoices Pick(Data, std::min(Size, Header));
    std::string Rest(reinterpret_cast<const char*>(Data) + std::min(Size, Header),
                     Size - std::min(Size, Header));

    // The pattern: a piece of the text (so that matches exist), or the first bytes of the rest.
    const bool Piece = Pick.Below(2) == 0;
    const auto Length =
        static_cast<std::size_t>(Pick.Below(8) == 0 ? Pick.Below(300) : 1 + Pick.Below(12));
    const auto PieceAt = static_cast<std::size_t>(Pick.Below(65536));
    std::string S;
    if (Piece) {
        if (!Rest.empty()) {
            const std::size_t At = PieceAt % Rest.size();
            S = Rest.substr(At, Length);
        }
    } else {
        S = Rest.substr(0, std::min(Length, Rest.size()));
        Rest.erase(0, S.size());
    }
    const std::string& Text = Rest;
    const auto N = static_cast<std::int64_t>(Text.size());
    const auto From = static_cast<std::int64_t>(Pick.Below(static_cast<std::uint64_t>(N) + 3)) - 1;
    const auto Small = static_cast<std::uint16_t>(16 + Pick.Below(49));
    const auto CancelAt = static_cast<std::int64_t>(Pick.Below(4) == 0 ? 1 + Pick.Below(8) : 0);

    for (int Bits = 0; Bits < 8; ++Bits) {
        TFindOptions O;
        if ((Bits & 1) != 0)
            O.Include(frDown);
        if ((Bits & 2) != 0)
            O.Include(frMatchCase);
        if ((Bits & 4) != 0)
            O.Include(frWholeWord);
        for (const std::uint16_t BufSize : {Small, std::uint16_t{4096}})
            CheckSearch(Text, BufSize, From, S, O, CancelAt);
    }
    return 0;
}
