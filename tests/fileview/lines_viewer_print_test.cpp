// The printing frame: metrics from the headless printer, page ranges, header and footer,
// progress and abort, and the state restored when printing fails.
#include "test_viewer.h"

#include "host/headless/headless_graphics.h"

namespace kestrel::test {
namespace {

class PrintTest : public ViewerFixture {
protected:
    void SetUp() override {
        ViewerFixture::SetUp();
        V->SetLines(NumberedLines(130));
        Pump();
    }
    headless::THeadlessPrinter& Printer() { return Platform.Graphics().GetPrinter(); }
    const headless::TPrintedDocument& LastDoc() {
        EXPECT_FALSE(Printer().GetDocuments().empty());
        return Printer().GetDocuments().back();
    }
    static std::vector<const headless::TDrawCall*> Texts(const headless::TPrintedPage& Page) {
        std::vector<const headless::TDrawCall*> Out;
        for (const headless::TDrawCall& C : Page.Calls)
            if (C.Op == headless::doTextOut)
                Out.push_back(&C);
        return Out;
    }
    static const headless::TDrawCall* TextCall(const headless::TPrintedPage& Page,
                                               const std::string& Text) {
        for (const headless::TDrawCall* C : Texts(Page))
            if (C->Text == Text)
                return C;
        return nullptr;
    }
};

// Courier New 8 pt at 600 dpi: em 67, cell 78, external leading 8: 86 pixels a line. The page
// is 6300 printable pixels high.
constexpr int LineHeight = 86;

TEST_F(PrintTest, MetricsComeFromThePrinterInInches) {
    EXPECT_EQ(V->GetPrintMargins(), Rect(300, 450, 300, 600));
    EXPECT_EQ(V->GetHeaderOffset(), 150);
    EXPECT_EQ(V->GetFooterOffset(), 150);
    EXPECT_EQ(V->GetPrintLineHeight(), LineHeight);
    EXPECT_EQ(V->GetLinesPerPage(), (6300 - 450 - 600) / LineHeight);
    EXPECT_FLOAT_EQ(V->GetPrinterMetric(pmBottomMargin), 1.0F);

    V->SetPrinterMetric(pmLeftMargin, 1.25F);
    EXPECT_EQ(V->GetPrintMargins().Left, 750);
    V->SetPrinterMetric(7, 9.0F);
    EXPECT_EQ(V->GetPrintMargins().Left, 750) << "another index stores nothing";
    for (int Bad : {0, 7, -1}) {
        try {
            V->GetPrinterMetric(Bad);
            ADD_FAILURE() << Bad;
        } catch (const Exception& E) {
            EXPECT_STREQ(E.what(), "Invalid call to GetPrinterMetric");
        }
    }
}

TEST_F(PrintTest, LinesPerPageNeverFallsBelowOne) {
    V->SetPrinterMetric(pmTopMargin, 5.0F);
    V->SetPrinterMetric(pmBottomMargin, 5.5F); // the whole printable height
    EXPECT_EQ(V->GetLinesPerPage(), 1);
    V->SetPrinterMetric(pmBottomMargin, 9.0F); // more than the page
    EXPECT_EQ(V->GetLinesPerPage(), 1);
    V->SetLineNumberMode(lnPageRelative);
    V->SetLineNumber(5);
    EXPECT_EQ(V->GetEffectiveLineNumber(), 0);
}

TEST_F(PrintTest, WithoutAPrinterTheMetricsFallBackAndPrintingFailsCleanly) {
    Platform.Graphics().SetPrinterInstalled(false);
    V->UpdatePrinterMetrics();
    EXPECT_EQ(V->GetLinesPerPage(), 66);
    EXPECT_EQ(V->GetPrintLineHeight(), V->GetCharHeight());
    EXPECT_EQ(V->GetPrintMargins(), Rect(0, 0, 0, 0));
    EXPECT_EQ(V->GetHeaderOffset(), 0);

    V->SetZoomFactor(1);
    EXPECT_THROW(V->Print("", "job", true, false, prAllPages, 0, 0), EPrinter);
    EXPECT_FALSE(V->GetState().Contains(vsPrinting));
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    EXPECT_EQ(V->GetZoomFactor(), 1);
}

TEST_F(PrintTest, AllPagesWithHeaderFooterAndPageEvents) {
    const std::int64_t PerPage = V->GetLinesPerPage(); // 61
    V->SetPageCountForTest(129 / PerPage + 1);         // 3
    std::vector<std::pair<std::int64_t, std::int64_t>> Events;
    V->SetOnPagePrint([&](TObject*, std::int64_t Page, std::int64_t Total) {
        Events.emplace_back(Page, Total);
        EXPECT_TRUE(V->GetState().Contains(vsPrinting));
        EXPECT_TRUE(V->GetState().Contains(vsBusy));
    });
    V->Print("My header", "My job", true, false, prAllPages, 0, 0);

    const headless::TPrintedDocument& Doc = LastDoc();
    EXPECT_EQ(Doc.Title, "My job");
    EXPECT_TRUE(Doc.Ended);
    EXPECT_FALSE(Doc.Aborted);
    ASSERT_EQ(Doc.Pages.size(), 3U);
    using P = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(Events, (std::vector<P>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(V->PrintedLines.size(), 130U);

    const headless::TPrintedPage& First = Doc.Pages[0];
    const headless::TDrawCall* Header = TextCall(First, "My header");
    ASSERT_NE(Header, nullptr);
    EXPECT_EQ(Header->X, 4800 / 2);
    EXPECT_EQ(Header->Y, 150);
    EXPECT_EQ(Header->Align, TA_CENTER | TA_TOP);
    const headless::TDrawCall* Footer = TextCall(First, "Page 1");
    ASSERT_NE(Footer, nullptr);
    EXPECT_EQ(Footer->X, 2400);
    EXPECT_EQ(Footer->Y, 6300 - 150);
    EXPECT_EQ(Footer->Align, TA_CENTER | TA_BOTTOM);
    const headless::TDrawCall* Line1 = TextCall(First, V->Lines()[1]);
    ASSERT_NE(Line1, nullptr);
    EXPECT_EQ(Line1->X, 300);
    EXPECT_EQ(Line1->Y, 450 + LineHeight);
    EXPECT_EQ(Line1->Align, TA_LEFT | TA_TOP) << "alignment reset after the header";
    EXPECT_NE(TextCall(Doc.Pages[2], "Page 3"), nullptr);
    EXPECT_EQ(Texts(Doc.Pages[2]).size(), 2U + 130 - 2 * PerPage);

    EXPECT_FALSE(V->GetState().Contains(vsPrinting));
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    EXPECT_TRUE(V->Focused());
}

TEST_F(PrintTest, APageRangeNumbersItsFootersFromOneAndEndsWithTheLastLine) {
    V->SetLinesPerPageForTest(10);
    V->SetPageCountForTest(13);
    std::vector<std::pair<std::int64_t, std::int64_t>> Events;
    V->SetOnPagePrint(
        [&](TObject*, std::int64_t Page, std::int64_t Total) { Events.emplace_back(Page, Total); });
    V->Print("", "", true, false, prPageNums, 3, 5);
    // UpdatePrinterMetrics at the start of the job set the printer's lines per page again.
    ASSERT_EQ(LastDoc().Pages.size(), 3U);
    using P = std::pair<std::int64_t, std::int64_t>;
    EXPECT_EQ(Events, (std::vector<P>{{1, 3}, {2, 3}, {3, 3}}));
    EXPECT_NE(TextCall(LastDoc().Pages[0], "Page 1"), nullptr);
    EXPECT_NE(TextCall(LastDoc().Pages[2], "Page 3"), nullptr);
    EXPECT_EQ(TextCall(LastDoc().Pages[0], "Page 3"), nullptr);
    const std::int64_t PerPage = V->GetLinesPerPage();
    ASSERT_FALSE(V->PrintedLines.empty());
    EXPECT_EQ(V->PrintedLines.front(), 2 * PerPage) << "the top of page 3";

    V->PrintedLines.clear();
    V->SetPageCountForTest(3);
    V->Print("", "", false, false, prPageNums, 2, 3);
    ASSERT_FALSE(V->PrintedLines.empty());
    EXPECT_EQ(V->PrintedLines.back(), 129) << "the last page keeps the last line";
}

TEST_F(PrintTest, APageBreakLineEndsThePageAndIsNotPrinted) {
    V->SetLines({"one", "two", "\f", "three", "four"});
    V->Print("", "", false, false, prAllPages, 0, 0);
    EXPECT_EQ(V->PrintedLines, (std::vector<std::int64_t>{0, 1}));
    ASSERT_EQ(LastDoc().Pages.size(), 1U) << "PageCount 1 ends the job";

    V->PrintedLines.clear();
    V->SetPageCountForTest(2);
    V->Print("", "", false, false, prAllPages, 0, 0);
    EXPECT_EQ(V->PrintedLines, (std::vector<std::int64_t>{0, 1, 3, 4}));
    EXPECT_EQ(LastDoc().Pages.size(), 2U);
}

TEST_F(PrintTest, SelectionPrintsItsLinesAndNothingWithoutOne) {
    const std::size_t Jobs = Printer().GetDocuments().size();
    V->Print("", "", false, false, prSelection, 0, 0);
    EXPECT_EQ(Printer().GetDocuments().size(), Jobs) << "no selection, no job at all";
    EXPECT_FALSE(V->GetState().Contains(vsPrinting));

    V->SetSelection(LongPoint(2, 4), LongPoint(1, 7), smExtend);
    V->Print("", "", false, false, prSelection, 0, 0);
    EXPECT_EQ(V->PrintedLines, (std::vector<std::int64_t>{4, 5, 6, 7}));
}

TEST_F(PrintTest, TheCancelKeyEndsTheJobAfterTheCurrentPage) {
    V->SetPageCountForTest(3);
    V->SetOnPagePrint([&](TObject*, std::int64_t Page, std::int64_t) {
        if (Page == 1)
            Platform.Input().PostKeyPress(VK_ESCAPE);
    });
    V->Print("", "", true, false, prAllPages, 0, 0);
    EXPECT_EQ(LastDoc().Pages.size(), 1U);
    EXPECT_TRUE(LastDoc().Ended) << "the pages made are still printed";
    EXPECT_FALSE(LastDoc().Aborted);
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
}

TEST_F(PrintTest, AFailureRestoresZoomStateAndEndsTheDocument) {
    V->SetZoomFactor(1);
    int ZoomSeen = -1;
    V->SetOnPagePrint([&](TObject*, std::int64_t, std::int64_t) {
        ZoomSeen = static_cast<int>(V->GetZoomFactor());
    });
    V->ThrowInPrintLine = true;
    try {
        V->Print("", "", false, false, prAllPages, 0, 0);
        ADD_FAILURE();
    } catch (const Exception& E) {
        EXPECT_STREQ(E.what(), "printer jammed");
    }
    EXPECT_EQ(ZoomSeen, 0) << "printed at natural size";
    EXPECT_EQ(V->GetZoomFactor(), 1);
    EXPECT_FALSE(V->GetState().Contains(vsPrinting));
    EXPECT_FALSE(V->GetState().Contains(vsBusy));
    EXPECT_TRUE(LastDoc().Ended);
    EXPECT_FALSE(kestrel::Printer()->GetPrinting());
}

TEST_F(PrintTest, AnUndefinedRangeIsRefused) {
    try {
        V->Print("", "", false, false, static_cast<TPrintRange>(9), 0, 0);
        ADD_FAILURE();
    } catch (const Exception& E) {
        EXPECT_STREQ(E.what(), "PrintRange undefined in call to Print");
    }
    EXPECT_TRUE(LastDoc().Ended) << "the document begun is ended";
    EXPECT_FALSE(V->GetState().Contains(vsPrinting));
}

} // namespace
} // namespace kestrel::test
