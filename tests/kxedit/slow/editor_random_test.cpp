// The editor against a model: long random runs of key presses and typed characters (typing,
// Enter, Backspace, Delete, word and line deletes, navigation, selections, overwrite, undo and
// redo) on small texts with CR LF, LF, form feeds and tabs, unwrapped and wrapped. After every
// step the text equals the model, the caret's line and character agree with its offset, and the
// map's invariants hold (asserted in debug builds); once the count has run, every number is
// exact. At the end, undoing all the way back gives the original text, unmodified. The seed is
// printed; KESTREL_SEED=<n> replays another.
#include "kxedit/editor_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace kestrel::test {
namespace {

struct TRandomCase {
    TWrapModes Mode;
    std::uint64_t Seed;
};

class EditorRandomTest : public EditorFixture, public ::testing::WithParamInterface<TRandomCase> {
protected:
    /// Every display line of the text from offset 0, as the viewer's own tests find them.
    std::vector<TRefLine> RefLines() {
        std::vector<TRefLine> Lines;
        TLinesBuffer* B = E->GetBuffer();
        const std::int64_t Size = B->GetTextSize();
        std::int64_t Pos = 0;
        for (;;) {
            TRefLine L;
            L.Start = Pos;
            B->GetNextLine(Pos, L.Width, L.Length);
            Lines.push_back(L);
            if (Pos >= Size && L.Start + L.Length == Pos && !B->AtPageBreak(L.Start))
                break;
        }
        return Lines;
    }
    static std::int64_t IndexOf(const std::vector<TRefLine>& Ref, std::int64_t Offset) {
        for (std::size_t I = 0; I < Ref.size(); ++I)
            if (Ref[I].Start == Offset)
                return static_cast<std::int64_t>(I);
        return -1;
    }
};

std::string RandomText(std::mt19937_64& Rng) {
    std::string Text;
    const int Lines = 4 + static_cast<int>(Rng() % 14);
    for (int I = 0; I < Lines; ++I) {
        if (Rng() % 12 == 0) {
            Text += '\f';
            continue;
        }
        const std::size_t Len = Rng() % 4 == 0 ? 0 : Rng() % 30;
        std::string Line;
        while (Line.size() < Len) {
            const int K = static_cast<int>(Rng() % 12);
            Line += K == 0 ? '\t' : K < 3 ? ' ' : static_cast<char>('a' + Rng() % 26);
        }
        Text += Line;
        Text += Rng() % 3 == 0 ? "\r\n" : "\n";
    }
    if (Rng() % 2 == 0)
        Text += "end";
    return Text;
}

bool IsWord(char C) {
    return WordChars.Contains(static_cast<std::uint8_t>(C));
}

TEST_P(EditorRandomTest, RandomEditingAgreesWithAModel) {
    const TWrapModes Mode = GetParam().Mode;
    const char* SeedText = std::getenv("KESTREL_SEED");
    const std::uint64_t Seed =
        (SeedText != nullptr ? std::strtoull(SeedText, nullptr, 10) : GetParam().Seed) + Mode;
    std::fprintf(stderr, "editor random test: seed %llu, wrap mode %d\n",
                 static_cast<unsigned long long>(Seed), static_cast<int>(Mode));
    SCOPED_TRACE("seed " + std::to_string(Seed) + ", wrap mode " + std::to_string(Mode));
    std::mt19937_64 Rng(Seed);
    if (Mode == opWrapScreenWidth) {
        MakeEditor(150, 200); // a narrow window: lines of about 16 characters
        // Both scroll bars always shown: one that comes or goes re-wraps the text to the new
        // width in the middle of whatever showed it.
        for (TWinScrollBar* Bar : {E->GetVertScrollBar(), E->GetHorzScrollBar()}) {
            Bar->SetMode(sbManual);
            Bar->SetVisible(true);
        }
        Pump();
    }
    E->SetMaxLineLength(11);
    E->SetWrapMode(Mode);
    E->SetMaxUndoLevels(1000);
    const std::string Original = RandomText(Rng);
    SetText(Original);
    std::string Model = Original;
    const std::int64_t SpaceWidth = E->GetBuffer()->WidthOf(' ');

    auto Erase = [&](std::int64_t P, std::int64_t N) {
        Model.erase(static_cast<std::size_t>(P), static_cast<std::size_t>(N));
    };
    auto At = [&](std::int64_t P) {
        return P >= 0 && P < static_cast<std::int64_t>(Model.size())
                   ? Model[static_cast<std::size_t>(P)]
                   : '\0';
    };
    // The selection, when one is shown, is deleted by typing and by the deleting keys.
    auto DeleteSelectionInModel = [&]() -> bool {
        if (!E->GetState().Contains(vsSelection))
            return false;
        const std::int64_t S = E->GetSelStartOffset();
        Erase(S, E->GetSelEndOffset() - S);
        return true;
    };
    // Where typing goes without a selection: the caret, after padding beyond the line's end.
    auto InsertPosInModel = [&]() -> std::int64_t {
        const std::int64_t P = E->Caret();
        if (E->GetCaretX() <= E->GetLineWidth())
            return P;
        const std::int64_t End = E->GetCaretLineStart() + E->GetLineLength();
        const std::int64_t Pad = (E->GetCaretX() - E->GetLineWidth()) / SpaceWidth;
        Model.insert(static_cast<std::size_t>(End), static_cast<std::size_t>(Pad), ' ');
        return End + Pad;
    };

    const bool Trace = std::getenv("KESTREL_TRACE") != nullptr;
    // KESTREL_TRACE=1 prints each step, and the text before it.
    auto Show = [&](const std::string& T) {
        std::string Shown;
        for (const char C : T)
            Shown += C == '\n'   ? std::string("\\n")
                     : C == '\r' ? std::string("\\r")
                     : C == '\f' ? std::string("\\f")
                     : C == '\t' ? std::string("\\t")
                                 : std::string(1, C);
        std::fprintf(stderr, "text: %s\n", Shown.c_str());
    };
    const int Steps = 1500;
    for (int Step = 0; Step < Steps; ++Step) {
        if (Trace)
            std::fprintf(
                stderr,
                "  before: map %lld at %lld prev %lld next %lld len %lld caret (%lld,%lld) "
                "x %lld caretline %lld linelen %lld width %lld sel %d %lld-%lld scan "
                "%lld/%lld pending %d complete %d last %lld insert %d state %x\n",
                (long long)E->GetMapLine(), (long long)E->GetLineStart(),
                (long long)E->GetPrevLineStart(), (long long)E->GetNextLineStart(),
                (long long)E->GetMapLineLength(), (long long)E->GetCharNumber(),
                (long long)E->GetLineNumber(), (long long)E->GetCaretX(),
                (long long)E->GetCaretLineStart(), (long long)E->GetLineLength(),
                (long long)E->GetLineWidth(), (int)E->GetSelMode(),
                (long long)E->GetSelStartOffset(), (long long)E->GetSelEndOffset(),
                (long long)E->GetScanOffset(), (long long)E->GetScanLine(),
                (int)E->GetLineNumbersPending(), (int)E->GetCountComplete(),
                (long long)E->GetLastLine(), (int)E->GetInsertOn(),
                (unsigned)E->GetState().ToBits());
        const int Op = static_cast<int>(Rng() % 24);
        std::string What;
        const std::string Before = Model;
        switch (Op) {
        case 0:
        case 1:
        case 2:
        case 3: { // a character: letters mostly, sometimes a blank, a tab, a form feed
            const int K = static_cast<int>(Rng() % 20);
            const char C = K == 0 ? '\t' : K == 1 ? '\f' : K < 5 ? ' ' : 'a' + Rng() % 26;
            What = "type " + std::to_string(static_cast<int>(C));
            const bool Selected = DeleteSelectionInModel();
            const std::int64_t P = Selected ? E->GetSelStartOffset() : InsertPosInModel();
            const bool Overwrite = !E->GetInsertOn() && !Selected &&
                                   P < static_cast<std::int64_t>(Model.size()) && At(P) != '\n' &&
                                   !(At(P) == '\r' && At(P + 1) == '\n');
            if (Overwrite)
                Model[static_cast<std::size_t>(P)] = C;
            else
                Model.insert(static_cast<std::size_t>(P), 1, C);
            Char(C);
            break;
        }
        case 4: { // Enter
            What = "Enter";
            const bool Selected = DeleteSelectionInModel();
            const std::int64_t P = Selected ? E->GetSelStartOffset() : InsertPosInModel();
            Model.insert(static_cast<std::size_t>(P), "\r\n");
            Key(VK_RETURN);
            break;
        }
        case 5:
        case 6: { // Backspace
            What = "Backspace";
            if (E->GetSelMode() != smNone) {
                DeleteSelectionInModel();
            } else {
                const std::int64_t P = E->Caret();
                if (P > 0 && E->GetCaretX() <= E->GetLineWidth()) {
                    const std::int64_t N = P >= 2 && At(P - 1) == '\n' && At(P - 2) == '\r' ? 2 : 1;
                    Erase(P - N, N);
                }
            }
            Key(VK_BACK);
            break;
        }
        case 7: { // Delete
            What = "Delete";
            if (!DeleteSelectionInModel()) {
                const std::int64_t P = E->Caret();
                if (P < static_cast<std::int64_t>(Model.size()))
                    Erase(P, At(P) == '\r' && At(P + 1) == '\n' ? 2 : 1);
            }
            Key(VK_DELETE);
            break;
        }
        case 8: { // Ctrl+T: the word at the caret
            What = "delete word";
            const std::int64_t P = E->Caret();
            if (P < static_cast<std::int64_t>(Model.size()) && IsWord(At(P))) {
                std::int64_t S = P;
                while (S > 0 && IsWord(At(S - 1)))
                    --S;
                std::int64_t T = P;
                while (T < static_cast<std::int64_t>(Model.size()) && IsWord(At(T)))
                    ++T;
                Erase(S, T - S);
            }
            Key('T', {ssCtrl});
            break;
        }
        case 9: { // Ctrl+Y: the caret's line with its line break
            What = "delete line";
            const std::vector<TRefLine> Ref = RefLines();
            const std::int64_t I = IndexOf(Ref, E->GetCaretLineStart());
            ASSERT_GE(I, 0) << "the caret's line is not a line start";
            const std::int64_t S = Ref[static_cast<std::size_t>(I)].Start;
            const std::int64_t T = I + 1 < static_cast<std::int64_t>(Ref.size())
                                       ? Ref[static_cast<std::size_t>(I + 1)].Start
                                       : S + Ref[static_cast<std::size_t>(I)].Length;
            // A form feed line after a line without a break belongs to the line's end.
            const bool FormFeedNext = T < static_cast<std::int64_t>(Model.size()) &&
                                      At(T) == '\f' &&
                                      S + Ref[static_cast<std::size_t>(I)].Length == T;
            Erase(S, FormFeedNext ? Ref[static_cast<std::size_t>(I)].Length : T - S);
            Key('Y', {ssCtrl});
            break;
        }
        case 10: { // quick key then D: to the end of the line's text
            What = "delete to line end";
            const std::int64_t S = E->GetSelMode() != smNone ? E->GetSelStartOffset() : E->Caret();
            const std::int64_t End = E->GetCaretLineStart() + E->GetLineLength();
            if (End > S)
                Erase(S, End - S);
            Key('Q', {ssCtrl});
            Key('D');
            break;
        }
        case 11: // Insert: overwrite mode on and off
            What = "Insert";
            Key(VK_INSERT);
            break;
        case 12:
        case 13:
        case 14: { // arrows, with Shift now and then
            static const int Keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END};
            const int K = Keys[Rng() % 6];
            const bool Shift = Rng() % 3 == 0;
            What = "arrow " + std::to_string(K) + (Shift ? " with Shift" : "");
            Key(K, Shift ? TShiftState{ssShift} : TShiftState{});
            break;
        }
        case 15: { // a click somewhere, or to its end with Shift
            const std::int64_t Row = static_cast<std::int64_t>(Rng() % 12);
            const std::int64_t Ch = static_cast<std::int64_t>(Rng() % 25);
            const bool Shift = Rng() % 3 == 0;
            What = "click " + std::to_string(Ch) + "," + std::to_string(Row);
            Click(Ch, Row, Shift ? TShiftState{ssShift} : TShiftState{});
            break;
        }
        case 16: // Ctrl+Home, Ctrl+End, Page Down
            What = "far move";
            Key(Rng() % 3 == 0   ? VK_HOME
                : Rng() % 2 == 0 ? VK_END
                                 : VK_NEXT,
                Rng() % 2 == 0 ? TShiftState{ssCtrl} : TShiftState{});
            break;
        case 17:
        case 18: { // undo a few times and redo them: back where it was
            const int N = 1 + static_cast<int>(Rng() % 3);
            What = "undo and redo " + std::to_string(N);
            int Undone = 0;
            for (int K = 0; K < N && E->GetEditStream()->GetUndoCount() > 0; ++K, ++Undone) {
                Key(VK_BACK, {ssAlt});
                E->CheckMapInvariants();
            }
            for (int K = 0; K < Undone; ++K)
                Key('R', {ssCtrl});
            break;
        }
        case 19: // undo once: the model takes the text it gives
            What = "undo";
            Key(VK_BACK, {ssAlt});
            Model = E->Text();
            break;
        case 20: // the count runs in idle time
            What = "idle";
            RunIdle();
            break;
        case 21: // Capitalise the word or selection
            What = "capitalise";
            E->Capitalise();
            Model = E->Text(); // case cycling has tests of its own
            break;
        case 22: { // insert a string with line breaks
            What = "insert string";
            const std::string S = Rng() % 2 == 0 ? "xy\r\nz" : "\nq ";
            const bool Selected = DeleteSelectionInModel();
            const std::int64_t P = Selected ? E->GetSelStartOffset() : InsertPosInModel();
            Model.insert(static_cast<std::size_t>(P), S);
            E->InsertString(S);
            break;
        }
        default: // Ctrl+Left / Ctrl+Right
            What = "word move";
            Key(Rng() % 2 == 0 ? VK_LEFT : VK_RIGHT, {ssCtrl});
            break;
        }
        Pump();
        if (Trace)
            Show(Before);
        if (Trace)
            std::fprintf(
                stderr, "step %d: %s: caret %lld line %lld map %lld at %lld\n", Step, What.c_str(),
                static_cast<long long>(E->Caret()), static_cast<long long>(E->GetLineNumber()),
                static_cast<long long>(E->GetMapLine()), static_cast<long long>(E->GetLineStart()));
        E->CheckMapInvariants(); // asserts in debug builds
        ASSERT_EQ(E->Text(), Model) << "step " << Step << ": " << What << "\nbefore: " << Before;
        // The caret: its line is a line start, its offset gives its point back.
        const std::int64_t Caret = E->Caret();
        const TLongPoint Point = CaretPoint();
        EXPECT_LE(Point.X, E->GetLineLength()) << "step " << Step << ": " << What;
        EXPECT_EQ(E->TextOffset(Point), Caret) << "step " << Step << ": " << What;
        const TLongPoint Back = E->OffsetToPoint(Caret);
        EXPECT_EQ(E->TextOffset(Back), Caret) << "step " << Step << ": " << What;
        const std::vector<TRefLine> Ref = RefLines();
        EXPECT_GE(IndexOf(Ref, E->GetCaretLineStart()), 0) << "step " << Step << ": " << What;
        if (Rng() % 4 == 0 || Op == 20) {
            RunIdle();
            EXPECT_FALSE(E->GetLineNumbersPending());
            EXPECT_EQ(E->GetLastLine(), static_cast<std::int64_t>(Ref.size()) - 1)
                << "step " << Step << ": " << What;
            EXPECT_EQ(E->GetLineNumber(), IndexOf(Ref, E->GetCaretLineStart()))
                << "step " << Step << ": " << What;
        }
        if (::testing::Test::HasFailure())
            FAIL() << "stopped after step " << Step << ": " << What << "\ntext: " << Model;
    }
    // All the way back.
    while (E->GetEditStream()->GetUndoCount() > 0)
        E->Undo();
    Pump();
    EXPECT_EQ(E->Text(), Original);
    EXPECT_FALSE(E->GetModified());
    EXPECT_FALSE(E->GetState().Contains(vsModified));
    E->CheckMapInvariants();
}

INSTANTIATE_TEST_SUITE_P(
    WrapModes, EditorRandomTest,
    ::testing::Values(TRandomCase{opNone, 1001}, TRandomCase{opNone, 2002}, TRandomCase{opNone, 18},
                      TRandomCase{opNone, 11}, TRandomCase{opNone, 6},
                      TRandomCase{opAbsoluteWrap, 3003}, TRandomCase{opAbsoluteWrap, 4004},
                      TRandomCase{opAbsoluteWrap, 20}, TRandomCase{opAbsoluteWrap, 76},
                      TRandomCase{opWrapScreenWidth, 5005}, TRandomCase{opWrapScreenWidth, 24},
                      TRandomCase{opWrapScreenWidth, 14}));

} // namespace
} // namespace kestrel::test
