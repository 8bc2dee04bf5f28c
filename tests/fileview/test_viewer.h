// A lines viewer over an in-memory list of lines (one display line each, monospaced), and a
// fixture that hosts it on the headless platform and drives it through messages.
#pragma once

#include "fileview/lines_viewer.h"
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/printers.h"
#include "host/registry.h"
#include "textbuff/text_buffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kestrel::test {

inline bool IsWordByte(std::uint8_t C) {
    return WordChars.Contains(C);
}

/// Lines joined by LF; every stored line is one display line of fixed-width characters. A line
/// holding a single form feed is a page break.
class TTestViewer : public TLinesViewer {
public:
    explicit TTestViewer(TComponent* AOwner) : TLinesViewer(AOwner) {
        GetFont()->SetName("Courier New"); // the headless monospaced model
    }

    void SetLines(std::vector<std::string> Lines) {
        FLines = std::move(Lines);
        if (FLines.empty())
            FLines.emplace_back();
        ReInitialise();
        SetLastLine(static_cast<std::int64_t>(FLines.size()) - 1);
        PageCount = LastLine / std::max<std::int64_t>(1, LinesPerPage) + 1;
        SetState(vsEmpty, GetTextSize() == 0);
        HorzScrollBar->SetLimit(LongestLine() + CharWidth);
        Redraw();
    }
    const std::vector<std::string>& Lines() const { return FLines; }
    std::int64_t LongestLine() const {
        std::int64_t W = 0;
        for (const std::string& L : FLines)
            W = std::max<std::int64_t>(W, static_cast<std::int64_t>(L.size()) * CharWidth);
        return W;
    }

    // Test access to protected state.
    using TLinesViewer::ExtendSelection;
    using TLinesViewer::ReInitialise;
    using TLinesViewer::SetMouseSelection;
    void SetPageCountForTest(std::int64_t N) { PageCount = N; }
    void SetLinesPerPageForTest(std::int64_t N) { LinesPerPage = N; }
    HWND Wnd() { return GetHandle(); }

    int CopyCount = 0;
    std::vector<std::int64_t> PrintedLines;
    std::vector<std::int64_t> PageQueries;
    bool ThrowInPrintLine = false;

    // ---- The text operations
    std::int64_t LineStartOf(std::int64_t Line) const {
        std::int64_t O = 0;
        for (std::int64_t I = 0; I < Line && I < static_cast<std::int64_t>(FLines.size()); ++I)
            O += static_cast<std::int64_t>(FLines[static_cast<std::size_t>(I)].size()) + 1;
        return O;
    }
    std::int64_t LenOf(std::int64_t Line) const {
        if (Line < 0 || Line >= static_cast<std::int64_t>(FLines.size()))
            return 0;
        return static_cast<std::int64_t>(FLines[static_cast<std::size_t>(Line)].size());
    }
    std::string Text() const {
        std::string T;
        for (std::size_t I = 0; I < FLines.size(); ++I)
            T += (I ? "\n" : "") + FLines[I];
        return T;
    }
    TLongPoint OffsetToPoint(std::int64_t O) const {
        std::int64_t Line = 0;
        while (Line + 1 < static_cast<std::int64_t>(FLines.size()) && O > LenOf(Line)) {
            O -= LenOf(Line) + 1;
            ++Line;
        }
        return LongPoint(std::max<std::int64_t>(0, O), Line);
    }

    std::int64_t CharNumToPoint(std::int64_t CharNum) override { return CharNum * CharWidth; }
    void CopySelection(HGLOBAL) override {}
    std::int64_t CopyColumnText(HGLOBAL) override { return 0; }
    void CopyToStream(TStream* Stream) override {
        const std::string T = Text();
        Stream->WriteBuffer(T.data(), static_cast<std::int64_t>(T.size()));
    }
    TLongPoint FindWordEnd(const TLongPoint& From) override {
        const std::string T = Text();
        std::int64_t O = TextOffset(From);
        while (O < static_cast<std::int64_t>(T.size()) &&
               IsWordByte(static_cast<std::uint8_t>(T[static_cast<std::size_t>(O)])))
            ++O;
        return OffsetToPoint(O);
    }
    TLongPoint FindWordStart(const TLongPoint& From) override {
        const std::string T = Text();
        std::int64_t O = TextOffset(From);
        if (O == static_cast<std::int64_t>(T.size()))
            --O;
        auto Word = [&](std::int64_t I) {
            return IsWordByte(static_cast<std::uint8_t>(T[static_cast<std::size_t>(I)]));
        };
        while (O >= 0 && !Word(O))
            --O;
        while (O >= 0 && Word(O))
            --O;
        return OffsetToPoint(O + 1);
    }
    TLongPoint FindNextWord(const TLongPoint& From) override {
        const std::string T = Text();
        std::int64_t O = TextOffset(FindWordEnd(From));
        while (O < static_cast<std::int64_t>(T.size()) &&
               (T[static_cast<std::size_t>(O)] == ' ' || T[static_cast<std::size_t>(O)] == '\t'))
            ++O;
        return OffsetToPoint(O);
    }
    std::int64_t GetSelectionSize() override { return TextOffset(SelEnd) - TextOffset(SelStart); }
    std::int64_t GetTextSize() override { return static_cast<std::int64_t>(Text().size()); }
    void GotoLocation(std::int64_t Location) override {
        const std::int64_t Row = LineNumber - TopLine;
        const TLongPoint P = OffsetToPoint(Location);
        SetLineNumber(P.Y);
        SetCharNumber(P.X);
        SetDeltaY(TopLine + Row - (LineNumber - TopLine));
    }
    void GetLineData(std::int64_t Line, std::int64_t& W, std::int64_t& L, std::int64_t& Page,
                     std::int64_t& Offset, std::int64_t& Top) override {
        L = LenOf(Line);
        W = L * CharWidth;
        Page = GetPageNumber(Line);
        Offset = 0;
        Top = 0;
    }
    std::int64_t GetLineAtTopOfPage(std::int64_t Page) override {
        PageQueries.push_back(Page);
        return std::min((Page - 1) * LinesPerPage, LastLine);
    }
    std::int64_t GetPageNumber(std::int64_t Line) override { return Line / LinesPerPage + 1; }
    void PaintLines(std::int64_t Y, std::int64_t FirstLine, std::int64_t Count) override {
        TCanvas* C = GetCanvas();
        const int Width = GetClientWidth();
        const int X0 = static_cast<int>(LeftMargin - DeltaX);
        for (std::int64_t I = 0; I < Count; ++I, Y += CharHeight) {
            const std::int64_t Line = FirstLine + I;
            const int Top = static_cast<int>(Y);
            const int Bottom = static_cast<int>(Y + CharHeight);
            C->FillRect(Rect(0, Top, Width, Bottom));
            if (Line > LastLine)
                continue;
            C->TextOut(X0, Top, FLines[static_cast<std::size_t>(Line)]);
            if (SelMode == smNone || Line < SelStart.Y || Line > SelEnd.Y)
                continue;
            std::int64_t L = 0;
            std::int64_t R = LenOf(Line) * CharWidth;
            if (SelMode == smColumn) {
                L = SelStart.X * CharWidth;
                R = SelEnd.X * CharWidth;
            } else {
                if (Line == SelStart.Y)
                    L = SelStart.X * CharWidth;
                if (Line == SelEnd.Y)
                    R = SelEnd.X * CharWidth;
            }
            C->GetHandle()->InvertRect(
                Rect(X0 + static_cast<int>(L), Top, X0 + static_cast<int>(R), Bottom));
        }
    }
    void PrintLine(std::int64_t X, std::int64_t Y, std::int64_t Line, TPrintRange,
                   bool& PageBreak) override {
        if (ThrowInPrintLine)
            throw Exception("printer jammed");
        PrintedLines.push_back(Line);
        Printer()->GetCanvas()->TextOut(static_cast<int>(X), static_cast<int>(Y),
                                        FLines[static_cast<std::size_t>(Line)]);
        PageBreak = Line + 1 <= LastLine && FLines[static_cast<std::size_t>(Line + 1)] == "\f";
    }
    std::int64_t MarkLocation() override { return TextOffset(LongPoint(CharNumber, LineNumber)); }
    bool Search(const std::string& Text, TFindOptions) override {
        ++SearchCount;
        if (OnSearch)
            OnSearch();
        const std::string T = this->Text();
        const auto At =
            T.find(Text, static_cast<std::size_t>(TextOffset(LongPoint(CharNumber, LineNumber)) +
                                                  (SelMode != smNone ? 1 : 0)));
        if (Text.empty() || At == std::string::npos)
            return false;
        const TLongPoint S = OffsetToPoint(static_cast<std::int64_t>(At));
        const TLongPoint E = OffsetToPoint(static_cast<std::int64_t>(At + Text.size()));
        SelAnchor = S;
        SetSelection(S, E, smExtend);
        SetLineNumber(E.Y);
        SetCharNumber(E.X);
        return true;
    }
    void SyncToChar(std::int64_t& X, std::int64_t& CharNum) override {
        if (X > LineWidth) {
            CharNum = LineLength;
            return;
        }
        CharNum = (X + CharWidth / 2) / CharWidth;
        X = CharNum * CharWidth;
    }
    void UpdateMouseCursor(int X, int) override {
        const bool Boundary = DragMargin && LeftMargin > 0 && X == LeftMargin - DeltaX;
        SetMouseState(TMouseStates{msMarginBoundary}, Boundary);
    }
    std::int64_t AllocBookmark() override { return 0; }
    void DeleteBookmark(std::int64_t) override {}
    void GotoBookMark(std::int64_t) override {}
    void CopyToClipBoard() override { ++CopyCount; }
    std::string GetInitialFindStr() override { return FindStr; }
    std::string GetSelection() override {
        return Text().substr(static_cast<std::size_t>(TextOffset(SelStart)),
                             static_cast<std::size_t>(GetSelectionSize()));
    }
    std::string GetString(std::int64_t Line, std::int64_t Start, std::int64_t Count) override {
        return FLines[static_cast<std::size_t>(Line)].substr(static_cast<std::size_t>(Start),
                                                             static_cast<std::size_t>(Count));
    }
    void SaveSelection(const std::string&) override {}
    std::int64_t TextOffset(const TLongPoint& P) override {
        return LineStartOf(P.Y) + std::min(P.X, LenOf(P.Y));
    }

    int SearchCount = 0;
    std::function<void()> OnSearch;

private:
    std::vector<std::string> FLines{""};
};

/// Hosts a TTestViewer of 400 x 200 pixels on a fresh headless platform, focused.
class ViewerFixture : public ::testing::Test {
protected:
    void SetUp() override { MakeViewer(); }
    void TearDown() override {
        V.reset();
        Application->ResetTerminated();
    }

    void MakeViewer() {
        V.reset();
        V = std::make_unique<TTestViewer>(nullptr);
        V->SetBounds(10, 10, 400, 200);
        V->GetHandle();
        V->SetFocus();
        Pump();
    }

    /// Dispatches every waiting message.
    void Pump() { Application->ProcessMessages(); }
    void Key(int VirtKey, TShiftState Shift = {}) {
        Platform.Input().SetShiftState(Shift);
        Platform.Input().PostKeyPress(VirtKey);
        Pump();
        Platform.Input().SetShiftState({});
    }
    void Click(int X, int Y, TShiftState Shift = {}) {
        Platform.Input().SetShiftState(Shift);
        Platform.Input().PostMouseDown(V->Wnd(), mbLeft, X, Y);
        Platform.Input().PostMouseUp(V->Wnd(), mbLeft, X, Y);
        Pump();
        Platform.Input().SetShiftState({});
    }
    headless::THeadlessWindowPlatform& Win() { return Platform.Windows(); }
    TLongPoint Caret() const { return LongPoint(V->GetCharNumber(), V->GetLineNumber()); }
    /// Lines "line 0: ..." of varied lengths.
    static std::vector<std::string> NumberedLines(int Count) {
        std::vector<std::string> L;
        for (int I = 0; I < Count; ++I)
            L.push_back("line " + std::to_string(I) +
                        std::string(static_cast<std::size_t>(I % 7), '.'));
        return L;
    }

    headless::THeadlessPlatformScope Platform;
    std::unique_ptr<TTestViewer> V;
};

} // namespace kestrel::test
