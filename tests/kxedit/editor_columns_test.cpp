// Column blocks and dragging: a block over a short line, dropping a selection on itself, after
// itself and with Ctrl, a drop inside a multi-line selection; then a randomized test with a
// proportional font on wrapped lines against a model that cuts each row by its own pixel edges.
#include "editor_fixture.h"

#include <cstring>
#include <random>

namespace kestrel::test {
namespace {

class EditorColumnsTest : public EditorFixture {
protected:
    int PX(std::int64_t Ch) { return static_cast<int>(E->GetLeftMargin() + Ch * 7); }
    int PY(std::int64_t Row) { return static_cast<int>(Row * E->GetCharHeight() + 2); }
    /// Drags from character (C0, R0) to (C1, R1) of the screen and drops there.
    void Drag(std::int64_t C0, std::int64_t R0, std::int64_t C1, std::int64_t R1,
              TShiftState AtDrop = {}) {
        Platform.Input().PostMouseMove(E->Wnd(), PX(C0), PY(R0));
        Platform.Input().PostMouseDown(E->Wnd(), mbLeft, PX(C0), PY(R0));
        Platform.Input().PostMouseMove(E->Wnd(), PX(C1), PY(R1));
        Pump();
        Platform.Input().SetShiftState(AtDrop);
        Platform.Input().PostMouseUp(E->Wnd(), mbLeft, PX(C1), PY(R1));
        Pump();
        Platform.Input().SetShiftState({});
        Platform.Queue().AdvanceClock(1000);
    }
};

TEST_F(EditorColumnsTest, DeletingABlockLeavesALineShorterThanItsLeftEdge) {
    E->SetWrapMode(opNone);
    SetText("abcdef\r\nab\r\nabcdef");
    E->SetSelection(LongPoint(3, 0), LongPoint(5, 2), smColumn);
    EXPECT_EQ(E->GetSelection(), "de\r\n\r\nde\r\n");
    Key(VK_DELETE);
    EXPECT_EQ(E->Text(), "abcf\r\nab\r\nabcf");
    EXPECT_EQ(E->GetSelMode(), smNone);
    E->Undo();
    EXPECT_EQ(E->Text(), "abcdef\r\nab\r\nabcdef");
    EXPECT_EQ(E->GetSelMode(), smColumn);
    // Typing over a block replaces it at its top-left corner.
    Char('X');
    EXPECT_EQ(E->Text(), "abcXf\r\nab\r\nabcf");
    EXPECT_THROW(E->DeleteColumnText("", false), EInternalError); // no block now
    EXPECT_THROW(E->MoveText(0, false), EInternalError);
}

TEST_F(EditorColumnsTest, DraggingASelectionMovesOrCopiesIt) {
    E->SetWrapMode(opNone);
    SetText("hello brave world\r\nsecond line\r\nthird");
    // Dropped inside itself: nothing changes.
    E->SetSelection(LongPoint(6, 0), LongPoint(11, 0), smExtend);
    Drag(7, 0, 9, 0);
    EXPECT_EQ(E->Text(), "hello brave world\r\nsecond line\r\nthird");
    // Dropped after itself on the same line: moved; one undo gives the text and the caret back.
    E->FocusAt(2, false);
    E->SetSelection(LongPoint(6, 0), LongPoint(12, 0), smExtend);
    const std::int64_t CaretBefore = E->Caret();
    Drag(7, 0, 17, 0);
    EXPECT_EQ(E->Text(), "hello worldbrave \r\nsecond line\r\nthird");
    EXPECT_EQ(E->GetSelection(), "brave ");
    E->Undo();
    EXPECT_EQ(E->Text(), "hello brave world\r\nsecond line\r\nthird");
    EXPECT_EQ(E->Caret(), CaretBefore);
    // Ctrl at the drop copies: the source stays, the copy is selected.
    E->SetSelection(LongPoint(0, 0), LongPoint(5, 0), smExtend);
    Drag(1, 0, 0, 2, TShiftState{ssCtrl});
    EXPECT_EQ(E->Text(), "hello brave world\r\nsecond line\r\nhellothird");
    EXPECT_EQ(E->GetSelection(), "hello");
    // Beyond the end of a line the drop pads it with spaces.
    E->SetSelection(LongPoint(0, 1), LongPoint(6, 1), smExtend);
    Drag(1, 1, 12, 2);
    EXPECT_EQ(E->Text(), "hello brave world\r\n line\r\nhellothird  second");
    E->Undo();
    EXPECT_EQ(E->Text(), "hello brave world\r\nsecond line\r\nhellothird");
    // A drop inside a selection of several lines, beyond a line's end, is a drop on itself.
    E->SetSelection(LongPoint(2, 0), LongPoint(3, 2), smExtend);
    Drag(3, 1, 15, 1);
    EXPECT_EQ(E->Text(), "hello brave world\r\nsecond line\r\nhellothird");
}

TEST_F(EditorColumnsTest, DraggingAColumnBlock) {
    E->SetWrapMode(opNone);
    SetText("abcdef\r\nabcdef\r\nabcdef");
    E->SetSelection(LongPoint(1, 0), LongPoint(3, 1), smColumn);
    Drag(2, 0, 5, 2); // dropped right of the block's rows
    EXPECT_EQ(E->Text(), "adef\r\nadef\r\nabcdebcf\r\n     bc\r\n");
    E->Undo();
    EXPECT_EQ(E->Text(), "abcdef\r\nabcdef\r\nabcdef");
    E->SetSelection(LongPoint(1, 0), LongPoint(3, 1), smColumn);
    Drag(2, 1, 2, 0); // on itself
    EXPECT_EQ(E->Text(), "abcdef\r\nabcdef\r\nabcdef");
}

// The rows of a column block in the model: every display line from the block's first to its
// last, cut at the block's two pixel edges within that line's own characters.
std::vector<std::pair<std::int64_t, std::int64_t>>
ModelRows(TLinesBuffer* B, std::int64_t FirstLine, std::int64_t LastLine, std::int64_t Left,
          std::int64_t Right) {
    std::vector<std::pair<std::int64_t, std::int64_t>> Rows;
    std::int64_t Pos = 0;
    for (std::int64_t Line = 0; Line <= LastLine; ++Line) {
        const std::int64_t Start = Pos;
        std::int64_t W = 0;
        std::int64_t N = 0;
        const bool More = B->GetNextLine(Pos, W, N);
        if (Line >= FirstLine) {
            std::int64_t A = Start;
            std::int64_t C = Start;
            B->GetCharAt(A, Left, W);
            B->GetCharAt(C, Right, W);
            A = std::clamp(A, Start, Start + N);
            C = std::clamp(C, Start, Start + N);
            Rows.emplace_back(std::min(A, C), std::max(A, C));
        }
        if (!More)
            break;
    }
    return Rows;
}

std::int64_t LineOf(TLinesBuffer* B, std::int64_t Offset) {
    std::int64_t Pos = 0;
    for (std::int64_t Line = 0;; ++Line) {
        const std::int64_t Start = Pos;
        std::int64_t W = 0;
        std::int64_t N = 0;
        if (!B->GetNextLine(Pos, W, N) || Offset < Pos || Pos <= Start)
            return Line;
    }
}

TEST_F(EditorColumnsTest, RandomBlocksOnWrappedProportionalTextAgainstAModel) {
    MakeEditor(260, 400);
    E->GetFont()->SetName("Arial");
    E->SetWrapMode(opWrapScreenWidth);
    const std::uint32_t Seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(Seed));
    std::mt19937 Rng(Seed);
    const auto Pick = [&](int N) { return static_cast<int>(Rng() % static_cast<unsigned>(N)); };
    const char* Words[] = {"a", "bb", "ccc", "wide", "Willow", "ii", "mmm", "\t", "xyz"};
    for (int Case = 0; Case < 120; ++Case) {
        std::string T;
        const int Lines = 3 + Pick(8);
        for (int L = 0; L < Lines; ++L) {
            for (int K = Pick(12); K > 0; --K) {
                T += Words[Pick(9)];
                T += ' ';
            }
            if (L + 1 < Lines || Pick(2) == 0)
                T += Pick(3) == 0 ? "\n" : "\r\n";
        }
        SetText(T);
        TLinesBuffer* B = E->GetBuffer();
        const std::int64_t Last = E->GetLastLine();
        const std::int64_t L0 = Pick(static_cast<int>(Last + 1));
        const std::int64_t L1 = std::min<std::int64_t>(Last, L0 + Pick(4));
        const TLongPoint S = LongPoint(Pick(8), L0);
        const TLongPoint End = LongPoint(S.X + Pick(8), L1);
        const auto Select = [&] {
            E->ResetSelection(ZeroPoint);
            E->SetSelection(S, End, smColumn);
        };
        Select();
        const auto Rows = ModelRows(B, L0, L1, E->GetColumnLeft(), E->GetColumnRight());
        std::string Want = T;
        std::string Block;
        std::int64_t Removed = 0;
        for (auto It = Rows.rbegin(); It != Rows.rend(); ++It) {
            Want.erase(static_cast<std::size_t>(It->first),
                       static_cast<std::size_t>(It->second - It->first));
            Removed += It->second - It->first;
        }
        for (const auto& [A, C] : Rows)
            Block +=
                T.substr(static_cast<std::size_t>(A), static_cast<std::size_t>(C - A)) + "\r\n";
        EXPECT_EQ(E->GetSelection(), Block) << "case " << Case;
        EXPECT_EQ(E->GetSelectionSize(), static_cast<std::int64_t>(Block.size()));
        // Deleting, then undoing.
        EXPECT_EQ(E->DeleteColumnText("", false), Removed) << "case " << Case;
        ASSERT_EQ(E->Text(), Want) << "case " << Case;
        E->Undo();
        ASSERT_EQ(E->Text(), T) << "case " << Case;

        // Moving to the start of a line below the block's first row: the position moves back
        // by the bytes deleted before it, and the first row lands exactly there.
        const std::int64_t Target = std::min<std::int64_t>(Last, L0 + Pick(6));
        E->ResetSelection(ZeroPoint);
        E->SetLineNumber(Target);
        E->SetCharNumber(0);
        const std::int64_t Pos = E->Caret();
        Select();
        std::int64_t Shift = 0;
        for (const auto& [A, C] : Rows)
            Shift += C <= Pos ? C - A : A < Pos ? Pos - A : 0;
        E->MoveColumns(Pos, false);
        const std::string First = Block.substr(0, Block.find('\r'));
        EXPECT_EQ(E->Text().substr(static_cast<std::size_t>(Pos - Shift), First.size()), First)
            << "case " << Case << " pos " << Pos;
        E->Undo();
        ASSERT_EQ(E->Text(), T) << "case " << Case;

        // Inserting a block: every row on a display line after the one holding the row above.
        const int Count = 2 + Pick(4);
        std::string Marks;
        for (int R = 0; R < Count; ++R)
            Marks += "#" + std::string(static_cast<std::size_t>(1 + Pick(5)), '0' + R) + "\r\n";
        TGlobalHandleGuard Mem(GlobalAlloc(GHND, static_cast<std::int64_t>(Marks.size()) + 1));
        std::memcpy(GlobalLock(Mem.Get()), Marks.data(), Marks.size());
        GlobalUnlock(Mem.Get());
        E->ResetSelection(ZeroPoint);
        const std::int64_t At = Pick(static_cast<int>(T.size()) + 1);
        E->InsertColumnText(Mem.Get(), At);
        const std::string Now = E->Text();
        std::int64_t PrevLine = -1;
        for (int R = 0; R < Count; ++R) {
            const std::size_t F = Now.find(std::string("#") + static_cast<char>('0' + R));
            ASSERT_NE(F, std::string::npos) << "case " << Case;
            const std::int64_t Line = LineOf(B, static_cast<std::int64_t>(F));
            EXPECT_GT(Line, PrevLine) << "case " << Case << " row " << R;
            PrevLine = LineOf(B, static_cast<std::int64_t>(
                                     Now.find_first_not_of(static_cast<char>('0' + R), F + 1)) -
                                     1);
        }
        E->CheckMapInvariants();
        E->Undo();
        ASSERT_EQ(E->Text(), T) << "case " << Case;
    }
}

} // namespace
} // namespace kestrel::test
