// The text viewer and editor on the Qt platform: the mouse, painting only what changed (typing
// included), screenshots with text rows and scroll bars, column blocks through the clipboard's
// private MIME type, printing to PDF, the find dialog and the settings file.
#include "qt_fixture.h"

#include "host/clipboard.h"
#include "host/dialogs.h"
#include "host/global_memory.h"
#include "host/printers.h"
#include "host/registry.h"
#include "kxctrls/file_editor.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace kestrel::test {
namespace {

std::string Lines(int N) {
    std::string T = "alpha beta gamma\ndelta epsilon\nzeta eta theta iota\n";
    for (int I = 3; I < N; ++I)
        T += "row " + std::to_string(I) + " of the text\n";
    return T;
}

/// Runs Command and returns what it wrote on its standard output.
std::string Output(const std::string& Command) {
    std::string Out;
    if (FILE* P = ::popen(Command.c_str(), "r")) {
        char Buffer[4096];
        for (std::size_t N; (N = std::fread(Buffer, 1, sizeof Buffer, P)) > 0;)
            Out.append(Buffer, N);
        ::pclose(P);
    }
    return Out;
}

/// The rows of Image (within Area) that hold a dark pixel, as runs: one run per text line.
int TextBands(const QImage& Image, const QRect& Area) {
    int Bands = 0;
    bool InBand = false;
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y) {
        bool Dark = false;
        for (int X = Area.left(); X <= Area.right() && !Dark; ++X)
            Dark = qGray(Image.pixel(X, Y)) < 100;
        Bands += Dark && !InBand;
        InBand = Dark;
    }
    return Bands;
}

class QtViewerTest : public QtFixture {
protected:
    QPoint At(std::int64_t Char, std::int64_t Line) {
        return QPoint(static_cast<int>(Char * V->GetCharWidth() + 1),
                      static_cast<int>((Line - V->GetTopLine()) * V->GetCharHeight() + 2));
    }
};

TEST_F(QtViewerTest, MouseClicksPlaceTheCaretDoubleClicksSelectAWordAndTheWheelScrolls) {
    MakeViewer(Lines(60));
    ASSERT_GT(V->GetCharWidth(), 3);
    QTest::mouseClick(Client(), Qt::LeftButton, Qt::NoModifier, At(3, 2));
    Pump();
    EXPECT_EQ(LongPoint(V->GetCharNumber(), V->GetLineNumber()), LongPoint(3, 2));
    QTest::mousePress(Client(), Qt::LeftButton, Qt::NoModifier, At(4, 2));
    QTest::mouseMove(Client(), At(5, 4));
    QTest::mouseRelease(Client(), Qt::LeftButton, Qt::NoModifier, At(5, 4));
    Pump();
    EXPECT_EQ(V->GetSelStart(), LongPoint(4, 2)) << "a drag selects";
    EXPECT_EQ(V->GetSelEnd(), LongPoint(5, 4));
    QTest::mouseDClick(Client(), Qt::LeftButton, Qt::NoModifier, At(8, 1));
    Pump();
    EXPECT_EQ(V->GetSelection(), "epsilon");

    const std::int64_t Top = V->GetTopLine();
    QWheelEvent Wheel(QPointF(10, 10), QPointF(Client()->mapToGlobal(QPoint(10, 10))), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(Client(), &Wheel);
    Pump();
    EXPECT_GT(V->GetTopLine(), Top);
}

TEST_F(QtViewerTest, ScrollBarsFollowTheViewerAndDriveIt) {
    MakeViewer(Lines(200));
    const qt::TQtScrollBar& Bar = Platform->Windows().GetScrollBar(V->GetHandle(), SB_VERT);
    EXPECT_TRUE(Bar.Visible);
    QScrollBar* Q = Platform->Windows().ScrollBarOf(V->GetHandle(), SB_VERT);
    ASSERT_NE(Q, nullptr);
    EXPECT_TRUE(Q->isVisible());
    Q->triggerAction(QAbstractSlider::SliderPageStepAdd);
    Pump();
    EXPECT_EQ(V->GetTopLine(), Q->value());
    EXPECT_GT(V->GetTopLine(), 0);
    Q->triggerAction(QAbstractSlider::SliderToMaximum);
    Pump();
    EXPECT_EQ(V->GetTopLine() + V->GetLinesOnScreen() - 1, V->GetLastLine());
    EXPECT_EQ(Q->value(), Q->maximum());
}

TEST_F(QtViewerTest, ExtendingASelectionRepaintsOnlyItsLineAndScrollingOnlyTheNewLine) {
    MakeViewer(Lines(60));
    const HWND Wnd = V->GetHandle();
    Platform->Windows().ClearPaintLog(Wnd);
    QTest::keyClick(Client(), Qt::Key_Right, Qt::ShiftModifier);
    Pump();
    const int H = static_cast<int>(V->GetCharHeight());
    for (const TRect& R : Platform->Windows().GetPaintLog(Wnd)) {
        EXPECT_GE(R.Top, 0);
        EXPECT_LE(R.Bottom, H) << "only the first line changed";
    }
    for (int I = 0; I < 9; ++I)
        QTest::keyClick(Client(), Qt::Key_Down);
    Pump();
    Platform->Windows().ClearPaintLog(Wnd);
    QTest::keyClick(Client(), Qt::Key_Down); // one line past the bottom: the view scrolls
    Pump();
    EXPECT_EQ(V->GetTopLine(), 1);
    int Painted = 0;
    for (const TRect& R : Platform->Windows().GetPaintLog(Wnd))
        Painted += R.Height();
    EXPECT_GT(Painted, 0);
    EXPECT_LE(Painted, 2 * H) << "the uncovered line, not the window";
}

TEST_F(QtViewerTest, TypingRepaintsItsLineAndANewLineRepaintsFromTheCaretDown) {
    TStreamEditor E(nullptr);
    E.GetFont()->SetName("DejaVu Sans Mono");
    E.GetFont()->SetSize(10);
    E.SetBounds(20, 20, 480, 200);
    E.GetHandle();
    const std::string Text = Lines(60);
    auto Source = std::make_unique<TMemoryStream>();
    Source->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
    Source->SetPosition(0);
    E.SetSourceStream(std::move(Source));
    FitRows(E, 10);
    E.SetFocus();
    Pump();
    const HWND Wnd = E.GetHandle();
    QWidget* EditorClient = Platform->Windows().ClientWidgetOf(Wnd);
    for (int I = 0; I < 3; ++I)
        QTest::keyClick(EditorClient, Qt::Key_Down);
    Pump();
    const int H = static_cast<int>(E.GetCharHeight());
    const auto PaintedRows = [&](int& Top, int& Bottom) {
        Top = INT_MAX;
        Bottom = 0;
        for (const TRect& R : Platform->Windows().GetPaintLog(Wnd)) {
            Top = std::min(Top, R.Top);
            Bottom = std::max(Bottom, R.Bottom);
        }
    };
    Platform->Windows().ClearPaintLog(Wnd);
    QTest::keyClick(EditorClient, Qt::Key_X);
    Pump();
    ASSERT_EQ(E.GetTextSize(), static_cast<std::int64_t>(Text.size()) + 1);
    int Top = 0, Bottom = 0;
    PaintedRows(Top, Bottom);
    EXPECT_GE(Top, 3 * H);
    EXPECT_LE(Bottom, 4 * H) << "the caret's line only";

    Platform->Windows().ClearPaintLog(Wnd);
    QTest::keyClick(EditorClient, Qt::Key_Return);
    Pump();
    PaintedRows(Top, Bottom);
    EXPECT_GE(Top, 3 * H) << "nothing above the caret's line";
    EXPECT_GE(Bottom, 9 * H) << "the lines below moved down";
}

TEST_F(QtViewerTest, AScreenshotShowsTheTextRowsTheCaretAndTheScrollBars) {
    MakeViewer(Lines(60));
    const TRect C = V->GetClientRect();
    EXPECT_EQ(TextBands(Platform->Windows().Grab(V->GetHandle()), QRect(0, 0, C.Right, C.Bottom)),
              10);
    QTest::keyClick(Client(), Qt::Key_Down);
    QTest::keyClick(Client(), Qt::Key_End, Qt::ShiftModifier);
    Pump();
    const QImage Shot = Platform->Windows().Grab(V->GetHandle());
    ASSERT_GE(Shot.width(), C.Right);
    // The scroll bar beside the text is drawn by the style: not the window's white.
    bool BarDrawn = false;
    for (int Y = 0; Y < C.Bottom && !BarDrawn; ++Y)
        BarDrawn = Shot.pixel(C.Right + 3, Y) != Shot.pixel(C.Right - 3, C.Bottom - 2);
    EXPECT_TRUE(BarDrawn);
    // The selected line is inverted: its band is mostly dark.
    const int H = static_cast<int>(V->GetCharHeight());
    int Dark = 0;
    for (int X = 0; X < 40; ++X)
        Dark += qGray(Shot.pixel(X, H + H / 2)) < 100;
    EXPECT_GT(Dark, 20);
}

TEST_F(QtViewerTest, AColumnBlockTravelsThroughTheClipboardsPrivateType) {
    MakeViewer(Lines(20));
    V->SetSelection(LongPoint(2, 0), LongPoint(7, 2), smColumn);
    QTest::keyClick(Client(), Qt::Key_C, Qt::ControlModifier);
    Pump();
    const QMimeData* Data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(Data, nullptr);
    const QString Type = QStringLiteral("application/x-kestrel-kestrel_column_text");
    ASSERT_TRUE(Data->hasFormat(Type));
    EXPECT_EQ(Data->data(Type).toStdString(), std::string("pha b\r\nlta e\r\nta et\r\n", 22));
    EXPECT_EQ(Data->text().toStdString(), "pha b\nlta e\nta et\n");

    // Another program puts a block there: the host hears of it and reads it back.
    const int Changes = ClipboardHost().GetChanges();
    auto* Theirs = new QMimeData;
    Theirs->setData(Type, QByteArray("XY\r\nZW\r\n"));
    Theirs->setText(QStringLiteral("XY\nZW\n"));
    QGuiApplication::clipboard()->setMimeData(Theirs);
    QCoreApplication::processEvents();
    EXPECT_GT(ClipboardHost().GetChanges(), Changes);
    TClipboard* Board = Clipboard();
    Board->Open();
    const UINT Column = V->GetColumnClipFormat();
    ASSERT_TRUE(Board->HasFormat(Column));
    HGLOBAL Block = Board->GetAsHandle(Column);
    ASSERT_NE(Block, nullptr);
    const auto* Bytes = static_cast<const char*>(GlobalLock(Block));
    EXPECT_EQ(std::string(Bytes, 8), "XY\r\nZW\r\n");
    GlobalUnlock(Block);
    EXPECT_EQ(Board->GetAsText(), "XY\r\nZW\r\n");
    Board->Close();
}

TEST_F(QtViewerTest, PrintingWritesAPdfWithTheLinesTheHeaderAndPageNumbers) {
    MakeViewer(Lines(150));
    const std::string Pdf = Dir.File("out.pdf");
    Platform->Graphics().GetPrinter().SetOutputFileName(Pdf);
    V->Print("the header", "job", true, false, prAllPages, 0, 0);
    const std::int64_t Pages = V->GetPageCount();
    ASSERT_GE(Pages, 3);
    EXPECT_EQ(Platform->Graphics().GetPrinter().GetPagesPrinted(), Pages);
    EXPECT_NE(Output("pdfinfo '" + Pdf + "'").find("Pages:           " + std::to_string(Pages)),
              std::string::npos);
    const std::string Second = Output("pdftotext -f 2 -l 2 '" + Pdf + "' -");
    const std::int64_t First = V->GetLinesPerPage();
    EXPECT_NE(Second.find("the header"), std::string::npos) << Second;
    EXPECT_NE(Second.find("row " + std::to_string(First) + " of the text"), std::string::npos)
        << "page 2 starts with the line after page 1's last: " << Second;
    EXPECT_NE(Second.find("Page 2"), std::string::npos);
    EXPECT_EQ(
        Output("pdftotext -f 1 -l 1 '" + Pdf + "' -").find("row " + std::to_string(First) + " of"),
        std::string::npos);
}

TEST_F(QtViewerTest, TheFindDialogIsAWindowWhoseButtonsCallTheDialog) {
    MakeViewer(Lines(40));
    TFindDialog Find(nullptr);
    std::string Asked;
    Find.SetOnFind([&](TObject*) {
        Asked = Find.GetFindText();
        V->Find(&Find, Find.GetFindText(), Find.GetOptions());
    });
    bool Closed = false;
    Find.SetOnClose([&](TObject*) { Closed = true; });
    Find.SetFindText("eps");
    ASSERT_TRUE(Find.Execute());
    QWidget* Dialog = Platform->Windows().WidgetOf(Find.GetHandle());
    ASSERT_NE(Dialog, nullptr);
    EXPECT_TRUE(Dialog->isVisible());
    auto* Text = Dialog->findChild<QLineEdit*>();
    ASSERT_NE(Text, nullptr);
    EXPECT_EQ(Text->text(), QStringLiteral("eps"));
    Text->setText(QStringLiteral("row 30"));
    for (auto* B : Dialog->findChildren<QPushButton*>())
        if (B->text() == QStringLiteral("&Find Next"))
            B->click();
    Pump();
    EXPECT_EQ(Asked, "row 30");
    EXPECT_EQ(V->GetLineNumber(), 30);
    EXPECT_EQ(V->GetSelection(), "row 30");
    QTest::keyClick(Dialog, Qt::Key_Escape);
    EXPECT_TRUE(Closed);
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_TRUE(Reported.empty());
}

TEST_F(QtViewerTest, SettingsKeepStringsAndIntegersApartInTheirFile) {
    {
        TRegistry Reg;
        Reg.SetRootKey(HKEY_CURRENT_USER);
        ASSERT_TRUE(Reg.OpenKey("Software\\Kestrel\\Test", true));
        Reg.WriteInteger("Count", 42);
        Reg.WriteString("Name", "caf\xe9 \"quoted\"\tand tabbed");
    }
    Platform.reset(); // written out; a new platform reads the file
    Platform = std::make_unique<qt::TQtPlatformScope>(Dir.File("settings.conf"));
    TRegistry Reg;
    Reg.SetRootKey(HKEY_CURRENT_USER);
    ASSERT_TRUE(Reg.OpenKey("software\\kestrel\\TEST", false));
    EXPECT_EQ(Reg.ReadInteger("count"), 42);
    EXPECT_EQ(Reg.ReadString("NAME"), "caf\xe9 \"quoted\"\tand tabbed");
    EXPECT_TRUE(Reg.KeyExists("\\Software\\Kestrel"));
}

} // namespace
} // namespace kestrel::test
