// Fuzz target: the display lines of arbitrary bytes. GetNextLine, CountLines and ScanPlainLines
// of a text stream (a few small windows and wrap widths) and the block counts CountUniformLines
// and CountLineFeeds (every instruction set the processor runs) are held to a byte-by-byte
// reading of the line rules over the whole text. The first bytes of the input choose the
// settings, the rest is the text.
#include "host/graphics.h"
#include "host/headless/headless.h"
#include "host/streams.h"
#include "support/edit_session.h"
#include "textbuff/byte_scan.h"
#include "textbuff/line_scan.h"
#include "textbuff/text_stream.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace kestrel {
namespace {

[[noreturn]] void Fail(const std::string& What) {
    std::fprintf(stderr, "line scan differs from the reference: %s\n", What.c_str());
    std::abort();
}

void Expect(bool Holds, const std::string& What) {
    if (!Holds)
        Fail(What);
}

/// One display line of the reference.
struct TRefLine {
    std::int64_t Start = 0;
    std::int64_t Count = 0;
    std::int64_t Width = 0;
    bool Ended = false;  // a line break, form feed or wrap ended it before the end of the text
    bool Forced = false; // its first character did not fit and was taken all the same
    bool SawEnd = false; // deciding its end took a look at the text's last byte
};

/// The display lines of Text, byte by byte from the rules: a line ends at LF or CR LF (not
/// counted), before a form feed or just after one that starts it; a tab advances to the first
/// stop past the width, beyond the stops to the next multiple of the default tab; when a byte
/// other than a space or hyphen takes the width beyond MaxWidth (not 0), the line ends after the
/// last space or hyphen, else before that byte, and a line always takes its first character.
std::vector<TRefLine> ReferenceLines(const std::string& Text, const TScanMetrics& M,
                                     std::int64_t MaxWidth) {
    const auto N = static_cast<std::int64_t>(Text.size());
    const std::int64_t DefaultTab = std::max<std::int64_t>(1, M.DefaultTabWidth);
    auto Byte = [&](std::int64_t I) { return static_cast<std::uint8_t>(Text[std::size_t(I)]); };
    // The line break at I, if any: its length.
    auto BreakAt = [&](std::int64_t I) -> std::int64_t {
        if (I < N && Byte(I) == '\n')
            return 1;
        if (I + 1 < N && Byte(I) == '\r' && Byte(I + 1) == '\n')
            return 2;
        return 0;
    };
    std::vector<TRefLine> Lines;
    for (std::int64_t Pos = 0; Pos < N;) {
        TRefLine L;
        L.Start = Pos;
        std::int64_t I = Pos, Stop = 0;
        std::int64_t BreakNext = -1, BreakWidth = 0, BreakCount = 0;
        for (; I < N; ++I) {
            const std::uint8_t B = Byte(I);
            if (const std::int64_t Eol = BreakAt(I); Eol > 0) {
                I += Eol;
                L.Ended = true;
                break;
            }
            if (B == '\f') {
                I += L.Count == 0 ? 1 : 0;
                L.Ended = true;
                break;
            }
            std::int64_t Advance = M.CharWidths[B];
            if (B == '\t') {
                while (Stop < M.TabCount && M.TabPositions[Stop] <= L.Width)
                    ++Stop;
                Advance = Stop < M.TabCount ? M.TabPositions[Stop++] - L.Width
                                            : (L.Width / DefaultTab + 1) * DefaultTab - L.Width;
            }
            L.Width += Advance;
            ++L.Count;
            if (B == ' ' || B == '-') {
                BreakNext = I + 1;
                BreakWidth = L.Width;
                BreakCount = L.Count;
                continue; // spaces and hyphens may pass the width
            }
            if (MaxWidth == 0 || L.Width <= MaxWidth)
                continue;
            L.Ended = true;
            L.SawEnd = I == N - 1;
            if (BreakNext >= 0) {
                I = BreakNext;
                L.Width = BreakWidth;
                L.Count = BreakCount;
            } else if (L.Count == 1) {
                // The first character takes the line even when it does not fit, with the line
                // break that may follow it.
                L.Forced = true;
                const std::int64_t Eol = BreakAt(++I);
                I += Eol;
                L.Ended = Eol > 0 || I < N;
            } else {
                L.Width -= Advance;
                --L.Count;
            }
            break;
        }
        if (I >= N && !L.Ended)
            L.SawEnd = true;
        Pos = std::min(I, N);
        Lines.push_back(L);
        if (!L.Ended)
            break;
    }
    return Lines;
}

std::string Describe(const TRefLine& L) {
    return "{start " + std::to_string(L.Start) + " count " + std::to_string(L.Count) + " width " +
           std::to_string(L.Width) + (L.Ended ? " ended}" : "}");
}

/// The start of the line after line K of Lines (the text's end after the last).
std::int64_t NextStart(const std::vector<TRefLine>& Lines, std::size_t K, std::int64_t Size) {
    return K + 1 < Lines.size() ? Lines[K + 1].Start : Size;
}

/// A text stream over Text with a canvas on the headless screen.
class TLayout {
public:
    TLayout(const std::string& Text, std::uint16_t BufSize, bool Mono,
            const std::vector<float>& TabInches, std::int64_t MaxWidth)
        : Stream(nullptr) {
        Canvas.SetHandle(Graphics.Graphics().GetScreenDC());
        Canvas.GetFont()->SetName(Mono ? "Courier New" : "Arial");
        Canvas.GetFont()->SetHeight(-13);
        auto Source = std::make_unique<TMemoryStream>();
        Source->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
        Stream.SetBufSize(BufSize);
        Stream.SetSourceStream(std::move(Source));
        Stream.SetCanvas(&Canvas);
        Stream.SetMaxWidth(MaxWidth);
        Stream.SetTabCount(static_cast<std::int64_t>(TabInches.size()));
        for (std::size_t I = 0; I < TabInches.size(); ++I)
            Stream.SetTabStop(static_cast<std::int64_t>(I), TabInches[I]);
        Expect(Stream.RequiredState({lbCanvasAvailable, lbFontDataAvailable, lbTabDataAvailable}),
               "no font information on the headless screen");
        for (std::int64_t I = 0; I < Stream.GetTabCount(); ++I)
            Tabs.push_back(Stream.GetActualTabPosition(static_cast<int>(I)));
    }
    ~TLayout() { Stream.SetCanvas(nullptr); }
    TLayout(const TLayout&) = delete;
    TLayout& operator=(const TLayout&) = delete;

    TScanMetrics Metrics() const {
        return TScanMetrics{Stream.GetActualWidths(), 0, Stream.GetActualDefaultTab(),
                            static_cast<std::int64_t>(Tabs.size()), Tabs.data()};
    }

    headless::THeadlessGraphicsScope Graphics;
    TCanvas Canvas;
    TTextStream Stream;
    std::vector<std::int64_t> Tabs;
};

/// GetNextLine line by line, CountLines in chunks and ScanPlainLines from line starts, on one
/// stream, against the reference.
void CheckStream(const std::string& Text, std::uint16_t BufSize, bool Mono,
                 const std::vector<float>& TabInches, std::int64_t MaxWidth, std::uint64_t Seed) {
    TLayout T(Text, BufSize, Mono, TabInches, MaxWidth);
    const std::vector<TRefLine> Ref = ReferenceLines(Text, T.Metrics(), MaxWidth);
    const auto Size = static_cast<std::int64_t>(Text.size());
    const std::string Where = " (buffer " + std::to_string(BufSize) + ", width " +
                              std::to_string(MaxWidth) + (Mono ? ", mono" : ", proportional") +
                              ", " + std::to_string(TabInches.size()) + " tab stops)";

    std::int64_t Pos = 0;
    for (std::size_t K = 0; K < Ref.size(); ++K) {
        TRefLine Got;
        Got.Start = Pos;
        Got.Ended = T.Stream.GetNextLine(Pos, Got.Width, Got.Count);
        const TRefLine& L = Ref[K];
        Expect(Got.Start == L.Start && Got.Count == L.Count && Got.Width == L.Width &&
                   Got.Ended == L.Ended && Pos == NextStart(Ref, K, Size),
               "GetNextLine line " + std::to_string(K) + " " + Describe(Got) + " next " +
                   std::to_string(Pos) + ", expected " + Describe(L) + Where);
    }
    std::int64_t Width = -1, Count = -1;
    Expect(!T.Stream.GetNextLine(Pos, Width, Count) && Count == 0 && Width == 0,
           "GetNextLine after the last line" + Where);

    // CountLines in chunks of varied sizes: each stops where the lines say.
    std::uint64_t Lcg = Seed;
    auto Next = [&](std::uint64_t Bound) {
        Lcg = Lcg * 6364136223846793005ULL + 1442695040888963407ULL;
        return (Lcg >> 33) % Bound;
    };
    Pos = 0;
    for (std::int64_t Total = 0; Total < static_cast<std::int64_t>(Ref.size());) {
        const auto Chunk = static_cast<std::int64_t>(1 + Next(Next(4) == 0 ? 200 : 12));
        const std::int64_t Counted = T.Stream.CountLines(Pos, Chunk);
        const std::int64_t Expected =
            std::min<std::int64_t>(Chunk, static_cast<std::int64_t>(Ref.size()) - Total);
        Total += Counted;
        Expect(Counted == Expected &&
                   Pos == NextStart(Ref, static_cast<std::size_t>(Total) - 1, Size),
               "CountLines of " + std::to_string(Chunk) + " gave " + std::to_string(Counted) +
                   " ending at " + std::to_string(Pos) + ", expected " + std::to_string(Expected) +
                   Where);
    }
    Expect(T.Stream.CountLines(Pos, 5) == 0, "CountLines past the end" + Where);

    // The plain lines from a few line starts: each as the reference gives it.
    std::vector<TLineSpan> Spans(40);
    for (int Round = 0; Round < 4 && !Ref.empty(); ++Round) {
        const auto K = static_cast<std::size_t>(Next(Ref.size()));
        const std::int64_t Stored = T.Stream.ScanPlainLines(
            Ref[K].Start, static_cast<std::int64_t>(Spans.size()), Spans.data());
        for (std::int64_t I = 0; I < Stored; ++I) {
            const std::size_t At = K + static_cast<std::size_t>(I);
            Expect(At < Ref.size() && Ref[At].Ended &&
                       Spans[std::size_t(I)].Next == NextStart(Ref, At, Size) &&
                       Spans[std::size_t(I)].Count == Ref[At].Count &&
                       Spans[std::size_t(I)].Width == Ref[At].Width,
                   "ScanPlainLines from line " + std::to_string(K) + ", line " + std::to_string(I) +
                       Where);
        }
    }
}

/// CountUniformLines and CountLineFeeds over the whole text as one range, with uniform widths,
/// under every instruction set this processor runs.
void CheckBlockCounts(const std::string& Text, std::int64_t CharWidth,
                      const std::vector<std::int64_t>& Tabs, std::int64_t DefaultTab,
                      std::int64_t MaxWidth, std::int64_t MaxLines) {
    std::vector<std::int64_t> Widths(256, CharWidth);
    const TScanMetrics M{Widths.data(), CharWidth, DefaultTab,
                         static_cast<std::int64_t>(Tabs.size()), Tabs.data()};
    const std::vector<TRefLine> Ref = ReferenceLines(Text, M, MaxWidth);
    const auto Size = static_cast<std::int64_t>(Text.size());
    const bool EndsInCr = !Text.empty() && Text.back() == '\r';
    // The wrapped count takes the lines that end in the range, up to the first whose end turns
    // on a CR that ends the range (after a last byte, or after a first character that does not
    // fit).
    std::int64_t Countable = 0, Taken = 0;
    if (MaxWidth >= 0)
        for (const TRefLine& L : Ref) {
            if (Countable == MaxLines || !L.Ended || (EndsInCr && L.SawEnd) ||
                (EndsInCr && L.Forced && L.Start + 2 == Size))
                break;
            Taken = NextStart(Ref, static_cast<std::size_t>(Countable++), Size);
        }
    // The line-feed count: the line feeds before the first form feed.
    std::int64_t Feeds = 0, FeedsTaken = 0;
    for (std::int64_t I = 0; I < Size && Text[std::size_t(I)] != '\f' && Feeds < MaxLines; ++I)
        if (Text[std::size_t(I)] == '\n') {
            ++Feeds;
            FeedsTaken = I + 1;
        }
    const auto* Bytes = reinterpret_cast<const std::uint8_t*>(Text.data());
    const std::string Where = " (width " + std::to_string(MaxWidth) + ", char width " +
                              std::to_string(CharWidth) + ", max lines " +
                              std::to_string(MaxLines) + ", kernels ";
    for (int Isa = 0; Isa <= bytescan::SupportedBlockIsa(); ++Isa) {
        bytescan::SetBlockIsaCap(static_cast<bytescan::TBlockIsa>(Isa));
        std::int64_t GotTaken = -1;
        const std::int64_t Got = CountUniformLines(Bytes, Size, MaxWidth, M, MaxLines, GotTaken);
        Expect(Got == Countable && GotTaken == Taken,
               "CountUniformLines gave " + std::to_string(Got) + " lines taking " +
                   std::to_string(GotTaken) + ", expected " + std::to_string(Countable) +
                   " taking " + std::to_string(Taken) + Where + std::to_string(Isa) + ")");
        const std::int64_t GotFeeds = CountLineFeeds(Bytes, Size, MaxLines, GotTaken);
        Expect(GotFeeds == Feeds && GotTaken == FeedsTaken,
               "CountLineFeeds gave " + std::to_string(GotFeeds) + " taking " +
                   std::to_string(GotTaken) + ", expected " + std::to_string(Feeds) + " taking " +
                   std::to_string(FeedsTaken) + Where + std::to_string(Isa) + ")");
    }
    bytescan::SetBlockIsaCap(bytescan::biAvx512);
}

} // namespace
} // namespace kestrel

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    using namespace kestrel;
    constexpr std::size_t Header = 10;
    test::TByteChoices Pick(Data, std::min(Size, Header));
    const std::string Text(reinterpret_cast<const char*>(Data) + std::min(Size, Header),
                           Size - std::min(Size, Header));

    const bool Mono = Pick.Below(3) != 0;
    std::vector<float> TabInches;
    float Inch = 0;
    for (auto Stops = Pick.Below(4); Stops > 0; --Stops)
        TabInches.push_back(Inch += 0.05f + 0.1f * static_cast<float>(Pick.Below(16)));
    const std::int64_t Widths[] = {0, NoWrapWidth, -5, 1, 7, 8, 40, 100, 163, 400, 801};
    const std::int64_t Listed = Widths[Pick.Below(std::size(Widths))];
    const auto Raw = static_cast<std::int64_t>(Pick.Below(1024));
    const auto Small = static_cast<std::uint16_t>(16 + Pick.Below(49));
    const auto Medium = static_cast<std::uint16_t>(100 + Pick.Below(900));
    const std::uint64_t Seed = Pick.Below(256);

    for (const std::int64_t MaxWidth : {Listed, Raw})
        for (const std::uint16_t BufSize : {Small, Medium, std::uint16_t{65535}})
            CheckStream(Text, BufSize, Mono, TabInches, MaxWidth, Seed);

    // The block counts, with uniform metrics of their own.
    std::vector<std::int64_t> Tabs;
    for (const float Stop : TabInches)
        Tabs.push_back(static_cast<std::int64_t>(Stop * 40));
    const auto CharWidth = static_cast<std::int64_t>(1 + Seed % 9);
    const auto MaxLines = static_cast<std::int64_t>(Seed % 4 == 0 ? 1 + Seed % 30 : INT64_MAX);
    for (const std::int64_t MaxWidth : {Listed, Raw})
        CheckBlockCounts(Text, CharWidth, Tabs, static_cast<std::int64_t>(Seed % 70), MaxWidth,
                         MaxLines);
    return 0;
}
