// The memo-compatible editor on the headless platform: Lines against a model of the text's
// lines, the small texts of a memo, selections by offsets and into short buffers, hidden
// selections (a column block too), Enter and Tab as a dialog control, and word-wrapped lines.
#include "bigmemo/bigmemo.h"
#include "host/application.h"
#include "host/clipboard.h"
#include "host/headless/headless_platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace kestrel {
namespace {

class BigMemoTest : public ::testing::Test {
protected:
    void SetUp() override {
        M->GetFont()->SetName("Courier New");
        M->SetBounds(10, 10, 400, 200);
        M->SetWordWrap(false);
        M->SetFocus();
        Application->ProcessMessages();
    }
    void TearDown() override {
        M.reset();
        Other.reset();
        Application->SetOnIdle(nullptr);
    }
    void Load(const std::string& Text) {
        TMemoryStream S;
        S.WriteBuffer(Text.data(), static_cast<std::int64_t>(Text.size()));
        S.SetPosition(0);
        M->GetLines()->LoadFromStream(&S);
    }
    std::string Text() { return M->GetBuffer()->GetString(0, M->GetTextSize()); }

    headless::THeadlessPlatformScope Platform;
    std::unique_ptr<TBigMemo> M = std::make_unique<TBigMemo>(nullptr);
    std::unique_ptr<TBigMemo> Other;
};

/// The starts of the display lines of Text without wrapping: 0 and the offset after each LF.
std::vector<std::size_t> LineStarts(const std::string& Text) {
    std::vector<std::size_t> Starts{0};
    for (std::size_t I = 0; I < Text.size(); ++I)
        if (Text[I] == '\n')
            Starts.push_back(I + 1);
    return Starts;
}

// Random Insert, Add, Delete, Put, Get and Count on random texts of CR LF and LF lines, each
// checked against a model: Count leaves out the empty line after a final break, an index past
// the last line means the last line, Delete takes a line with its break.
TEST_F(BigMemoTest, LinesFollowAModelOfTheText) {
    const char* SeedText = std::getenv("KESTREL_SEED");
    const unsigned Seed =
        SeedText ? static_cast<unsigned>(std::atoi(SeedText)) : std::random_device{}();
    SCOPED_TRACE("KESTREL_SEED=" + std::to_string(Seed));
    std::mt19937 Rng(Seed);
    std::string Model;
    for (int Step = 0; Step < 400; ++Step) {
        SCOPED_TRACE("step " + std::to_string(Step));
        if (Step % 50 == 0) {
            Model.clear();
            for (unsigned I = 0, N = Rng() % 6; I < N; ++I)
                Model += std::string(Rng() % 5, static_cast<char>('a' + Rng() % 26)) +
                         (Rng() % 2 ? "\r\n" : "\n");
            if (Rng() % 2)
                Model += "tail";
            Load(Model);
        }
        const std::vector<std::size_t> Starts = LineStarts(Model);
        const auto Last = static_cast<std::int64_t>(Starts.size()) - 1;
        const std::int64_t Count = Model.empty() ? 0 : Model.back() == '\n' ? Last : Last + 1;
        const auto Index = static_cast<std::int64_t>(Rng() % (Starts.size() + 2));
        const std::size_t At = Starts[static_cast<std::size_t>(std::min(Index, Last))];
        const std::size_t Next = std::min(Index, Last) < Last
                                     ? Starts[static_cast<std::size_t>(std::min(Index, Last)) + 1]
                                     : Model.size();
        const std::string S = "s" + std::to_string(Step);
        switch (Rng() % 5) {
        case 0:
            M->GetLines()->Insert(Index, S);
            Model.insert(At, S + "\r\n");
            break;
        case 1: { // Add: an insert at Count
            M->GetLines()->Add(S);
            const std::size_t End = Starts[static_cast<std::size_t>(std::min(Count, Last))];
            Model.insert(End, S + "\r\n");
            break;
        }
        case 2:
            M->GetLines()->Delete(Index);
            Model.erase(At, Next - At);
            break;
        case 3: { // Get: the line without its break
            std::string Line = Model.substr(At, Next - At);
            while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r'))
                Line.pop_back();
            EXPECT_EQ(M->GetLines()->Get(Index), Line);
            break;
        }
        default:
            EXPECT_EQ(M->GetLines()->GetCount(), Count);
        }
        ASSERT_EQ(Text(), Model);
    }
}

TEST_F(BigMemoTest, SmallTextsAndSelections) {
    for (const auto& [T, Count] : std::vector<std::pair<std::string, std::int64_t>>{
             {"", 0}, {"a", 1}, {"a\r\n", 1}, {"a\r\nb", 2}}) {
        Load(T);
        EXPECT_EQ(M->GetLines()->GetCount(), Count) << T;
    }
    Load("");
    M->GetLines()->Insert(0, "S");
    EXPECT_EQ(Text(), "S\r\n");
    Load("one\r\ntwo");
    M->GetLines()->Add("S");
    EXPECT_EQ(Text(), "one\r\nS\r\ntwo") << "Add before an unterminated last line";

    // SelStart then SelLength selects offsets 10 to 15; SelStart alone leaves the caret.
    Load("0123456789abcdefghij\r\nsecond line\r\n");
    M->FocusAt(3, false);
    M->SetSelStart(10);
    EXPECT_EQ(M->GetCharNumber(), 3);
    EXPECT_EQ(M->GetLineNumber(), 0);
    M->SetSelLength(5);
    EXPECT_EQ(M->GetSelText(), "abcde");
    EXPECT_EQ(M->GetSelStart(), 10);
    // A 6-byte buffer takes 5 bytes and a zero; without a selection it is left alone.
    M->SetSelLength(10);
    std::uint8_t Buf[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    EXPECT_EQ(M->GetSelTextBuf(Buf, 6), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Buf)), "abcde");
    // SelText replaces the selection and leaves the inserted text selected.
    M->SetSelText("XY");
    EXPECT_EQ(Text(), "0123456789XY\r\nsecond line\r\n");
    EXPECT_EQ(M->GetSelText(), "XY");
    M->ClearSelection();
    EXPECT_EQ(Text(), "0123456789\r\nsecond line\r\n");
    EXPECT_EQ(M->GetSelTextBuf(Buf, 6), 0);
    EXPECT_EQ(Buf[0], 'a') << "left as it was";
    // A column block into a short buffer: its rows and CR LFs as far as the buffer reaches.
    M->SetSelection(LongPoint(1, 0), LongPoint(4, 1), smColumn);
    EXPECT_EQ(M->GetSelTextBuf(Buf, 8), 7);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Buf)), "123\r\nec");

    // Lines.Delete takes the line at its own start, wherever the caret is.
    Load("a\r\nbb\r\nccc\r\n");
    M->FocusAt(1, false);
    M->GetLines()->Delete(2);
    EXPECT_EQ(Text(), "a\r\nbb\r\n");
}

// The selection hides when the memo loses the focus and comes back in its mode; while hidden,
// SelText and ClearSelection act on it in that mode: a stream selection is replaced, a column
// block loses each row's part (never its corner-to-corner span) and the text goes in at the caret.
TEST_F(BigMemoTest, HiddenSelectionsKeepTheirMode) {
    Other = std::make_unique<TBigMemo>(nullptr);
    Other->SetBounds(10, 300, 100, 100);
    Load("abcdef\r\nghijkl\r\nmnopqr\r\n");
    M->SetSelection(LongPoint(1, 0), LongPoint(3, 2), smColumn);
    Other->SetFocus();
    Application->ProcessMessages();
    EXPECT_EQ(M->GetSelMode(), smNone);
    EXPECT_EQ(M->GetHiddenSelMode(), smColumn);
    M->SetFocus();
    Application->ProcessMessages();
    EXPECT_EQ(M->GetSelMode(), smColumn);
    Other->SetFocus();
    Application->ProcessMessages();
    M->SetSelText("Z");
    EXPECT_EQ(Text(), "adef\r\ngjkl\r\nmZpqr\r\n");
    M->ClearSelection(); // the text put in is selected
    EXPECT_EQ(Text(), "adef\r\ngjkl\r\nmpqr\r\n");

    M->SetFocus();
    Application->ProcessMessages();
    M->SetSelection(LongPoint(1, 0), LongPoint(3, 0), smExtend);
    Other->SetFocus();
    Application->ProcessMessages();
    M->SetSelText("Z");
    EXPECT_EQ(Text(), "aZf\r\ngjkl\r\nmpqr\r\n");
    EXPECT_EQ(M->GetSelMode(), smNone) << "still hidden";
    M->SetHideSelection(false);
    EXPECT_EQ(M->GetSelMode(), smExtend);
    EXPECT_EQ(M->GetSelText(), "Z");
}

// Without the focus the hidden selection is still the one read, cut, copied, pasted over and
// replaced, in its own mode; a selection made meanwhile stays hidden and comes back in its mode.
TEST_F(BigMemoTest, ClipboardAndReplaceTakeTheHiddenSelectionInItsMode) {
    Other = std::make_unique<TBigMemo>(nullptr);
    Other->SetBounds(10, 300, 100, 100);
    const auto Blur = [this] {
        Other->SetFocus();
        Application->ProcessMessages();
    };
    const std::string Start = "abcdef\r\nghijkl\r\nmnopqr\r\n";
    Load(Start);
    M->SetSelection(LongPoint(1, 0), LongPoint(3, 2), smColumn);
    Blur();
    EXPECT_EQ(M->GetSelText(), "bc\r\nhi\r\nno\r\n");
    EXPECT_EQ(M->GetSelLength(), 12);
    M->CutToClipboard();
    EXPECT_EQ(Text(), "adef\r\ngjkl\r\nmpqr\r\n");
    EXPECT_EQ(Platform.Clipboard().GetClipboardBytes(CF_TEXT),
              "bc\r\nhi\r\nno\r\n" + std::string(1, '\0'));
    M->FocusAt(1, false);
    M->PasteFromClipboard(); // the block goes back as a block
    EXPECT_EQ(Text(), Start);

    // A stream selection: copied, then pasted over, the pasted text selected and still hidden.
    M->SetSelStart(0);
    M->SetSelLength(3);
    EXPECT_EQ(M->GetSelMode(), smNone);
    M->CopyToClipboard();
    M->SetSelStart(3);
    M->SetSelLength(3);
    M->PasteFromClipboard();
    EXPECT_EQ(Text(), "abcabc\r\nghijkl\r\nmnopqr\r\n");
    EXPECT_EQ(M->GetSelText(), "abc");
    EXPECT_EQ(M->GetSelStart(), 3);
    // Replace (which focuses the memo) takes the match selected; the dialog's next Replace,
    // the memo without the focus, takes the hidden match.
    M->SetSelStart(0);
    M->SetSelLength(3);
    EXPECT_TRUE(M->Replace(nullptr, "abc", "X", TFindOptions{frDown, frReplace}));
    EXPECT_EQ(Text(), "Xabc\r\nghijkl\r\nmnopqr\r\n");
    EXPECT_EQ(M->GetSelText(), "abc");
    Blur();
    M->FindNext(nullptr);
    EXPECT_EQ(Text(), "XX\r\nghijkl\r\nmnopqr\r\n");
    // WM_CLEAR deletes a hidden block.
    M->SetSelection(LongPoint(0, 1), LongPoint(2, 2), smColumn);
    Blur();
    M->Perform(WM_CLEAR, 0, 0);
    EXPECT_EQ(Text(), "XX\r\nijkl\r\nopqr\r\n");

    // A stream selection set over a hidden block shows as a stream with the focus.
    M->SetFocus();
    M->SetSelection(LongPoint(0, 1), LongPoint(2, 2), smColumn);
    Blur();
    M->SetSelStart(0);
    M->SetSelLength(2);
    EXPECT_EQ(M->GetHiddenSelMode(), smExtend);
    M->SetFocus();
    Application->ProcessMessages();
    EXPECT_EQ(M->GetSelMode(), smExtend);
    EXPECT_EQ(M->GetSelText(), "XX");
}

// Enter and Tab go to the dialog when the memo does not want them; a word-wrapped long line is
// several Lines.
TEST_F(BigMemoTest, DialogKeysAndWrappedLines) {
    EXPECT_NE(M->Perform(WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS, 0);
    EXPECT_EQ(M->Perform(CM_WANTSPECIALKEY, VK_RETURN, 0), 1);
    M->SetWantReturns(false);
    EXPECT_EQ(M->Perform(WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS, 0);
    EXPECT_EQ(M->Perform(CM_WANTSPECIALKEY, VK_RETURN, 0), 0);
    EXPECT_EQ(M->Perform(CM_WANTSPECIALKEY, VK_TAB, 0), 1);
    M->SetWantTabs(false);
    EXPECT_EQ(M->Perform(CM_WANTSPECIALKEY, VK_TAB, 0), 0);
    EXPECT_EQ(M->Perform(WM_GETDLGCODE, 0, 0) & DLGC_WANTTAB, 0);

    Load(std::string(200, 'w') + "\r\nend\r\n");
    EXPECT_EQ(M->GetLines()->GetCount(), 2);
    M->SetWordWrap(true);
    const std::int64_t Count = M->GetLines()->GetCount();
    EXPECT_GT(Count, 3);
    std::string Joined;
    for (std::int64_t I = 0; I + 1 < Count; ++I)
        Joined += M->GetLines()->Get(I);
    EXPECT_EQ(Joined, std::string(200, 'w'));
    EXPECT_EQ(M->GetLines()->Get(Count - 1), "end");
}

} // namespace
} // namespace kestrel
