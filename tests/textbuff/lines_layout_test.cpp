// Display lines of a text stream across buffer windows: line ends, form feeds, wrapping, tabs,
// positions under a pixel, distances and paragraph starts, with tiny windows held to a whole
// window on random texts, and the lines and counts of every route held to the byte-by-byte scan.
#include "textbuff/lines_buffer.h"

#include "textbuff/edit_stream.h"

#include "lines_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

using test::AllLines;
using test::TLayoutText;
using test::TLine;

std::vector<TLine> Lines(const std::string& Text, std::int64_t MaxWidth = 0,
                         std::uint16_t BufSize = 4096, bool Mono = true) {
    TLayoutText T(Text, BufSize, Mono);
    T.Stream.SetMaxWidth(MaxWidth);
    return AllLines(T.Stream);
}

TEST(LinesLayoutTest, LineBreaksAndTheLastLine) {
    // a CR LF b: the first line has one character, the next starts at b, unterminated.
    EXPECT_EQ(Lines("a\r\nb"), (std::vector<TLine>{{0, 1, 8, true}, {3, 1, 8, false}}));
    // LF only, CR only (a lone CR is a character), mixed.
    EXPECT_EQ(Lines("ab\n\ncd\n"),
              (std::vector<TLine>{{0, 2, 16, true}, {3, 0, 0, true}, {4, 2, 16, true}}));
    EXPECT_EQ(Lines("a\rb"), (std::vector<TLine>{{0, 3, 24, false}}));
    EXPECT_EQ(Lines("a\r\n\rb\n\r\n"),
              (std::vector<TLine>{{0, 1, 8, true}, {3, 2, 16, true}, {6, 0, 0, true}}));

    TLayoutText T("xy");
    std::int64_t Pos = 2, Width = -1, Count = -1;
    EXPECT_FALSE(T.Stream.GetNextLine(Pos, Width, Count)); // at the end: nothing
    EXPECT_EQ(Count, 0);
    EXPECT_EQ(Width, 0);
}

TEST(LinesLayoutTest, FormFeedLines) {
    EXPECT_EQ(Lines("\f\f"), (std::vector<TLine>{{0, 0, 0, true}, {1, 0, 0, true}}));
    EXPECT_EQ(Lines("ab\fcd"),
              (std::vector<TLine>{{0, 2, 16, true}, {2, 0, 0, true}, {3, 2, 16, false}}));
    // A form feed followed by CR LF: the form-feed line, then an empty line.
    EXPECT_EQ(Lines("\f\r\nx"),
              (std::vector<TLine>{{0, 0, 0, true}, {1, 0, 0, true}, {3, 1, 8, false}}));
    // A form feed right after a window's worth of characters: it still gets its own line.
    const std::string Long(20, 'a');
    for (std::uint16_t Buf : {16, 17, 20, 21})
        EXPECT_EQ(Lines(Long + "\fb", 0, Buf),
                  (std::vector<TLine>{{0, 20, 160, true}, {20, 0, 0, true}, {21, 1, 8, false}}))
            << Buf;
}

TEST(LinesLayoutTest, CrLfSplitAcrossWindows) {
    // With 16-byte windows every position of the CR LF pair meets a window edge somewhere.
    for (int Before = 10; Before < 40; ++Before) {
        const std::string Text = std::string(static_cast<std::size_t>(Before), 'a') + "\r\nb";
        const auto L = Lines(Text, 0, 16);
        ASSERT_EQ(L.size(), 2u) << Before;
        EXPECT_EQ(L[0], (TLine{0, Before, 8 * Before, true})) << Before;
        EXPECT_EQ(L[1].Start, Before + 2);
    }
}

TEST(LinesLayoutTest, WrappingAtBreaksAndCuts) {
    // aaa bbb where five characters fit: "aaa " and "bbb".
    EXPECT_EQ(Lines("aaa bbb", 40), (std::vector<TLine>{{0, 4, 32, true}, {4, 3, 24, false}}));
    // A word longer than the line is cut after the last character that fits.
    EXPECT_EQ(Lines("abcdefgh", 24),
              (std::vector<TLine>{{0, 3, 24, true}, {3, 3, 24, true}, {6, 2, 16, false}}));
    // Trailing spaces pass the width.
    EXPECT_EQ(Lines("aaa     b\n", 32), (std::vector<TLine>{{0, 8, 64, true}, {8, 1, 8, true}}));
    // Across tiny windows: breaks in an earlier window are used, cuts fall where they would.
    const std::string Text = "alpha beta-gamma deltaepsilonzetaetathetaiotakappa lambda\nmu nu";
    const auto Whole = Lines(Text, 100, 4096);
    for (std::uint16_t Buf : {16, 17, 19, 31})
        EXPECT_EQ(Lines(Text, 100, Buf), Whole) << Buf;
    EXPECT_EQ(Whole.front(), (TLine{0, 11, 88, true})); // "alpha beta-"
}

TEST(LinesLayoutTest, EveryLineTakesACharacterEvenWhenNoneFits) {
    // A wrap width below the width of one character: one character a line, and the line break
    // after the last one ends that line.
    EXPECT_EQ(
        Lines("abc\nd", 3),
        (std::vector<TLine>{{0, 1, 8, true}, {1, 1, 8, true}, {2, 1, 8, true}, {4, 1, 8, false}}));
    EXPECT_EQ(Lines("a\r\n", 0 + 5), (std::vector<TLine>{{0, 1, 8, true}}));
    // Negative widths (a wrap width reduced below 0) behave the same.
    EXPECT_EQ(Lines("ab", -20).size(), 2u);
    // A tab that starts a line and does not fit is taken with its advance.
    TLayoutText T("\tx");
    T.Stream.SetMaxWidth(4);
    std::int64_t Pos = 0, W, C;
    EXPECT_TRUE(T.Stream.GetNextLine(Pos, W, C));
    EXPECT_EQ(Pos, 1);
    EXPECT_EQ(W, 64); // the default tab: eight average widths
}

TEST(LinesLayoutTest, TabStopsFromTheLineStart) {
    TLayoutText T("a\tb\tc\td\n\tx", 16);
    T.Stream.SetTabCount(2);
    T.Stream.SetTabStop(0, 0.25f); // 24 pixels at 96 dpi
    T.Stream.SetTabStop(1, 0.5f);  // 48
    const auto L = AllLines(T.Stream);
    ASSERT_EQ(L.size(), 2u);
    EXPECT_EQ(L[0].Width, 48 + 8 + 64 - 56 + 8); // 24, 48, then the next multiple of 64
    EXPECT_EQ(L[1].Width, 24 + 8);
    // A tab at exactly a stop goes on to the next one.
    TLayoutText U("aaa\tb", 16);
    U.Stream.SetTabCount(2);
    U.Stream.SetTabStop(0, 0.25f);
    U.Stream.SetTabStop(1, 0.5f);
    EXPECT_EQ(AllLines(U.Stream)[0].Width, 48 + 8);
}

TEST(LinesLayoutTest, AMeasuredLongLineGivesPlacesAlongItAsAScanFromItsStartDoes) {
    std::mt19937 Rng(7);
    const std::string Alphabet = "abcdefghij      --\t\t\x01\r";
    std::string Line(300000, 'x');
    for (char& C : Line)
        C = Alphabet[Rng() % Alphabet.size()];
    const std::string Text = "ab\n" + Line + "\nxyz";
    for (const bool Mono : {true, false}) {
        TLayoutText T(Text, 64, Mono); // windows of 48 bytes: thousands of marks, thinned
        T.Stream.SetLineMarkSpacingForTest(1);
        std::vector<std::int64_t> Xs, Tos;
        for (int I = 0; I < 200; ++I) {
            Xs.push_back(static_cast<std::int64_t>(Rng() % 4000000));
            Tos.push_back(3 + static_cast<std::int64_t>(Rng() % 300010));
        }
        // Before the line is measured, from its start; then from its marks.
        const auto Places = [&] {
            std::vector<std::int64_t> R;
            for (const std::int64_t X : Xs) {
                std::int64_t Pos = 3, W = 0;
                T.Stream.GetCharAt(Pos, X, W);
                R.insert(R.end(), {Pos, W});
            }
            for (const std::int64_t To : Tos)
                R.push_back(T.Stream.GetDistanceBetween(3, To));
            return R;
        };
        const std::vector<std::int64_t> Scanned = Places();
        std::int64_t Pos = 3, W = 0, Count = 0;
        T.Stream.GetNextLine(Pos, W, Count); // kept, with its marks
        ASSERT_EQ(Pos, 3 + 300001);
        const std::vector<std::int64_t> Marked = Places();
        for (std::size_t I = 0; I < Marked.size(); ++I)
            ASSERT_EQ(Marked[I], Scanned[I]) << "mono " << Mono << " at " << I;
    }
}

TEST(LinesLayoutTest, CharAtAndDistanceAcrossWindows) {
    const std::string Text = std::string(30, 'a') + "\tbc\r\nxyz";
    TLayoutText T(Text, 16);
    std::int64_t Pos = 0, W = -1;
    EXPECT_TRUE(T.Stream.GetCharAt(Pos, 0, W));
    EXPECT_EQ(Pos, 0);
    EXPECT_EQ(W, 0);
    EXPECT_TRUE(T.Stream.GetCharAt(Pos, 100, W)); // 12 characters of 8
    EXPECT_EQ(Pos, 12);
    EXPECT_EQ(W, 96);
    Pos = 0;
    EXPECT_TRUE(T.Stream.GetCharAt(Pos, 247, W)); // 30 a = 240; the tab reaches 256
    EXPECT_EQ(Pos, 30);
    Pos = 12; // on from where the first call stopped: the tab keeps its stop
    EXPECT_TRUE(T.Stream.GetCharAt(Pos, 96, 260, W));
    EXPECT_EQ(Pos, 31);
    EXPECT_EQ(W, 256);
    Pos = 0;
    EXPECT_TRUE(T.Stream.GetCharAt(Pos, 100000, W)); // stops at the line break
    EXPECT_EQ(Pos, 33);
    EXPECT_EQ(W, 256 + 16);
    Pos = 35;
    EXPECT_TRUE(T.Stream.GetCharAt(Pos, 1000, W));
    EXPECT_EQ(Pos, 38);
    Pos = 38;
    EXPECT_FALSE(T.Stream.GetCharAt(Pos, 10, W));

    EXPECT_EQ(T.Stream.GetDistanceBetween(0, 30), 240);
    EXPECT_EQ(T.Stream.GetDistanceBetween(0, 31), 256);
    EXPECT_EQ(T.Stream.GetDistanceBetween(28, 31), 64);   // the tab counts from From
    EXPECT_EQ(T.Stream.GetDistanceBetween(0, 1000), 272); // stops at the line break
    EXPECT_EQ(T.Stream.GetDistanceBetween(0, 34), 280);   // a CR ending the range counts
    EXPECT_EQ(T.Stream.GetDistanceBetween(35, 1000), 24);
    EXPECT_EQ(T.Stream.GetDistanceBetween(10, 5), 0);
}

TEST(LinesLayoutTest, StartOfParagraph) {
    TLayoutText T("x\nab");
    auto Start = [&](std::int64_t Pos) {
        T.Stream.GetStartOfParagraph(Pos);
        return Pos;
    };
    EXPECT_EQ(Start(2), 0); // at a paragraph start: the previous paragraph
    EXPECT_EQ(Start(3), 2);
    EXPECT_EQ(Start(4), 2);
    EXPECT_EQ(Start(0), 0);
    EXPECT_EQ(Start(-3), -3);
    EXPECT_EQ(Start(99), 2);
}

// Paragraph start by a plain walk back: after the last LF or form feed before the character
// before Pos, passing over a line break that ends just before Pos.
std::int64_t NaiveParagraphStart(const std::string& Text, std::int64_t Pos) {
    if (Pos <= 0)
        return Pos;
    Pos = std::min<std::int64_t>(Pos, static_cast<std::int64_t>(Text.size()));
    const auto At = [&](std::int64_t I) { return Text[static_cast<std::size_t>(I)]; };
    // At a paragraph start the paragraph before it is meant, also the empty one a line break at
    // offset 0 makes.
    if (Pos - 1 >= 0 && Pos - 1 < static_cast<std::int64_t>(Text.size()) &&
        (At(Pos - 1) == '\n' || At(Pos - 1) == '\f'))
        Pos = Pos >= 3 && At(Pos - 2) == '\r' ? Pos - 3 : Pos - 2;
    for (std::int64_t I = Pos - 1; I >= 0; --I)
        if (At(I) == '\n' || At(I) == '\f')
            return I + 1;
    return 0;
}

void SetTabStops(TLinesBuffer& B, const std::vector<float>& Inches) {
    B.SetTabCount(static_cast<std::int64_t>(Inches.size()));
    for (std::size_t I = 0; I < Inches.size(); ++I)
        B.SetTabStop(static_cast<std::int64_t>(I), Inches[I]);
}

std::string RandomText(std::mt19937& Rng, int Length, const std::string& Alphabet) {
    std::string T;
    for (int I = 0; I < Length; ++I)
        T += Alphabet[Rng() % Alphabet.size()];
    return T;
}

TEST(LinesLayoutTest, TinyWindowsGiveTheLinesOfOneWholeWindow) {
    std::mt19937 Rng(4242);
    const std::string Alphabet = "aaaaaaabbbbccdi     --\t\r\n\n\f\xe9mm";
    for (int Round = 0; Round < 300; ++Round) {
        const std::string Text = RandomText(Rng, 1 + static_cast<int>(Rng() % 400), Alphabet);
        const std::int64_t Widths[] = {0, 5, 40, 100, 163, 400, NoWrapWidth};
        const std::int64_t MaxWidth = Widths[Rng() % 7];
        const bool Mono = Rng() % 2 == 0;
        const bool Tabs = Rng() % 2 == 0;
        auto Layout = [&](std::uint16_t Buf) {
            TLayoutText T(Text, Buf, Mono);
            T.Stream.SetMaxWidth(MaxWidth);
            if (Tabs)
                SetTabStops(T.Stream, {0.2f, 0.9f, 1.3f});
            return AllLines(T.Stream);
        };
        const auto Whole = Layout(65535);
        const auto Tiny = Layout(static_cast<std::uint16_t>(16 + Rng() % 49));
        ASSERT_EQ(Tiny, Whole) << "round " << Round << " width " << MaxWidth;
        // The lines tile the text.
        std::int64_t Next = 0;
        for (const TLine& L : Whole) {
            ASSERT_EQ(L.Start, Next);
            ASSERT_GE(L.Count,
                      L.Start < static_cast<std::int64_t>(Text.size()) &&
                              Text[static_cast<std::size_t>(L.Start)] != '\n' &&
                              Text[static_cast<std::size_t>(L.Start)] != '\f' &&
                              Text.compare(static_cast<std::size_t>(L.Start), 2, "\r\n") != 0
                          ? 1
                          : 0);
            Next = L.Start + L.Count;
            if (Next < static_cast<std::int64_t>(Text.size()) &&
                Text[static_cast<std::size_t>(Next)] == '\r' &&
                Text.compare(static_cast<std::size_t>(Next), 2, "\r\n") == 0)
                Next += 2;
            else if (Next < static_cast<std::int64_t>(Text.size()) &&
                     (Text[static_cast<std::size_t>(Next)] == '\n' ||
                      (Text[static_cast<std::size_t>(Next)] == '\f' && L.Count == 0)))
                Next += 1;
        }
        ASSERT_EQ(Next, static_cast<std::int64_t>(Text.size())) << "round " << Round;

        // Paragraph starts from random positions.
        TLayoutText T(Text, static_cast<std::uint16_t>(16 + Rng() % 49), Mono);
        for (int K = 0; K < 10; ++K) {
            const std::int64_t From = static_cast<std::int64_t>(Rng() % (Text.size() + 1));
            std::int64_t P = From;
            T.Stream.GetStartOfParagraph(P);
            ASSERT_EQ(P, NaiveParagraphStart(Text, From)) << "round " << Round << " from " << From;
        }
    }
}

// The display lines of the whole text by the byte-by-byte scan over it as one range, with the
// buffer's metrics and wrap width, and the rule that a line takes its first character even when
// that does not fit: what every route of GetNextLine and CountLines must give.
std::vector<TLine> ReferenceLines(TLinesBuffer& B, const std::string& Text) {
    EXPECT_TRUE(B.RequiredState({lbCanvasAvailable, lbFontDataAvailable, lbTabDataAvailable}));
    std::vector<std::int64_t> Tabs;
    for (int I = 0; I < B.GetTabCount(); ++I)
        Tabs.push_back(B.GetActualTabPosition(I));
    const TScanMetrics M{B.GetActualWidths(), 0, B.GetActualDefaultTab(),
                         static_cast<std::int64_t>(Tabs.size()), Tabs.data()};
    const auto* Buffer = reinterpret_cast<const std::uint8_t*>(Text.data());
    const int End = static_cast<int>(Text.size());
    std::vector<TLine> Lines;
    for (int Pos = 0; Pos < End;) {
        auto P = static_cast<std::uint16_t>(Pos);
        std::uint16_t K = 0, BreakCount = 0;
        std::int64_t W = 0, BreakWidth = 0;
        bool Overflow = false;
        TLine L;
        L.Start = Pos;
        L.Ended =
            ScanForEolBytewise(Buffer, P, static_cast<std::uint16_t>(End - 1), B.GetMaxWidth(),
                               true, K, W, M, BreakWidth, BreakCount, Overflow);
        L.Count = K;
        L.Width = W;
        Pos = P;
        if (L.Ended && Overflow && K == 0) {
            L.Count = 1;
            std::int64_t FirstStop = std::max<std::int64_t>(1, M.DefaultTabWidth);
            for (const std::int64_t Stop : Tabs)
                if (Stop > 0) {
                    FirstStop = Stop;
                    break;
                }
            L.Width = Buffer[Pos] == '\t' ? FirstStop : M.CharWidths[Buffer[Pos]];
            Pos += 1;
            if (Pos < End && Buffer[Pos] == '\n')
                Pos += 1;
            else if (Pos + 1 < End && Buffer[Pos] == '\r' && Buffer[Pos + 1] == '\n')
                Pos += 2;
            else if (Pos >= End)
                L.Ended = false;
        }
        Lines.push_back(L);
        if (!L.Ended)
            break;
    }
    return Lines;
}

TEST(LinesLayoutTest, LinesAndCountsOfEveryRouteMatchTheBytewiseScan) {
    std::mt19937 Rng(1964);
    const std::string Alphabets[] = {"aaaaaaabbbbccdi     --\t\r\n\n\f\xe9mm",
                                     std::string(60, 'w') + "  \t-\n\r\n",
                                     std::string(30, 'w') + " \t\n\r\n\x01"};
    for (int Round = 0; Round < 200; ++Round) {
        const std::string Text =
            RandomText(Rng, 1 + static_cast<int>(Rng() % 3000), Alphabets[Rng() % 3]);
        const std::int64_t Widths[] = {0, 5, 40, 100, 163, 400, 801, NoWrapWidth};
        const std::int64_t MaxWidth = Widths[Rng() % 8];
        const bool Mono = Rng() % 3 != 0;
        const bool Tabs = Rng() % 2 == 0;
        for (const std::uint16_t Buf :
             {std::uint16_t{65535}, static_cast<std::uint16_t>(16 + Rng() % 49),
              static_cast<std::uint16_t>(200 + Rng() % 800)}) {
            TLayoutText T(Text, Buf, Mono);
            T.Stream.SetMaxWidth(MaxWidth);
            if (Tabs)
                SetTabStops(T.Stream, {0.3f, 1.1f});
            const auto Expected = ReferenceLines(T.Stream, Text);
            const std::string Trace = "round " + std::to_string(Round) + " width " +
                                      std::to_string(MaxWidth) + " buffer " + std::to_string(Buf);
            ASSERT_EQ(AllLines(T.Stream), Expected) << Trace;
            ASSERT_EQ(AllLines(T.Stream, 1000000, [&] { return 1 + Rng() % 300; }), Expected)
                << Trace << ", measured in parts";
            // Counted in chunks: each chunk ends where the lines say.
            std::int64_t Pos = 0, Total = 0;
            while (Total < static_cast<std::int64_t>(Expected.size())) {
                const std::int64_t Chunk = 1 + static_cast<std::int64_t>(Rng() % 30);
                const std::int64_t Counted = T.Stream.CountLines(Pos, Chunk);
                ASSERT_EQ(Counted, std::min<std::int64_t>(
                                       Chunk, static_cast<std::int64_t>(Expected.size()) - Total))
                    << Trace;
                Total += Counted;
                ASSERT_EQ(Pos, Total < static_cast<std::int64_t>(Expected.size())
                                   ? Expected[static_cast<std::size_t>(Total)].Start
                                   : static_cast<std::int64_t>(Text.size()))
                    << Trace;
            }
            ASSERT_EQ(T.Stream.CountLines(Pos, 5), 0) << "nothing after the end";
        }
    }
}

// A long line is measured once and kept while the layout stands: an edit, an overwritten byte,
// an undo, another wrap width or another text of the same size gives its lines anew.
TEST(LinesLayoutTest, KeptLongLinesFollowEditsAndLayouts) {
    headless::THeadlessGraphicsScope Graphics;
    TCanvas Canvas;
    Canvas.SetHandle(Graphics.Graphics().GetScreenDC());
    test::UseMonoFont(Canvas.GetFont());
    TEditStream S(nullptr);
    std::mt19937 Rng(7);
    const std::string Opened = RandomText(Rng, 700000, "abc de-f\t") + "\nend\n";
    std::string Text = Opened;
    S.SetSourceStream(test::MemoryStreamOf(Text));
    S.SetCanvas(&Canvas);
    auto Check = [&](const char* What) {
        // A new stream over the same text measures every line afresh.
        TLayoutText Fresh(Text, 0xFFFF);
        Fresh.Stream.SetMaxWidth(S.GetMaxWidth());
        const auto Expected = AllLines(Fresh.Stream);
        ASSERT_GT(std::max_element(Expected.begin(), Expected.end(),
                                   [](const TLine& A, const TLine& B) { return A.Count < B.Count; })
                      ->Count,
                  50000)
            << What;
        ASSERT_EQ(AllLines(S), Expected) << What;
        ASSERT_EQ(AllLines(S), Expected) << What << ", again from the kept lines";
    };
    Check("as opened");
    S.Insert("\n", 300000, 1);
    Text.insert(300000, "\n");
    Check("a line break inserted");
    S.ReplaceChar(100000, '\n');
    Text[100000] = '\n';
    Check("a byte overwritten");
    S.Undo();
    Text = Opened;
    Text.insert(300000, "\n");
    Check("undone");
    S.SetMaxWidth(800000);
    Check("wrapped");
    std::reverse(Text.begin(), Text.end());
    S.SetSourceStream(test::MemoryStreamOf(Text));
    Check("another text");
    S.SetCanvas(nullptr);
}

TEST(LinesLayoutTest, PageBreaksAndStrings) {
    TLayoutText T("ab\fcd", 16);
    EXPECT_TRUE(T.Stream.AtPageBreak(2));
    EXPECT_FALSE(T.Stream.AtPageBreak(1));
    EXPECT_FALSE(T.Stream.AtPageBreak(5));
    EXPECT_FALSE(T.Stream.AtPageBreak(-1));
    EXPECT_EQ(T.Stream.GetString(1, 3), "b\fc");
    EXPECT_EQ(T.Stream.GetString(3, 100), "cd");
    EXPECT_EQ(T.Stream.GetString(5, 1), "");
}

} // namespace
} // namespace kestrel
