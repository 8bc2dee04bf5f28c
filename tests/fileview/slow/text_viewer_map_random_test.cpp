// The line map against a reference line index: long random runs of jumps (estimated and exact, to
// display lines and to line numbers), moves, thumb drags, selections, paints and idle steps on a
// small text with form feeds, CR LF pairs, tabs and long lines (unwrapped, some of 300 KB), in
// every wrap mode, with a few resizes of the window (a re-layout when lines wrap to it) and
// rewinds of the count (as after an edit); then the count runs to its end and every number, page
// and offset must be exact. One seed reads through a tiny window with a tiny paint budget, so
// that paints leave rows to idle time.
// In debug builds the map's invariants are asserted after every step too. A failure prints its
// seed; KESTREL_SEED=<n> replays another.
#include "fileview/text_viewer_fixture.h"

#include <cstdlib>
#include <random>

namespace kestrel::test {
namespace {

struct TRandomCase {
    TWrapModes Mode;
    std::uint64_t Seed;
};

class TextViewerMapRandomTest : public TextViewerFixture,
                                public ::testing::WithParamInterface<TRandomCase> {};

std::string RandomText(std::mt19937_64& Rng, bool LongLines, bool LongFirst) {
    // A first line longer than a small paint budget: it is left open, measured in idle time.
    std::string Text = LongFirst ? std::string(200 + Rng() % 200, 'x') + "\t0\n" : "";
    const int Lines = 900;
    // A run of five lines longer than the map's reach, which hold most of the bytes: the
    // estimates are far off, and positions inside them are placed through long skips.
    const int LongFrom = LongLines ? static_cast<int>(Rng() % Lines) : Lines;
    for (int I = 0; I < Lines; ++I) {
        if (I >= LongFrom && I < LongFrom + 5) {
            Text += std::string(250000 + Rng() % 100000, static_cast<char>('a' + I % 26)) + "\n";
            continue;
        }
        const int Kind = static_cast<int>(Rng() % 50);
        if (Kind == 0) {
            Text += '\f';
            continue;
        }
        const std::size_t Len = Kind < 5 ? 0 : Kind < 10 ? 100 + Rng() % 160 : Rng() % 45;
        std::string Line = std::to_string(I) + ":";
        while (Line.size() < Len)
            Line += (Rng() % 9 == 0) ? '\t' : static_cast<char>('a' + Rng() % 26);
        if (Rng() % 6 == 0)
            Line += ' ';
        Text += Line;
        Text += (Rng() % 4 == 0) ? "\r\n" : "\n";
    }
    Text += "tail without a line break";
    return Text;
}

TEST_P(TextViewerMapRandomTest, RandomMovesAgreeWithAReferenceLineIndex) {
    const TWrapModes Mode = GetParam().Mode;
    // KESTREL_SEED=<n> replays another sequence.
    const char* SeedText = std::getenv("KESTREL_SEED");
    const std::uint64_t Seed =
        (SeedText != nullptr ? std::strtoull(SeedText, nullptr, 10) : GetParam().Seed) + Mode;
    std::mt19937_64 Rng(Seed);
    SCOPED_TRACE("seed " + std::to_string(Seed) + ", wrap mode " + std::to_string(Mode));
    V->SetLinesPerPageForTest(9);
    V->SetCheckpointSpacingForTest(23, 900);
    V->SetMaxLineLength(37);
    V->SetWrapMode(Mode);
    if (GetParam().Seed == 3) {
        // A window of a few dozen bytes and a paint that measures little: lines longer than the
        // window are scanned across windows, and rows of them wait for idle time.
        V->Stream()->SetBufSize(48);
        V->SetPaintBudgetForTest(120);
    }
    // (Unwrapped only: wrapped to the window, they would be tens of thousands of lines.)
    const std::string Text =
        RandomText(Rng, Mode == opNone && GetParam().Seed != 3, GetParam().Seed == 3);
    SetText(Text);
    std::vector<TRefLine> Ref = ReferenceLines();
    auto N = static_cast<std::int64_t>(Ref.size());
    const auto Size = static_cast<std::int64_t>(Text.size());
    ASSERT_GT(N, 900);
    std::int64_t SelA = 0;
    std::int64_t SelB = 0;
    auto IsBreak = [&](std::int64_t I) {
        return Ref[static_cast<std::size_t>(I)].Start < Size &&
               Text[static_cast<std::size_t>(Ref[static_cast<std::size_t>(I)].Start)] == '\f';
    };
    // The page of each line: one more at each form-feed line and every 9 lines after the last
    // one (after line 0 before the first).
    auto PagesOf = [&] {
        std::vector<std::int64_t> P(static_cast<std::size_t>(N));
        std::int64_t Hard = 0;
        for (std::int64_t I = 0; I < N; ++I) {
            const bool Boundary = IsBreak(I) || (I > Hard && (I - Hard) % 9 == 0);
            if (IsBreak(I))
                Hard = I;
            P[static_cast<std::size_t>(I)] =
                (I > 0 ? P[static_cast<std::size_t>(I - 1)] : 1) + (Boundary ? 1 : 0);
        }
        return P;
    };
    std::vector<std::int64_t> RefPages = PagesOf();
    // Resizes and rewinds draw from a generator of their own, so that the moves stay the seed's.
    std::mt19937_64 ExtraRng(Seed * 31 + 7);
    int Pended = 0; // paints that left rows to idle time
    for (int Step = 0; Step < 1500; ++Step) {
        if (Step % 100 == 50) {
            // A rewind as after an edit, with every number and page exact first (a full count
            // passes every anchor), so that the count resumes from an anchor where it can.
            V->ReEstimateFrom(0);
            RunIdle();
            V->ReEstimateFrom(
                static_cast<std::int64_t>(ExtraRng() % static_cast<std::uint64_t>(Size)));
        }
        if (Step % 400 == 399) {
            V->SetBounds(10, 10, 250 + static_cast<int>(ExtraRng() % 200), 200);
            Pump();
            Ref = ReferenceLines();
            N = static_cast<std::int64_t>(Ref.size());
            RefPages = PagesOf();
            V->CheckMapInvariants();
            ExpectMapConsistent(Ref, "after a resize");
        }
        const int Op = static_cast<int>(Rng() % 14);
        const std::int64_t Line =
            static_cast<std::int64_t>(Rng() % static_cast<std::uint64_t>(N + 20));
        const std::int64_t Offset =
            static_cast<std::int64_t>(Rng() % static_cast<std::uint64_t>(Size + 1));
        std::string What;
        switch (Op) {
        case 0:
            V->LocateLine(Line, true);
            What = "LocateLine(" + std::to_string(Line) + ", estimate)";
            break;
        case 1:
            V->LocateLine(Line, false);
            What = "LocateLine(" + std::to_string(Line) + ")";
            break;
        case 2: {
            V->GotoPosition(Offset);
            What = "GotoPosition(" + std::to_string(Offset) + ")";
            const std::int64_t I = IndexOf(Ref, V->GetLineStart());
            ASSERT_GE(I, 0) << What;
            const std::int64_t End = I + 1 < N ? Ref[I + 1].Start : Size + 1;
            const bool Inside = Ref[I].Start <= Offset && Offset < End;
            const bool BeforeFormFeed = Offset == End && Ref[I].Start + Ref[I].Length == End &&
                                        Text[static_cast<std::size_t>(Offset)] == '\f';
            EXPECT_TRUE(Inside || BeforeFormFeed || (I + 1 == N && Offset == Size)) << What;
            break;
        }
        case 3:
            for (int K = 0; K < 5; ++K)
                V->GotoNextLine();
            What = "GotoNextLine x5";
            break;
        case 4:
            for (int K = 0; K < 5; ++K)
                V->GotoPrevLine();
            What = "GotoPrevLine x5";
            break;
        case 5:
            DragThumb(std::min(Line, V->GetLastLine()));
            What = "thumb to " + std::to_string(Line);
            break;
        case 6:
            IdleStep();
            Pump();
            What = "idle step";
            break;
        case 7:
            V->SetPosition(Offset);
            What = "SetPosition(" + std::to_string(Offset) + ")";
            // Between the CR and the LF of a pair is no caret position: the line's end is.
            EXPECT_EQ(V->GetPosition(), Offset > 0 && Offset < Size &&
                                                Text[static_cast<std::size_t>(Offset)] == '\n' &&
                                                Text[static_cast<std::size_t>(Offset - 1)] == '\r'
                                            ? Offset - 1
                                            : Offset)
                << What;
            break;
        case 8:
            V->SetLineNumber(Line);
            What = "SetLineNumber(" + std::to_string(Line) + ")";
            break;
        case 9: {
            const std::int64_t Other =
                static_cast<std::int64_t>(Rng() % static_cast<std::uint64_t>(Size + 1));
            // Line starts often, wrapped lines' ends among them.
            auto Snap = [&](std::int64_t O) {
                const auto I = static_cast<std::size_t>(Rng() % static_cast<std::uint64_t>(N));
                return Rng() % 2 == 0 ? Ref[I].Start : O;
            };
            const std::int64_t One = Snap(Offset);
            const std::int64_t Two = Snap(Other);
            const std::int64_t A = std::min(One, Two);
            const std::int64_t B = std::max(One, Two);
            // An offset that starts a wrapped line is also the end of the line before it:
            // half the time the point is taken there.
            auto PointAt = [&](std::int64_t O) {
                TLongPoint P = V->OffsetToPoint(O);
                const std::int64_t I = IndexOf(Ref, O);
                if (I > 0 && P.Y > 0 && P.X == 0 && Ref[I - 1].Length > 0 &&
                    Ref[I - 1].Start + Ref[I - 1].Length == O && Rng() % 2 == 0)
                    P = LongPoint(Ref[I - 1].Length, P.Y - 1);
                return P;
            };
            const TLongPoint PA = PointAt(A);
            const TLongPoint PB = PointAt(B);
            What = "select " + std::to_string(A) + " to " + std::to_string(B);
            // A selection's ends are given in one numbering: the second point may have been
            // found through an estimated jump that numbered the lines of the first otherwise.
            if (V->TextOffset(PA) > V->TextOffset(PB)) {
                What += " (the numbers moved between its ends: not made)";
                break;
            }
            V->SetSelectionForTest(PA, PB, smExtend);
            SelA = V->GetSelStartOffset();
            SelB = V->GetSelEndOffset();
            break;
        }
        case 11: {
            V->LocateLineExactly(Line);
            What = "LocateLineExactly(" + std::to_string(Line) + ")";
            EXPECT_EQ(V->GetMapLine(), IndexOf(Ref, V->GetLineStart())) << What << ": exact";
            EXPECT_EQ(V->GetMapLine(), std::min(Line, N - 1)) << What;
            break;
        }
        case 12: {
            // Line numbers count from 1 and skip the form-feed lines.
            const std::int64_t Number = Line + 1;
            V->GotoLineNumber(Number);
            What = "GotoLineNumber(" + std::to_string(Number) + ")";
            std::int64_t Expected = -1;
            for (std::int64_t I = 0, Seen = 0; I < N && Expected < 0; ++I)
                if (!IsBreak(I) && ++Seen == Number)
                    Expected = I;
            if (Expected < 0)
                Expected = N - 1; // beyond the text: its last line
            EXPECT_EQ(V->GetLineNumber(), IndexOf(Ref, V->GetCaretLineStart())) << What;
            if (Expected <= V->GetLastLine()) {
                EXPECT_EQ(V->GetLineNumber(), Expected) << What;
            }
            break;
        }
        case 13: {
            // A row is drawn as a page break exactly when its line begins with a form feed,
            // whatever number the line carries for now.
            Repaint();
            Pended += V->GetRowsPending() ? 1 : 0;
            for (int K = 0; V->GetRowsPending() && K < 10000; ++K) {
                IdleStep();
                Pump();
            }
            ASSERT_FALSE(V->GetRowsPending());
            const headless::TDrawRecord& R = Record(); // with the rows drawn in idle time
            What = "paint";
            const std::int64_t Top = IndexOf(Ref, V->GetTopLineStart());
            ASSERT_GE(Top, 0) << What;
            const std::int64_t Rows = (V->GetClientHeight() + CharH() - 1) / CharH();
            std::vector<std::int64_t> Want;
            std::vector<std::int64_t> Got;
            for (std::int64_t K = 0; K < Rows && Top + K < N; ++K)
                if (IsBreak(Top + K))
                    Want.push_back(K);
            for (const headless::TDrawCall& C : TextCalls(R, headless::doTextOut))
                if (C.Text == "Page Break")
                    Got.push_back(C.Y / CharH());
            EXPECT_EQ(Got, Want) << What << " from line " << Top;
            break;
        }
        default:
            V->GotoEndOftext();
            What = "GotoEndOftext";
            EXPECT_EQ(V->GetLineStart(), Ref.back().Start) << What;
            break;
        }
        V->CheckMapInvariants(); // asserts in debug builds
        ExpectMapConsistent(Ref, What);
        if (!V->GetLineNumbersPending()) {
            EXPECT_EQ(V->GetLineNumber(), IndexOf(Ref, V->GetCaretLineStart())) << What;
            if (V->GetCountComplete()) {
                EXPECT_EQ(V->GetMapPage(), RefPages[static_cast<std::size_t>(V->GetMapLine())])
                    << What << ": map page";
                EXPECT_EQ(V->TLinesViewer::GetPageNumber(),
                          RefPages[static_cast<std::size_t>(V->GetLineNumber())])
                    << What << ": caret page";
                if (V->GetSelMode() != smNone) {
                    EXPECT_EQ(V->GetSelStartPage(),
                              RefPages[static_cast<std::size_t>(V->GetSelStart().Y)])
                        << What << ": selection start page";
                }
            }
            EXPECT_EQ(V->TextOffset(V->GetSelStart()), SelA) << What;
            EXPECT_EQ(V->TextOffset(V->GetSelEnd()), SelB) << What;
        }
        EXPECT_GE(V->GetLastLine(), V->GetLineNumber()) << What;
        EXPECT_GE(V->GetMapPage(), 1) << What;
        if (::testing::Test::HasFailure())
            FAIL() << "stopped after step " << Step << ": " << What;
    }
    RunIdle();
    if (GetParam().Seed == 3) {
        EXPECT_GT(Pended, 0) << "no paint left rows to idle time";
    }
    ExpectExact(Ref, "after the count");
    EXPECT_EQ(V->TextOffset(V->GetSelStart()), SelA);
    EXPECT_EQ(V->TextOffset(V->GetSelEnd()), SelB);
    EXPECT_EQ(V->GetTopLine(), IndexOf(Ref, V->GetTopLineStart()));
    // The caret's count of form-feed lines before it (what its shown number leaves out) and the
    // pages of the caret and the selection are exact too.
    std::int64_t Breaks = 0;
    for (std::int64_t I = 0; I <= V->GetLineNumber(); ++I)
        Breaks += IsBreak(I) ? 1 : 0;
    EXPECT_EQ(V->GetLineNumberOffset(), Breaks);
    const std::int64_t CaretLine = V->GetLineNumber();
    const std::int64_t CaretPage = V->TLinesViewer::GetPageNumber();
    const std::int64_t StartLine = V->GetSelStart().Y;
    const std::int64_t EndLine = V->GetSelEnd().Y;
    const std::int64_t StartPage = V->GetSelStartPage();
    const std::int64_t EndPage = V->GetSelEndPage();
    // Pages agree with a straight walk.
    V->GotoFirstLine();
    std::int64_t Page = V->GetMapPage();
    std::vector<std::int64_t> Pages{Page};
    while (V->GotoNextLine()) {
        if (V->GetMapBoundary() != pbNone)
            ++Page;
        ASSERT_EQ(V->GetMapPage(), Page) << "line " << V->GetMapLine();
        Pages.push_back(Page);
    }
    EXPECT_EQ(V->GetPageCount(), Page);
    EXPECT_EQ(CaretPage, Pages[static_cast<std::size_t>(CaretLine)]);
    if (V->GetSelMode() != smNone) {
        EXPECT_EQ(StartPage, Pages[static_cast<std::size_t>(StartLine)]);
        EXPECT_EQ(EndPage, Pages[static_cast<std::size_t>(EndLine)]);
    }
    // Every line, reached exactly from the count's checkpoints, has its page.
    for (std::int64_t I = 0; I < N; I += 7) {
        V->LocateLineExactly(I);
        ASSERT_EQ(V->GetLineStart(), Ref[static_cast<std::size_t>(I)].Start) << "line " << I;
        ASSERT_EQ(V->GetMapPage(), Pages[static_cast<std::size_t>(I)]) << "line " << I;
    }
}

std::string CaseName(const ::testing::TestParamInfo<TRandomCase>& Info) {
    static const char* const Names[] = {"None", "ScreenWidth", "Absolute", "Printer"};
    return std::string(Names[Info.param.Mode]) + "_" + std::to_string(Info.param.Seed);
}

std::vector<TRandomCase> Cases() {
    std::vector<TRandomCase> Out;
    for (TWrapModes Mode : {opNone, opWrapScreenWidth, opAbsoluteWrap, opPrinter})
        for (std::uint64_t Seed : {1ULL, 2ULL, 3ULL})
            Out.push_back(TRandomCase{Mode, Seed});
    return Out;
}

INSTANTIATE_TEST_SUITE_P(EveryWrapMode, TextViewerMapRandomTest, ::testing::ValuesIn(Cases()),
                         CaseName);

} // namespace
} // namespace kestrel::test
