// Printing from the text viewer on the headless printer: all pages, a selection, a page range,
// form feeds that end pages, soft pages counted afresh after them, printer wrapping, and the
// display put back as it was after a job.
#include "text_viewer_fixture.h"

#include "host/headless/headless_graphics.h"

#include <numeric>

namespace kestrel::test {
namespace {

class TextViewerPrintTest : public TextViewerFixture {
protected:
    headless::THeadlessPrinter& Printer() { return Platform.Graphics().GetPrinter(); }
    const headless::TPrintedDocument& LastDoc() {
        EXPECT_FALSE(Printer().GetDocuments().empty());
        return Printer().GetDocuments().back();
    }
    /// The text rows of a printed page, top to bottom (a row drawn in several runs is joined).
    static std::vector<std::string> Rows(const headless::TPrintedPage& Page) {
        std::vector<std::string> Out;
        int Y = -1;
        for (const headless::TDrawCall& C : Page.Calls) {
            if (C.Op != headless::doTabbedTextOut)
                continue;
            if (C.Y != Y)
                Out.emplace_back();
            Y = C.Y;
            Out.back() += C.Text;
        }
        return Out;
    }
    /// Every printed row of the last job, page after page.
    std::vector<std::string> AllRows() {
        std::vector<std::string> Out;
        for (const headless::TPrintedPage& P : LastDoc().Pages)
            for (std::string& R : Rows(P))
                Out.push_back(std::move(R));
        return Out;
    }
    /// Printer margins that leave room for exactly N lines a page.
    void LinesPerPrintedPage(std::int64_t N) {
        const double Line = static_cast<double>(V->GetPrintLineHeight());
        const double Bottom = (6300 - 450 - static_cast<double>(N) * Line - Line / 2) / 600;
        V->SetPrinterMetric(pmTopMargin, 0.75F);
        V->SetPrinterMetric(pmBottomMargin, static_cast<float>(Bottom));
        ASSERT_EQ(V->GetLinesPerPage(), N);
    }
    static std::string Numbered(int From, int To, const std::string& Sep = "\n") {
        std::string T;
        for (int I = From; I < To; ++I)
            T += "line " + std::to_string(I) + Sep;
        return T;
    }
    static std::vector<std::string> NumberedRows(int From, int To) {
        std::vector<std::string> Out;
        for (int I = From; I < To; ++I)
            Out.push_back("line " + std::to_string(I));
        return Out;
    }
    void PrintAll(bool PrinterWrap = false) {
        V->Print("Header", "Job", true, PrinterWrap, prAllPages, 0, 0);
    }
};

TEST_F(TextViewerPrintTest, AllPagesCountTheWholeTextFirstAndPrintEveryLineOnce) {
    // 5000 lines: the count is far from complete before the job (one step counts 100).
    SetText(Numbered(0, 5000));
    ASSERT_FALSE(V->GetCountComplete());
    const std::int64_t PerPage = V->GetLinesPerPage();
    std::vector<std::pair<std::int64_t, std::int64_t>> Events;
    std::int64_t CountedPages = 0;
    V->SetOnPagePrint([&](TObject*, std::int64_t Page, std::int64_t Total) {
        Events.emplace_back(Page, Total);
        CountedPages = V->GetPageCount();
        EXPECT_TRUE(V->GetCountComplete());
    });
    PrintAll();

    const std::int64_t Pages = (5000 + 1 + PerPage - 1) / PerPage; // and the empty last line
    EXPECT_EQ(CountedPages, Pages);
    ASSERT_EQ(static_cast<std::int64_t>(LastDoc().Pages.size()), Pages);
    ASSERT_EQ(static_cast<std::int64_t>(Events.size()), Pages);
    EXPECT_EQ(Events.back(), std::make_pair(Pages, Pages));
    for (const headless::TPrintedPage& P : LastDoc().Pages)
        EXPECT_LE(static_cast<std::int64_t>(Rows(P).size()), PerPage);
    EXPECT_EQ(Rows(LastDoc().Pages[1]).front(), "line " + std::to_string(PerPage));
    EXPECT_EQ(AllRows(), NumberedRows(0, 5000)) << "each line once, in order, nothing else";
    EXPECT_FALSE(V->GetState().Contains(vsPrinting));
}

TEST_F(TextViewerPrintTest, AFormFeedEndsThePageAndIsNotPrinted) {
    SetText("a\nb\n\fc\nd\n\f\fe");
    // Display lines: a, b, FF, c, d, FF, FF, e.
    bool PageBreak = false;
    V->PrintLine(300, 450, 1, prAllPages, PageBreak);
    EXPECT_TRUE(PageBreak) << "b is followed by a form feed";
    V->PrintLine(300, 450, 0, prAllPages, PageBreak);
    EXPECT_FALSE(PageBreak);
    V->PrintLine(300, 450, 4, prAllPages, PageBreak);
    EXPECT_TRUE(PageBreak);

    PrintAll();
    const headless::TPrintedDocument& Doc = LastDoc();
    ASSERT_GE(Doc.Pages.size(), 3U);
    EXPECT_EQ(Rows(Doc.Pages[0]), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Rows(Doc.Pages[1]), (std::vector<std::string>{"c", "d"}));
    const std::vector<std::string> All = AllRows();
    EXPECT_EQ(All, (std::vector<std::string>{"a", "b", "c", "d", "e"}))
        << "no form feed is ever drawn";
    for (const headless::TPrintedPage& P : Doc.Pages)
        for (const headless::TDrawCall& C : P.Calls)
            EXPECT_EQ(C.Text.find('\f'), std::string::npos);
}

TEST_F(TextViewerPrintTest, PagesHoldAtMostLinesPerPageAndSoftPagesRestartAfterAFormFeed) {
    LinesPerPrintedPage(5);
    // 12 lines, a form feed, 7 lines and the empty last line: soft pages begin at lines 5 and
    // 10, the hard break at 12 begins page 4, and soft pages count afresh from it: line 17.
    SetText(Numbered(0, 12) + "\f" + Numbered(13, 20));
    V->CompleteCount();
    ASSERT_TRUE(V->GetCountComplete());
    EXPECT_EQ(V->GetHardBreaks(), std::vector<std::int64_t>{12});
    const std::vector<std::int64_t> Expected{1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3,
                                             3, 4, 4, 4, 4, 4, 5, 5, 5, 5};
    ASSERT_EQ(V->GetLastLine(), 20);
    for (std::int64_t Line = 20; Line >= 0; --Line) // backwards: the map walks both ways
        EXPECT_EQ(V->GetPageNumber(Line), Expected[static_cast<std::size_t>(Line)]) << Line;
    for (std::int64_t Page = 1; Page <= 5; ++Page) {
        const auto First = std::find(Expected.begin(), Expected.end(), Page) - Expected.begin();
        EXPECT_EQ(V->GetLineAtTopOfPage(Page), First) << Page;
    }
    EXPECT_EQ(V->GetLineAtTopOfPage(9), 20) << "past the last page: the last line";
    EXPECT_EQ(V->GetLineAtTopOfPage(1), 0);

    PrintAll();
    const headless::TPrintedDocument& Doc = LastDoc();
    ASSERT_EQ(Doc.Pages.size(), 5U);
    EXPECT_EQ(Rows(Doc.Pages[0]), NumberedRows(0, 5));
    EXPECT_EQ(Rows(Doc.Pages[1]), NumberedRows(5, 10));
    EXPECT_EQ(Rows(Doc.Pages[2]), NumberedRows(10, 12)) << "the form feed ends page 3 early";
    EXPECT_EQ(Rows(Doc.Pages[3]), NumberedRows(13, 18)) << "the break line is skipped";
    for (const headless::TPrintedPage& P : Doc.Pages)
        EXPECT_LE(Rows(P).size(), 5U);
    std::vector<std::string> Lines = NumberedRows(0, 12);
    for (std::string& L : NumberedRows(13, 20))
        Lines.push_back(L);
    EXPECT_EQ(AllRows(), Lines);
}

TEST_F(TextViewerPrintTest, ASelectionPrintsItsFirstAndLastLinesInPart) {
    SetText("zero\none two three\nfour five\nsix seven eight\nnine\n");
    V->Print("", "", false, false, prSelection, 0, 0);
    EXPECT_TRUE(Printer().GetDocuments().empty()) << "no selection, no job";

    V->SetSelectionForTest(LongPoint(4, 1), LongPoint(3, 3), smExtend);
    ASSERT_EQ(V->GetSelMode(), smExtend);
    V->Print("", "", false, false, prSelection, 0, 0);
    ASSERT_EQ(LastDoc().Pages.size(), 1U);
    EXPECT_EQ(AllRows(), (std::vector<std::string>{"two three", "four five", "six"}));
    EXPECT_EQ(V->GetSelStart(), LongPoint(4, 1)) << "the selection survives the job";
    EXPECT_EQ(V->GetSelEnd(), LongPoint(3, 3));

    // A selection that ends at the start of a line prints nothing of that line.
    V->SetSelectionForTest(LongPoint(5, 2), LongPoint(0, 3), smExtend);
    V->Print("", "", false, false, prSelection, 0, 0);
    EXPECT_EQ(AllRows(), (std::vector<std::string>{"five"}));

    // A column block prints its rows, the same bytes a copy of it takes.
    V->SetSelectionForTest(LongPoint(2, 1), LongPoint(5, 3), smColumn);
    ASSERT_EQ(V->GetSelMode(), smColumn);
    V->Print("", "", false, false, prSelection, 0, 0);
    EXPECT_EQ(AllRows(), (std::vector<std::string>{"e t", "ur ", "x s"}));
    EXPECT_EQ(V->GetSelection(), "e t\r\nur \r\nx s\r\n");
}

TEST_F(TextViewerPrintTest, APageRangePrintsThoseLinesAndNeedsTheCountOnlyThatFar) {
    LinesPerPrintedPage(10);
    SetText(Numbered(0, 3000));
    ASSERT_EQ(V->GetLinesPerPage(), 10);
    ASSERT_FALSE(V->GetCountComplete());
    EXPECT_EQ(V->GetLineAtTopOfPage(3), 20);
    EXPECT_FALSE(V->GetCountComplete()) << "counted until page 3 began, not to the end";
    EXPECT_FALSE(V->GetState().Contains(vsBusy));

    V->Print("", "", true, false, prPageNums, 3, 5);
    const headless::TPrintedDocument& Doc = LastDoc();
    ASSERT_EQ(Doc.Pages.size(), 3U);
    EXPECT_EQ(AllRows(), NumberedRows(20, 50));
    for (std::size_t I = 0; I < 3; ++I) {
        bool Found = false;
        for (const headless::TDrawCall& C : Doc.Pages[I].Calls)
            Found = Found || C.Text == "Page " + std::to_string(I + 1);
        EXPECT_TRUE(Found) << "footer of printed page " << I + 1;
    }
}

TEST_F(TextViewerPrintTest, WaitsOnTheCountEndWhenTheCountCannotAdvance) {
    LinesPerPrintedPage(10);
    SetText(Numbered(0, 3000));
    V->SetState(vsMouseDown, true); // the count pauses while a button is held
    EXPECT_EQ(V->GetLineAtTopOfPage(200), 1990) << "the map walks there all the same";
    EXPECT_FALSE(V->GetCountComplete());
    V->Print("", "", false, false, prPageNums, 1, 1); // returns: BeginPrinting does not spin
    ASSERT_EQ(LastDoc().Pages.size(), 1U);
    EXPECT_EQ(AllRows(), NumberedRows(0, 10));
    V->SetState(vsMouseDown, false);
}

TEST_F(TextViewerPrintTest, PrinterWrapBreaksWhereThePrintedLinesBreak) {
    // Paragraphs far wider than the paper, among short lines; tabs inside.
    std::string Long;
    for (int I = 0; I < 60; ++I)
        Long += "word" + std::to_string(I) + (I % 9 == 8 ? "\t" : " ");
    const std::string Text = "short\n" + Long + "\nmiddle\n" + Long + Long + "\nend";
    SetText(Text);
    V->SetWrapMode(opNone);
    V->SetLineNumber(3);
    V->SetCharNumber(7);
    const std::int64_t Caret = V->MarkLocation();
    const std::int64_t Row = V->GetLineNumber() - V->GetTopLine();

    TWrapModes DuringJob = opNone;
    std::int64_t PrinterWidth = 0;
    V->SetOnPagePrint([&](TObject*, std::int64_t, std::int64_t) {
        DuringJob = V->GetWrapMode();
        PrinterWidth = V->GetBuffer()->GetMaxWidth();
    });
    PrintAll(true);
    EXPECT_EQ(DuringJob, opPrinter);
    const std::int64_t Paper = 4800 - 300 - 300;
    EXPECT_EQ(PrinterWidth, Paper);

    // The rows are the paragraphs cut into pieces no wider than the paper, each as full as the
    // next word allows.
    const std::vector<std::string> Printed = AllRows();
    ASSERT_GT(Printed.size(), 6U);
    std::string Joined;
    for (const std::string& R : Printed)
        Joined += R;
    std::string Flat = Text;
    Flat.erase(std::remove(Flat.begin(), Flat.end(), '\n'), Flat.end());
    EXPECT_EQ(Joined, Flat) << "nothing lost or repeated at the breaks";
    TLinesBuffer* B = V->GetBuffer();
    const std::int64_t CharW = B->GetPrinterCharWidth();
    ASSERT_GT(CharW, 0);
    for (const headless::TPrintedPage& P : LastDoc().Pages)
        for (const headless::TDrawCall& C : P.Calls)
            if (C.Op == headless::doTabbedTextOut) {
                EXPECT_EQ(C.TabOrigin, C.X) << "tab stops count from the printed line's start";
            }
    std::size_t Wrapped = 0;
    for (const std::string& R : Printed) {
        if (R.find("word") == std::string::npos)
            continue;
        ++Wrapped;
        EXPECT_LE(static_cast<std::int64_t>(R.size()) * CharW, Paper + 8 * CharW) << R;
    }
    EXPECT_GE(Wrapped, 6U) << "the long paragraphs wrap";

    // The display is back: its wrap mode, its lines, and the caret on its text and screen row.
    EXPECT_EQ(V->GetWrapMode(), opNone);
    EXPECT_EQ(V->GetBuffer()->GetOutputDevice(), odDisplay);
    EXPECT_EQ(V->MarkLocation(), Caret);
    EXPECT_EQ(V->GetLineNumber() - V->GetTopLine(), Row);
    RunIdle();
    EXPECT_EQ(V->GetLastLine(), 4) << "five display lines unwrapped";
}

TEST_F(TextViewerPrintTest, WrappedDisplayLinesArePrintedWithTheSameBreaks) {
    std::string Text;
    for (int I = 0; I < 60; ++I)
        Text += "item " + std::to_string(I) + (I % 12 == 11 ? "\n" : ", ");
    for (const TWrapModes Mode : {opAbsoluteWrap, opWrapScreenWidth}) {
        SetText(Text);
        V->SetMaxLineLength(23);
        V->SetWrapMode(Mode);
        RunIdle();
        std::vector<std::string> Shown;
        for (const TRefLine& L : ReferenceLines())
            if (L.Length > 0)
                Shown.push_back(V->GetBuffer()->GetString(L.Start, L.Length));
        ASSERT_GE(Shown.size(), 5U * 2) << "every paragraph wraps";
        PrintAll(false);
        EXPECT_EQ(AllRows(), Shown) << "mode " << int(Mode);
        EXPECT_EQ(V->GetWrapMode(), Mode);
    }
}

TEST_F(TextViewerPrintTest, AProportionalFontIsLaidOutAndCountedAgainForThePrinter) {
    // Widths of a proportional font do not scale exactly from screen to printer: some printed
    // lines break elsewhere than on the screen. Nothing may be lost, and a selection prints its
    // own text whatever the printed line numbers are.
    V->GetFont()->SetName("Arial");
    std::string Text;
    for (int I = 0; I < 600; ++I)
        Text += "item " + std::to_string(I) + (I % 12 == 11 ? "\n" : ", ");
    std::string Flat = Text;
    Flat.erase(std::remove(Flat.begin(), Flat.end(), '\n'), Flat.end());
    for (const TWrapModes Mode : {opAbsoluteWrap, opWrapScreenWidth}) {
        SetText(Text);
        V->SetMaxLineLength(23);
        V->SetWrapMode(Mode);
        RunIdle();
        std::int64_t PrintedLines = 0;
        V->SetOnPagePrint(
            [&](TObject*, std::int64_t, std::int64_t) { PrintedLines = V->GetLastLine() + 1; });
        PrintAll(false);
        const std::vector<std::string> Rows = AllRows();
        std::string Joined;
        for (const std::string& R : Rows)
            Joined += R;
        EXPECT_EQ(Joined, Flat) << "mode " << int(Mode);
        EXPECT_EQ(static_cast<std::int64_t>(Rows.size()) + 1, PrintedLines)
            << "the count was of the printed lines (and the empty last one)";

        // A stream selection in the middle of the text, its caret inside it.
        const std::int64_t From = static_cast<std::int64_t>(Text.find("item 301,"));
        const std::int64_t To = static_cast<std::int64_t>(Text.find("item 340,"));
        V->SetSelectionForTest(V->OffsetToPoint(From), V->OffsetToPoint(To), smExtend);
        V->FocusAt(To, false);
        const std::string Selected = V->GetSelection();
        ASSERT_EQ(Selected,
                  Text.substr(static_cast<std::size_t>(From), static_cast<std::size_t>(To - From)));
        V->Print("", "", false, false, prSelection, 0, 0);
        std::string Printed;
        for (const std::string& R : AllRows())
            Printed += R;
        std::string SelectedFlat = Selected;
        SelectedFlat.erase(std::remove(SelectedFlat.begin(), SelectedFlat.end(), '\n'),
                           SelectedFlat.end());
        EXPECT_EQ(Printed, SelectedFlat) << "mode " << int(Mode);
        EXPECT_EQ(V->GetSelection(), Selected) << "the selection is back on its text";
        EXPECT_EQ(V->MarkLocation(), To) << "and the caret";
        V->SetSelectionForTest(ZeroPoint, ZeroPoint, smNone);
    }
}

} // namespace
} // namespace kestrel::test
