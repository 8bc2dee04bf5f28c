// An editor on the headless platform for tests: a TBigEditor over a TEditStream, text loaded from
// a string or a generated stream, keys and characters sent as messages, and the reference line
// index and drawing record of the viewer tests.
#pragma once

#include "fileview/text_viewer_fixture.h"
#include "kxedit/kxedit.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrel::test {

/// TBigEditor with the parts the tests look at opened.
class TTestEditor : public TBigEditor {
public:
    explicit TTestEditor(TComponent* AOwner) : TBigEditor(AOwner) {
        GetFont()->SetName("Courier New"); // the headless monospaced model: 7 x 14 pixels
        SetBuffer(new TEditStream(nullptr));
        GetBuffer()->SetCanvas(GetCanvas());
    }

    /// Attaches S as the text and starts over, as the editor components do.
    void LoadStream(std::unique_ptr<TStream> S) {
        Clear();
        GetEditStream()->SetSourceStream(std::move(S));
        CountComplete = GetTextSize() == 0;
        SetState(vsEmpty, GetTextSize() == 0);
        GotoStartOftext();
        SetMaxLineLength(MaxLineLength);
        Redraw();
    }
    /// The whole text.
    std::string Text() { return GetBuffer()->GetString(0, GetTextSize()); }
    std::int64_t Caret() { return CaretOffset(); }

    HWND Wnd() { return GetHandle(); }
    using TBigEditor::CheckMapInvariants;
    using TBigEditor::JumpTo;
    /// Puts the map out of step with the caret, as a handler that moves it behind the editor's
    /// back would.
    void BreakMapForTest() { ++MapLine; }
};

/// Hosts a TTestEditor of 400 x 200 pixels on a fresh headless platform, focused.
class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override { MakeEditor(); }
    void TearDown() override {
        E.reset();
        Application->SetOnIdle(nullptr);
        Application->ResetTerminated();
    }

    void MakeEditor(int Width = 400, int Height = 200) {
        E.reset();
        E = std::make_unique<TTestEditor>(nullptr);
        E->SetAutoIdle(true);
        E->SetBounds(10, 10, Width, Height);
        E->GetHandle();
        E->SetFocus();
        Pump();
    }

    void SetText(const std::string& Text) {
        auto S = std::make_unique<TMemoryStream>();
        if (!Text.empty())
            S->WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
        S->SetPosition(0);
        E->LoadStream(std::move(S));
        Pump();
    }

    void Pump() { Application->ProcessMessages(); }
    /// Idle passes until the count is done (or nothing moves).
    void RunIdle() {
        for (int N = 0; N < 1000000; ++N) {
            const bool Done = Application->Idle();
            Pump();
            if (Done)
                break;
        }
    }

    /// A key pressed with the given modifiers held, and everything it causes handled.
    void Key(int VirtKey, TShiftState Shift = {}) {
        Platform.Input().SetShiftState(Shift);
        Platform.Input().PostKeyPress(VirtKey);
        Pump();
        Platform.Input().SetShiftState({});
    }
    /// A character typed: a key-down no command takes, then the character message.
    void Char(char Ch) {
        PostMessage(E->Wnd(), WM_KEYDOWN, 0xE8, 0); // a key of no layout: no character of its own
        PostMessage(E->Wnd(), WM_CHAR, static_cast<std::uint8_t>(Ch), 0);
        Pump();
    }
    void Type(const std::string& S) {
        for (const char C : S)
            Char(C);
    }
    /// A click of the left button at character Ch of screen row Row (monospaced).
    void Click(std::int64_t Ch, std::int64_t Row, TShiftState Shift = {}) {
        const int X = static_cast<int>(E->GetLeftMargin() + Ch * E->GetCharWidth());
        const int Y = static_cast<int>(Row * E->GetCharHeight() + 2);
        Platform.Input().SetShiftState(Shift);
        Platform.Input().PostMouseDown(E->Wnd(), mbLeft, X, Y);
        Platform.Input().PostMouseUp(E->Wnd(), mbLeft, X, Y);
        Pump();
        Platform.Input().SetShiftState({});
        Platform.Queue().AdvanceClock(1000); // no double click with the next one
    }

    TLongPoint CaretPoint() const { return LongPoint(E->GetCharNumber(), E->GetLineNumber()); }
    std::int64_t Beeps() { return static_cast<std::int64_t>(Platform.Dialogs().GetBeeps().size()); }

    headless::TDrawRecord& Record() { return Platform.Windows().GetWindowRecord(E->Wnd()); }
    void ClearRecord() { Record().clear(); }

    headless::THeadlessPlatformScope Platform;
    std::unique_ptr<TTestEditor> E;
};

} // namespace kestrel::test
