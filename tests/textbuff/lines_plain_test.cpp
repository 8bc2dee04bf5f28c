// Runs of plain display lines (ScanPlainLines) held to GetNextLine line by line: random texts
// with tabs, form feeds, lone CRs and CR LF over window edges, tiny to full windows, both fonts,
// several wrap widths and widths known not to be passed; and where a run must stop.
#include "lines_test_util.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

namespace kestrel {
namespace {

constexpr std::int64_t MaxRun = 100;

// Lines of words, spaces and tabs of every length, LF or CR LF ends; Odd puts in now and then a
// form feed or a lone CR, so that runs are long but end often.
std::string PlainishText(std::mt19937& Rng, std::size_t Length, bool Odd) {
    static const char* const Words[] = {"a", "of", "line", "window", "x-ray", "the", "storage"};
    std::string T;
    while (T.size() < Length) {
        const std::size_t End = T.size() + Rng() % (Rng() % 10 == 0 ? 600 : 90);
        while (T.size() < End) {
            const unsigned R = Rng() % 400;
            if (R < 20)
                T += '\t';
            else if (Odd && R < 22)
                T += '\f';
            else if (Odd && R < 23)
                T += '\r';
            T += Words[Rng() % 7];
            T += ' ';
        }
        T += Rng() % 3 == 0 ? "\r\n" : "\n";
    }
    T.resize(Length);
    return T;
}

TEST(PlainLinesTest, RunsGiveExactlyWhatGetNextLineGives) {
    std::mt19937 Rng(1789);
    std::int64_t Stored = 0;
    std::int64_t Unmeasured = 0;
    for (int Round = 0; Round < 36; ++Round) {
        const std::string Text = PlainishText(Rng, 500 + Rng() % 60000, Round % 2 == 0);
        const std::int64_t Widths[] = {0, -4, 7, 100, 333, 800, NoWrapWidth};
        const std::int64_t MaxWidth = Widths[Rng() % 7];
        const std::uint16_t Buffers[] = {static_cast<std::uint16_t>(16 + Rng() % 200),
                                         static_cast<std::uint16_t>(4096 + Rng() % 9000), 0xFFFF};
        const std::uint16_t Buf = Buffers[Rng() % 3];
        const bool Mono = Round % 4 != 1;
        test::TLayoutText T(Text, Buf, Mono);
        T.Stream.SetMaxWidth(MaxWidth);
        if (Rng() % 2 == 0) {
            T.Stream.SetTabCount(1);
            T.Stream.SetTabStop(0, 0.6f);
        }
        const std::string Trace = "round " + std::to_string(Round) + " width " +
                                  std::to_string(MaxWidth) + " buffer " + std::to_string(Buf) +
                                  (Mono ? " mono" : " proportional");
        const std::vector<test::TLine> Ref = test::AllLines(T.Stream);
        ASSERT_FALSE(Ref.empty()) << Trace;
        std::array<TLineSpan, MaxRun> Run;
        // From every line start, in an order that leaves the window anywhere.
        std::vector<std::size_t> Order(Ref.size());
        for (std::size_t I = 0; I < Order.size(); ++I)
            Order[I] = I;
        std::shuffle(Order.begin(), Order.end(), Rng);
        for (const std::size_t I : Order) {
            const std::int64_t Max = 1 + static_cast<std::int64_t>(Rng() % MaxRun);
            // Lines certainly no wider than Known go unmeasured.
            // Just below the first line's own width, most of all.
            const std::int64_t Knowns[] = {-1,
                                           0,
                                           static_cast<std::int64_t>(Rng() % 4000),
                                           NoWrapWidth,
                                           Ref[I].Width,
                                           Ref[I].Width - 1 - static_cast<std::int64_t>(Rng() % 40),
                                           Ref[I].Width - 1 -
                                               static_cast<std::int64_t>(Rng() % 40)};
            const std::int64_t Known = Knowns[Rng() % 7];
            const std::int64_t N = T.Stream.ScanPlainLines(Ref[I].Start, Max, Run.data(), Known);
            ASSERT_GE(N, 0) << Trace;
            ASSERT_LE(N, Max) << Trace;
            Stored += N;
            for (std::int64_t J = 0; J < N; ++J) {
                const std::size_t K = I + static_cast<std::size_t>(J);
                ASSERT_LT(K + 1, Ref.size()) << Trace << " line " << I << " +" << J;
                const TLineSpan& L = Run[static_cast<std::size_t>(J)];
                ASSERT_TRUE(Ref[K].Ended) << Trace << " line " << K;
                EXPECT_EQ(L.Next, Ref[K + 1].Start) << Trace << " line " << K;
                EXPECT_EQ(L.Count, Ref[K].Count) << Trace << " line " << K;
                if (L.Width < 0) {
                    EXPECT_GE(Known, 0) << Trace << " line " << K;
                    EXPECT_LE(Ref[K].Width, Known) << Trace << " line " << K;
                    ++Unmeasured;
                } else {
                    EXPECT_EQ(L.Width, Ref[K].Width) << Trace << " line " << K;
                }
                if (J + 1 < N) { // the run says no form feed begins the next line
                    EXPECT_NE(Text[static_cast<std::size_t>(L.Next)], '\f') << Trace;
                }
            }
            if (::testing::Test::HasFailure())
                FAIL() << Trace << ", run from line " << I;
        }
        if (!Mono || MaxWidth < 0) {
            // Not the uniform widths, or nothing fits: every line is left to GetNextLine.
            std::int64_t Pos = 0;
            EXPECT_EQ(T.Stream.ScanPlainLines(Pos, MaxRun, Run.data()), 0) << Trace;
        }
    }
    EXPECT_GT(Stored, 10000) << "runs were found at all";
    EXPECT_GT(Unmeasured, 1000) << "narrow lines went unmeasured";
    EXPECT_GT(Stored - Unmeasured, 1000) << "and the others were measured";
}

TEST(PlainLinesTest, ARunEndsBeforeTheLineThatNeedsTheGeneralScan) {
    struct TCase {
        const char* Text;
        std::int64_t MaxWidth; // in characters of the monospaced font
        std::int64_t Lines;
    };
    const TCase Cases[] = {
        {"ab\ncd\tx\nef\n", 0, 3},     // a tab is measured
        {"ab\ncd\tx\nef\n", 5, 1},     // a tab that passes the wrap width
        {"ab\r\n\fcd\nef\n", 0, 1},    // a form feed begins the second line
        {"ab\ncd\fx\nef\n", 0, 1},     // a form feed inside a line ends it
        {"ab\rc\nef\n", 0, 0},         // a lone CR
        {"ab\r\ncd\r\nef", 0, 2},      // the unterminated last line
        {"abc\nabcdefgh\nab\n", 5, 1}, // a line wider than the wrap width
        {"abcde\nabcdef\n", 5, 1},     // exactly as wide fits
        {"\n\n\r\n\n", 0, 4},          // empty lines
    };
    for (const TCase& C : Cases) {
        test::TLayoutText T(C.Text);
        const std::int64_t Unit = T.Stream.GetActualCharWidth();
        T.Stream.SetMaxWidth(C.MaxWidth * Unit);
        std::array<TLineSpan, MaxRun> Run;
        EXPECT_EQ(T.Stream.ScanPlainLines(0, MaxRun, Run.data()), C.Lines) << C.Text;
        EXPECT_EQ(T.Stream.ScanPlainLines(0, 1, Run.data()), std::min<std::int64_t>(1, C.Lines))
            << C.Text;
    }
}

} // namespace
} // namespace kestrel
