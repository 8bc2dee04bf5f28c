// TBigEditor: construction, the buffer and its events, keys and window messages, properties, and
// the undo integration that carries the caret and the selection through undo and redo.
#include "kxedit/big_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/oem.h"
#include "host/scope_guard.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kestrel {

const TKeyDefinition EditorDefaultKeys[EditorKeyDefCount] = {
    8,    // BackSpaceKey: Backspace
    45,   // InsertKey: Insert
    13,   // NewLineKey: Enter
    345,  // DeleteLineKey: Ctrl+Y
    46,   // DeleteKey: Delete
    340,  // DeleteWordKey: Ctrl+T
    344,  // CutKey: Ctrl+X
    558,  // AltCutKey: Shift+Delete
    342,  // PasteKey: Ctrl+V
    557,  // AltPasteKey: Shift+Insert
    1092, // DelLineEndKey: quick key, then D
    1107, // DelLineStartKey: quick key, then S
    2056, // UndoKey: Alt+Backspace
    338,  // RedoKey: Ctrl+R
};

TBigEditor::TBigEditor(TComponent* AOwner) : TTextViewer(AOwner) {
    for (int I = kiBackSpaceKey; I < kiEditorKeyCount; ++I)
        SetKeyDef(I, EditorDefaultKeys[I - kiBackSpaceKey]);
    SetInsertOn(true);
    SelectAfterPaste = true;
}

TBigEditor::~TBigEditor() {
    // The stream outlives this part of the object: it must not call back into it.
    UnhookStream();
    // The window goes with a base class, which no longer reaches this one's WMDestroy. Nothing
    // may leave a destructor: a platform that fails to hear of it cannot be helped.
    try {
        LeaveClipboardChain();
    } catch (...) { // NOLINT(bugprone-empty-catch)
    }
}

// ---- Buffer and its events ----------------------------------------------------------------

TEditStream* TBigEditor::GetEditStream() const {
    return static_cast<TEditStream*>(GetBuffer()); // SetBuffer takes nothing else
}

void TBigEditor::UnhookStream() noexcept {
    if (TEditStream* Old = GetEditStream()) {
        Old->SetOnUndo(nullptr);
        Old->SetOnSaveUndo(nullptr);
        Old->SetOnModified(nullptr);
        Old->SetOnUndoChange(nullptr);
        Old->SetOnBeforeUndo(nullptr);
        Old->SetOnAfterUndo(nullptr);
    }
}

void TBigEditor::SetBuffer(TLinesBuffer* B) {
    if (B != nullptr && dynamic_cast<TEditStream*>(B) == nullptr)
        throw EInvalidCast("Invalid class typecast");
    UnhookStream();
    TTextViewer::SetBuffer(B);
    TEditStream* S = GetEditStream();
    if (S == nullptr)
        return;
    S->SetOnUndo([this](std::int64_t CaretPos, std::int64_t SelStart, std::int64_t SelEnd,
                        TSelModes SelMode) { HandleUndo(CaretPos, SelStart, SelEnd, SelMode); });
    S->SetOnSaveUndo([this](std::int64_t& CaretPos, std::int64_t& SelStart, std::int64_t& SelEnd,
                            TSelModes& SelMode, bool& Linked) {
        HandleSaveUndo(CaretPos, SelStart, SelEnd, SelMode, Linked);
    });
    S->SetOnModified([this](TObject* Sender) { HandleModified(Sender); });
    S->SetOnUndoChange([this](TObject* Sender) { HandleUndoChange(Sender); });
    S->SetOnBeforeUndo([this](std::int64_t Pos) { HandleBeforeUndo(Pos); });
    S->SetOnAfterUndo([this](TObject* Sender) { HandleAfterUndo(Sender); });
}

void TBigEditor::HandleSaveUndo(std::int64_t& CaretPos, std::int64_t& SelStart,
                                std::int64_t& SelEnd, TSelModes& SelMode, bool& Linked) {
    SelStart = SelStartOffset;
    SelEnd = SelEndOffset;
    SelMode = this->SelMode;
    Linked = LinkUndo || State.Contains(vsDropping) || State.Contains(vsSearching) ||
             this->SelMode == smColumn;
    CaretPos = UndoCaretPos > 0
                   ? UndoCaretPos
                   : std::clamp<std::int64_t>(CaretLineStart + CharNumber, 0, GetTextSize());
    UndoCaretPos = 0;
}

void TBigEditor::HandleUndo(std::int64_t CaretPos, std::int64_t SelStart, std::int64_t SelEnd,
                            TSelModes SelMode) {
    UndoCaretPos = CaretPos;
    UndoSelStart = SelStart;
    UndoSelEnd = SelEnd;
    UndoSelMode = SelMode;
}

void TBigEditor::HandleBeforeUndo(std::int64_t Pos) {
    // (GotoPosition would also take a count step at offset 0, over a text half undone.)
    if (Pos <= 0)
        GotoFirstLine();
    else
        GotoPosition(Pos);
    UndoPos = Pos;
    UndoSizeBefore = GetTextSize();
    // A change may re-wrap its paragraph from its first line on (blanks and tabs at the end of
    // a line move line breaks more than one line above the change): the map goes back to that
    // line, which stays where it is, and the count must not lie beyond it, where its offset
    // would no longer be a line start with its number.
    while (LineStart > 0 && Pos - LineStart < ParagraphReach && ByteAt(LineStart) != FF &&
           ByteAt(LineStart - 1) != LF && ByteAt(LineStart - 1) != FF && GotoPrevLine()) {
    }
    UndoAnchor = LineStart;
    UndoAnchorLine = MapLine;
    UndoAnchorPage = MapPage;
    ReEstimateFrom(LineStart);
}

void TBigEditor::HandleAfterUndo(TObject*) {
    // The stream tells its change once the whole group is applied; the layout changed with this
    // record already (line starts found before it no longer hold).
    Buffer->DoOnChange();
    // The top line's offset may have moved with the change: it is found again when next painted.
    if (TopLineStart > UndoPos)
        TopLineStartLine = -1;
    // The map is numbered from the paragraph's first line down to the line holding the change:
    // the change may have taken or given any number of lines above it.
    SetMapAnchor(UndoAnchor, UndoAnchorLine, UndoAnchorPage);
    const std::int64_t Target = std::min(UndoPos, GetTextSize());
    while (Target >= NextLineStart && GotoNextLine()) {
    }
    // The caret anchor goes to the map line directly: the caret's old line may be gone.
    CaretLineStart = LineStart;
    CaretPage = MapPage;
    LineNumber = MapLine;
    if (!CountComplete && MapLine > LastLine)
        SetLastLine(MapLine);
    SetLineNumber(MapLine);
    ResetSelection(ZeroPoint);
}

void TBigEditor::HandleModified(TObject*) {
    SetState(vsModified, Buffer && Buffer->GetModified());
    SetState(vsEmpty, GetTextSize() == 0);
}

void TBigEditor::HandleUndoChange(TObject*) {
    const TEditStream* S = GetEditStream();
    SetState(vsUndoAvailable, S != nullptr && S->GetUndoCount() > 0);
    SetState(vsRedoAvailable, S != nullptr && S->GetRedoCount() > 0);
}

// ---- Undo and redo ------------------------------------------------------------------------

void TBigEditor::Undo() {
    UndoRedo(false);
}

void TBigEditor::Redo() {
    UndoRedo(true);
}

void TBigEditor::UndoRedo(bool IsRedo) {
    TEditStream* S = GetEditStream();
    // Nothing to take back: nothing changes, not the count, the selection or the caret.
    if (S == nullptr || (IsRedo ? S->GetRedoCount() : S->GetUndoCount()) <= 0) {
        Beep();
        return;
    }
    const TBusyModeScope Busy(*this, GetTextSize());
    SetEnableUpdates(false);
    const TLeaveScope Restore([this] {
        SetEnableUpdates(true);
        ShowCurrentLine();
    });
    UndoCaretPos = 0;
    UndoSelMode = smNone;
    const std::int64_t R = IsRedo ? S->Redo() : S->Undo();
    ChangedFrom(std::max<std::int64_t>(0, R - 1));
    if (UndoSelMode != smNone) {
        ReapplySelection(std::min(UndoSelStart, UndoSelEnd), std::max(UndoSelStart, UndoSelEnd),
                         UndoSelMode);
        SelAnchor = SelStart;
    }
    SetState(vsEmpty, GetTextSize() == 0);
    PlaceCaret(UndoCaretPos);
    UndoCaretPos = 0;
    Redraw();
}

// ---- Keys and messages --------------------------------------------------------------------

TKeyEventHandler TBigEditor::KeyHandler(int Index) {
    switch (Index) {
    case kiBackSpaceKey:
        return [this] { BackSpace(); };
    case kiInsertKey:
        return [this] { ToggleInsertMode(); };
    case kiNewLineKey:
        return [this] { InsertEOL(); };
    case kiDeleteLineKey:
        return [this] { DeleteLine(); };
    case kiDeleteKey:
        return [this] { DeleteChar(); };
    case kiDeleteWordKey:
        return [this] { DeleteWord(); };
    case kiCutKey:
    case kiAltCutKey:
        return [this] { CutToClipBoard(); };
    case kiPasteKey:
    case kiAltPasteKey:
        return [this] { PasteFromClipBoard(); };
    case kiDelLineEndKey:
        return [this] { DeleteLineEnd(); };
    case kiDelLineStartKey:
        return [this] { DeleteLineStart(); };
    case kiUndoKey:
        return [this] { Undo(); };
    case kiRedoKey:
        return [this] { Redo(); };
    default:
        return TTextViewer::KeyHandler(Index);
    }
}

void TBigEditor::KeyPress(char& Key) {
    const char Typed = Key;
    TTextViewer::KeyPress(Key); // OnKeyPress may change or swallow the character
    switch (static_cast<std::uint8_t>(Key)) {
    case 0:
        if (Typed == 0)
            Beep(); // a zero byte is not typed
        return;
    case CR: // Enter whose key did not run the new-line command: a whole line break
        InsertEOL();
        return;
    case 8: // Backspace likewise
        BackSpace();
        return;
    case TAB:
        if (!WantTabs)
            return;
        break;
    default:
        break;
    }
    InsertChar(Key);
}

void TBigEditor::WMGetDlgCode(TMessage& Message) {
    TTextViewer::WMGetDlgCode(Message);
    Message.Result |= DLGC_WANTCHARS;
    if (WantTabs)
        Message.Result |= DLGC_WANTTAB;
    else
        Message.Result &= ~static_cast<LRESULT>(DLGC_WANTTAB);
}

void TBigEditor::WMSetText(TMessage& Message) {
    Message.Result = 1;
    if (!Buffer)
        return;
    const char* Text = reinterpret_cast<const char*>(Message.LParam);
    const std::int64_t N = Text != nullptr ? static_cast<std::int64_t>(std::strlen(Text)) : 0;
    if (HandleAllocated())
        Clear();
    else
        Buffer->Reset(); // the text is replaced, window or not
    if (N > 0) {
        // Insert cuts the text to MaxTextSize.
        if (Buffer->GetOEMConvert()) {
            std::vector<char> Block(static_cast<std::size_t>(N) + 1, 0);
            OemToCharBuffA(Text, Block.data(), N);
            Buffer->Insert(Block.data(), 0, N);
        } else {
            Buffer->Insert(Text, 0, N);
        }
    }
    const bool Empty = GetTextSize() == 0;
    CountComplete = Empty;
    SetState(vsEmpty, Empty);
    if (HandleAllocated())
        GotoStartOftext();
    if (!GetComponentState().Contains(csDesigning))
        SelectAll();
}

void TBigEditor::WMCut(TMessage& Message) {
    Message.Result = 0;
    if (SelMode != smNone)
        CutToClipBoard();
}

void TBigEditor::WMPaste(TMessage& Message) {
    Message.Result = 0;
    PasteFromClipBoard();
}

void TBigEditor::WMClear(TMessage& Message) {
    Message.Result = 0;
    DeleteSelection();
}

// ---- Properties ---------------------------------------------------------------------------

void TBigEditor::SetModified(bool Value) {
    if (Buffer)
        Buffer->SetModified(Value);
}

bool TBigEditor::GetReadOnly() const {
    const TEditStream* S = GetEditStream();
    return S != nullptr && S->GetReadOnly();
}

void TBigEditor::SetReadOnly(bool Value) {
    if (TEditStream* S = GetEditStream())
        S->SetReadOnly(Value);
}

TNotifyEvent TBigEditor::GetOnWriteProtect() const {
    const TEditStream* S = GetEditStream();
    return S != nullptr ? S->GetOnWriteProtect() : TNotifyEvent{};
}

void TBigEditor::SetOnWriteProtect(TNotifyEvent Value) {
    if (TEditStream* S = GetEditStream())
        S->SetOnWriteProtect(std::move(Value));
}

std::int64_t TBigEditor::GetMaxUndoLevels() const {
    const TEditStream* S = GetEditStream();
    return S != nullptr ? S->GetMaxUndoLevels() : 0;
}

void TBigEditor::SetMaxUndoLevels(std::int64_t Value) {
    if (TEditStream* S = GetEditStream())
        S->SetMaxUndoLevels(Value);
}

std::int64_t TBigEditor::GetMaxTextSize() const {
    return Buffer ? Buffer->GetMaxTextSize() : 0;
}

void TBigEditor::SetMaxTextSize(std::int64_t Value) {
    if (Buffer)
        Buffer->SetMaxTextSize(Value);
}

} // namespace kestrel
