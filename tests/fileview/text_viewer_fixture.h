// A text viewer on the headless platform for tests: a TTextStream over a string or a generated
// text, message pumping, idle steps, a reference line index and access to the drawing record.
#pragma once

#include "fileview/text_viewer.h"
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/printers.h"
#include "support/testdata/generated_text.h"
#include "textbuff/text_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::test {

/// TTextViewer with its protected parts opened to the tests.
class TTestTextViewer : public TTextViewer {
public:
    explicit TTestTextViewer(TComponent* AOwner) : TTextViewer(AOwner) {
        GetFont()->SetName("Courier New"); // the headless monospaced model: 7 x 14 pixels
        SetBuffer(new TTextStream(nullptr));
        GetBuffer()->SetCanvas(GetCanvas());
    }

    TTextStream* Stream() const { return static_cast<TTextStream*>(GetBuffer()); }

    /// Attaches S as the text and starts over, as the stream viewer component does.
    void LoadStream(std::unique_ptr<TStream> S) {
        Clear();
        Stream()->SetSourceStream(std::move(S));
        CountComplete = GetTextSize() == 0;
        SetState(vsEmpty, GetTextSize() == 0);
        GotoStartOftext();
        SetMaxLineLength(MaxLineLength);
        Redraw();
    }

    HWND Wnd() { return GetHandle(); }
    using TTextViewer::ByteAt;
    using TTextViewer::CheckMapInvariants;
    using TTextViewer::DoKillFocus;
    using TTextViewer::DoSetFocus;
    using TTextViewer::DrawEOLChar;
    using TTextViewer::DrawPageBreak;
    using TTextViewer::HandleFontChange;
    using TTextViewer::HandleOnChange;
    using TTextViewer::ReInitialise;
    using TTextViewer::UpdateScreenWidth;
    using TTextViewer::WMWinIniChange;
    void SetLinesPerPageForTest(std::int64_t N) { LinesPerPage = std::max<std::int64_t>(1, N); }
    /// Checkpoints of the count closer than in use, so that small texts have them.
    void SetCheckpointSpacingForTest(std::int64_t Lines, std::int64_t Bytes) {
        CheckpointLineSpacing = NextCheckpointLine = Lines;
        CheckpointByteSpacing = NextCheckpointOffset = Bytes;
    }
    /// Bytes a paint measures below its first row (rows past them wait for idle time).
    void SetPaintBudgetForTest(std::int64_t Bytes) { PaintBudget = Bytes; }
    void SetSelectionForTest(TLongPoint S, TLongPoint E, TSelModes M) {
        SelAnchor = S;
        SetSelection(S, E, M);
    }
    /// Puts the selection's offsets where a text that changed underneath may leave them.
    void ForceSelectionOffsets(std::int64_t Start, std::int64_t End) {
        SelStartOffset = Start;
        SelEndOffset = End;
    }
    /// The caret line last reported through OnCaretMoved (-1 after a forced report).
    std::int64_t GetReportedLine() const { return ReportedLine; }
};

/// A display line of the reference index: where it starts and how many characters it shows.
struct TRefLine {
    std::int64_t Start = 0;
    std::int64_t Length = 0;
    std::int64_t Width = 0;
};

/// Hosts a TTestTextViewer of 400 x 200 pixels (client area less the scroll bars) on a fresh
/// headless platform, focused, with AutoIdle so that Application->Idle() runs its count.
class TextViewerFixture : public ::testing::Test {
protected:
    void SetUp() override { MakeViewer(); }
    void TearDown() override {
        V.reset();
        Application->SetOnIdle(nullptr);
        Application->ResetTerminated();
    }

    void MakeViewer(int Width = 400, int Height = 200) {
        V.reset();
        V = std::make_unique<TTestTextViewer>(nullptr);
        V->SetAutoIdle(true);
        V->SetBounds(10, 10, Width, Height);
        V->GetHandle();
        V->SetFocus();
        Pump();
    }

    /// The text of the viewer becomes Text (a memory stream).
    void SetText(const std::string& Text) {
        auto S = std::make_unique<TMemoryStream>();
        if (!Text.empty())
            S->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
        S->SetPosition(0);
        V->LoadStream(std::move(S));
        Pump();
    }
    /// The text of the viewer becomes a generated text of Size bytes (nothing on disk).
    const testdata::TGeneratedText& SetGenerated(std::int64_t Size,
                                                 testdata::TGeneratedTextOptions Options = {}) {
        auto S = std::make_unique<testdata::TGeneratedTextStream>(Size, Options);
        const testdata::TGeneratedText* G = &S->GetText();
        V->LoadStream(std::move(S));
        Pump();
        return *G;
    }

    /// Dispatches every waiting message (paints included).
    void Pump() { Application->ProcessMessages(); }
    /// One idle pass of the application; true when the idle handlers are done.
    bool IdleStep() { return Application->Idle(); }
    /// Idle passes (pumping between them) until done or MaxSteps; returns the passes made.
    int RunIdle(int MaxSteps = 1000000) {
        int N = 0;
        while (N < MaxSteps) {
            ++N;
            const bool Done = IdleStep();
            Pump();
            if (Done)
                break;
        }
        return N;
    }

    /// Drags the vertical thumb to display line Line (as the platform reports a tracked thumb).
    void DragThumb(std::int64_t Line) {
        const std::int64_t Scaled = Line / V->GetVertScrollBar()->GetScale();
        PostMessage(V->Wnd(), WM_VSCROLL,
                    MakeScrollWParam(SB_THUMBTRACK, static_cast<std::int32_t>(Scaled)), 0);
        Pump();
    }

    /// Every display line of the text, found with GetNextLine from offset 0 (the layout the
    /// viewer uses now). A text ending with a line break has a last, empty line at TextSize.
    std::vector<TRefLine> ReferenceLines() {
        std::vector<TRefLine> Lines;
        TLinesBuffer* B = V->GetBuffer();
        const std::int64_t Size = B->GetTextSize();
        std::int64_t Pos = 0;
        for (;;) {
            TRefLine L;
            L.Start = Pos;
            B->GetNextLine(Pos, L.Width, L.Length);
            Lines.push_back(L);
            // The last line: it reaches the end and no line break or form feed follows it
            // (a text ending with a line break has one more, empty line at TextSize).
            if (Pos >= Size && L.Start + L.Length == Pos && !B->AtPageBreak(L.Start))
                break;
        }
        return Lines;
    }

    /// Index of the reference line that starts at Offset, or -1.
    static std::int64_t IndexOf(const std::vector<TRefLine>& Ref, std::int64_t Offset) {
        const auto It =
            std::lower_bound(Ref.begin(), Ref.end(), Offset,
                             [](const TRefLine& L, std::int64_t O) { return L.Start < O; });
        if (It == Ref.end() || It->Start != Offset)
            return -1;
        return It - Ref.begin();
    }
    /// The map line agrees with the reference (its number only once numbers are exact).
    void ExpectMapConsistent(const std::vector<TRefLine>& Ref, const std::string& Where) {
        const std::int64_t I = IndexOf(Ref, V->GetLineStart());
        ASSERT_GE(I, 0) << Where << ": the map is not on a line start: " << V->GetLineStart();
        const auto N = static_cast<std::int64_t>(Ref.size());
        const std::int64_t Size = V->GetTextSize();
        EXPECT_EQ(V->GetNextLineStart(), I + 1 < N ? Ref[I + 1].Start : Size) << Where;
        EXPECT_EQ(V->GetPrevLineStart(), I > 0 ? Ref[I - 1].Start : 0) << Where;
        EXPECT_EQ(V->GetMapLineLength(), Ref[I].Length) << Where;
        if (!V->GetLineNumbersPending()) {
            EXPECT_EQ(V->GetMapLine(), I) << Where << " (numbers are exact)";
        }
    }
    /// Every number is exact: the map line, the caret line, the last line.
    void ExpectExact(const std::vector<TRefLine>& Ref, const std::string& Where) {
        ExpectMapConsistent(Ref, Where);
        EXPECT_FALSE(V->GetLineNumbersPending()) << Where;
        EXPECT_TRUE(V->GetCountComplete()) << Where;
        EXPECT_EQ(V->GetMapLine(), IndexOf(Ref, V->GetLineStart())) << Where;
        EXPECT_EQ(V->GetLastLine(), static_cast<std::int64_t>(Ref.size()) - 1) << Where;
        EXPECT_EQ(V->GetLineNumber(), IndexOf(Ref, V->GetCaretLineStart())) << Where;
    }

    headless::THeadlessWindowPlatform& Win() { return Platform.Windows(); }
    headless::TDrawRecord& Record() { return Win().GetWindowRecord(V->Wnd()); }
    /// Forgets the drawing calls made so far.
    void ClearRecord() { Record().clear(); }
    /// Repaints the whole client area now and returns the drawing calls of that paint.
    headless::TDrawRecord Repaint() {
        Pump();
        ClearRecord();
        V->Redraw();
        Pump();
        return Record();
    }
    /// The text calls of Record, top to bottom as they were made.
    static std::vector<headless::TDrawCall> TextCalls(const headless::TDrawRecord& R,
                                                      headless::TDrawOp Op) {
        std::vector<headless::TDrawCall> Out;
        for (const headless::TDrawCall& C : R)
            if (C.Op == Op)
                Out.push_back(C);
        return Out;
    }
    TLongPoint Caret() const { return LongPoint(V->GetCharNumber(), V->GetLineNumber()); }
    std::int64_t CharW() const { return V->GetCharWidth(); }
    std::int64_t CharH() const { return V->GetCharHeight(); }

    headless::THeadlessPlatformScope Platform;
    std::unique_ptr<TTestTextViewer> V;
};

} // namespace kestrel::test
