// TBigEditor: the editing control: a text viewer over an edit stream that turns keys, typed
// characters and calls into stream edits, keeps the line map, the caret and the screen in step
// with the text, and carries the caret and the selection through undo and redo.
#pragma once

#include "fileview/text_viewer.h"
#include "host/dialogs.h"
#include "host/global_memory.h"
#include "host/locale_text.h"
#include "host/messages.h"
#include "textbuff/edit_stream.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {

/// After a replace-all run: the number of replacements made.
using TReplaceAllEvent = std::function<void(TObject* Sender, std::int64_t Count)>;

/// The key definitions the editor adds to the viewer's (indexes of GetKeyDef / SetKeyDef).
enum : int {
    kiBackSpaceKey = static_cast<int>(kiViewerKeyCount),
    kiInsertKey,
    kiNewLineKey,
    kiDeleteLineKey,
    kiDeleteKey,
    kiDeleteWordKey,
    kiCutKey,
    kiAltCutKey,
    kiPasteKey,
    kiAltPasteKey,
    kiDelLineEndKey,
    kiDelLineStartKey,
    kiUndoKey,
    kiRedoKey,
    kiEditorKeyCount,
};
/// The number of key definitions the editor adds.
inline constexpr int EditorKeyDefCount = kiEditorKeyCount - kiBackSpaceKey;
/// Default values of the editor's key definitions, from kiBackSpaceKey on.
extern const TKeyDefinition EditorDefaultKeys[EditorKeyDefCount];

/// Bytes the editor writes as a line break.
inline constexpr const char* EditorLineBreak = "\r\n";

/// The editing control. It holds no text of its own: the buffer handed to SetBuffer must be a
/// TEditStream, which the editor owns from then on. Every edit is a stream operation with an undo
/// record; after it the editor re-measures the caret's line (UpdateCurrentLineData), tells the
/// line map where the layout may have changed (ChangedFrom) and repaints as little as it can: one
/// row when the edited line keeps its wrapping, else the rows from the caret's (or the one above
/// it) down.
class TBigEditor : public TTextViewer {
public:
    explicit TBigEditor(TComponent* AOwner);
    ~TBigEditor() override;

    /// Takes B, which must be a TEditStream (else EInvalidCast, and B is not taken), and wires
    /// its undo and change events to the editor.
    void SetBuffer(TLinesBuffer* B) override;
    /// The buffer as an edit stream (nullptr without one).
    TEditStream* GetEditStream() const;

    // ---- Insertion
    /// Where typed or inserted text goes: the start of the selection (which is deleted), or the
    /// caret, after padding with spaces when the caret stands beyond its line's text. -1 when
    /// the selection could not be deleted (refused by the stream, or a column block).
    std::int64_t GetInsertPos();
    /// Types one character at the insertion point (overwriting in overwrite mode).
    void InsertChar(char Ch);
    /// Inserts a line break (CR LF) at the insertion point.
    void InsertEOL();
    /// Inserts S at the insertion point; the caret goes after it.
    void InsertString(const std::string& S);
    /// Adds S at the very end of the text, whatever the caret and the selection; the caret goes
    /// after it.
    void AppendString(const std::string& S);
    /// Inserts DT as the locale's short date and long time at the insertion point.
    void InsertDateTime(TDateTime DT);
    /// Inserts Count spaces at P, then moves P past those actually inserted.
    void InsertSpaces(std::int64_t& P, std::int64_t Count);

    // ---- Deletion
    /// Deletes Count bytes at P; the caret goes to P.
    void Delete(std::int64_t P, std::int64_t Count);
    /// Deletes Count bytes from character CharNum of the line whose effective number is Line.
    void DeleteText(std::int64_t Line, std::int64_t CharNum, std::int64_t Count);
    /// Deletes the character after the caret (a whole CR LF).
    void DeleteChar();
    /// Deletes the character before the caret.
    void BackSpace();
    /// Deletes the selection; nothing without one.
    void DeleteSelection();
    /// Deletes the word at the caret (a beep off a word).
    void DeleteWord();
    /// Deletes the caret's line with its line break (the last line: its text only).
    void DeleteLine();
    /// Deletes from the caret (or the selection's start) to the end of the line's text.
    void DeleteLineEnd();
    /// Deletes from the start of the line to the caret (or the selection's end).
    void DeleteLineStart();

    // ---- Words and case
    /// Selects the word at the caret; false (and nothing selected) off a word.
    bool SelectWord();
    /// Cycles the case of the word at the caret, or of the words of the selection: lower, Title,
    /// UPPER, lower. One undo takes the whole change back.
    void Capitalise();

    // ---- Clipboard, column blocks and moving text
    /// Copies the selection to the clipboard and deletes it; nothing without a selection.
    void CutToClipBoard();
    /// Inserts the clipboard's column block (private format) or plain text at the insertion
    /// point; raises Exception "Clipboard is empty" when it holds neither.
    void PasteFromClipBoard();
    /// Inserts the column text held in Mem (zero-terminated, one block line per text line) as a
    /// block whose left edge is the pixel column of Pos, each line on the next display line;
    /// returns the offset after the last piece inserted (0 when nothing was inserted).
    std::int64_t InsertColumnText(HGLOBAL Mem, std::int64_t Pos);
    /// Deletes the column selection row by row (each row cut by the block's pixel edges within
    /// its own display line), putting Text in each row's place; returns the bytes removed less
    /// those inserted. Linked leaves the undo group open. EInternalError outside column mode.
    std::int64_t DeleteColumnText(const std::string& Text, bool Linked);
    /// Moves (Copy: copies) the column block so that its top-left corner lands at offset Pos.
    void MoveColumns(std::int64_t Pos, bool Copy);
    /// Moves (Copy: copies) the selected stream of text to offset Pos.
    void MoveText(std::int64_t Pos, bool Copy);
    /// The viewer's pointer shape, and whether the pointer is over the selection (msSelection).
    void UpdateMouseCursor(int X, int Y) override;
    HWND GetNextClipboardViewer() const { return NextClipboardViewer; }

    // ---- Replace and paragraph flow
    /// Expands ReplaceText into ReplaceStr (EUserError for a bad escape, before anything
    /// changes) and runs Find with the dialog, the search text and Options.
    bool Replace(TFindDialog* Dialog, const std::string& FindText, const std::string& ReplaceText,
                 TFindOptions Options);
    /// With frReplaceAll: every occurrence replaced in busy mode; with frReplace: a selected
    /// match replaced first; then the next occurrence found.
    bool FindNext(TFindDialog* Dialog) override;
    /// Replaces every occurrence of FindStr by ReplaceStr from the caret (or the selection) on,
    /// forwards with frDown, else backwards, as one edit; fires OnReplaceAll with the count.
    void ReplaceAll(TFindOptions Options);
    const std::string& GetReplaceStr() const { return ReplaceStr; }
    /// Joins the hard lines of each paragraph of the selection (or from the caret to the end)
    /// into one line; one undo takes the whole flow back.
    void FlowText();

    // ---- Mode
    bool GetInsertOn() const { return State.Contains(vsInsertOn); }
    void SetInsertOn(bool Value) { SetState(vsInsertOn, Value); }
    void ToggleInsertMode() { SetInsertOn(!GetInsertOn()); }

    // ---- Line map
    /// Re-measures the map line (the caret's line) after an edit. Raises EInternalError when the
    /// caret's line is not the map line.
    void UpdateCurrentLineData();
    /// The text changed from offset P on: the count is rewound there and the last line estimated
    /// again.
    void ChangedFrom(std::int64_t P);

    // ---- Undo
    /// Undoes the last group of edits, restoring the caret and the selection it had; nothing to
    /// undo changes nothing (a beep).
    void Undo();
    /// Redoes the last undone group.
    void Redo();

    // ---- Properties
    bool GetModified() const { return State.Contains(vsModified); }
    void SetModified(bool Value);
    bool GetReadOnly() const;
    void SetReadOnly(bool Value);
    TNotifyEvent GetOnWriteProtect() const;
    void SetOnWriteProtect(TNotifyEvent Value);
    std::int64_t GetMaxUndoLevels() const;
    void SetMaxUndoLevels(std::int64_t Value);
    std::int64_t GetMaxTextSize() const;
    void SetMaxTextSize(std::int64_t Value);
    bool GetSelectAfterPaste() const { return SelectAfterPaste; }
    void SetSelectAfterPaste(bool Value) { SelectAfterPaste = Value; }
    TReplaceAllEvent GetOnReplaceAll() const { return OnReplaceAll; }
    void SetOnReplaceAll(TReplaceAllEvent Value) { OnReplaceAll = std::move(Value); }
    bool GetLinkUndo() const { return LinkUndo; }
    /// While set, every undo record saved joins the next one's group (ClearLastUndoLink of the
    /// stream closes the group).
    void SetLinkUndo(bool Value) { LinkUndo = Value; }
    std::int64_t GetUndoCaretPos() const { return UndoCaretPos; }
    /// The caret offset the next undo record restores (0: the caret's own offset then).
    void SetUndoCaretPos(std::int64_t Value) { UndoCaretPos = Value; }

    // Named key definitions.
    TKeyDefinition GetBackSpaceKey() const { return GetKeyDef(kiBackSpaceKey); }
    void SetBackSpaceKey(TKeyDefinition V) { SetKeyDef(kiBackSpaceKey, V); }
    TKeyDefinition GetInsertKey() const { return GetKeyDef(kiInsertKey); }
    void SetInsertKey(TKeyDefinition V) { SetKeyDef(kiInsertKey, V); }
    TKeyDefinition GetNewLineKey() const { return GetKeyDef(kiNewLineKey); }
    void SetNewLineKey(TKeyDefinition V) { SetKeyDef(kiNewLineKey, V); }
    TKeyDefinition GetDeleteLineKey() const { return GetKeyDef(kiDeleteLineKey); }
    void SetDeleteLineKey(TKeyDefinition V) { SetKeyDef(kiDeleteLineKey, V); }
    TKeyDefinition GetDeleteKey() const { return GetKeyDef(kiDeleteKey); }
    void SetDeleteKey(TKeyDefinition V) { SetKeyDef(kiDeleteKey, V); }
    TKeyDefinition GetDeleteWordKey() const { return GetKeyDef(kiDeleteWordKey); }
    void SetDeleteWordKey(TKeyDefinition V) { SetKeyDef(kiDeleteWordKey, V); }
    TKeyDefinition GetCutKey() const { return GetKeyDef(kiCutKey); }
    void SetCutKey(TKeyDefinition V) { SetKeyDef(kiCutKey, V); }
    TKeyDefinition GetAltCutKey() const { return GetKeyDef(kiAltCutKey); }
    void SetAltCutKey(TKeyDefinition V) { SetKeyDef(kiAltCutKey, V); }
    TKeyDefinition GetPasteKey() const { return GetKeyDef(kiPasteKey); }
    void SetPasteKey(TKeyDefinition V) { SetKeyDef(kiPasteKey, V); }
    TKeyDefinition GetAltPasteKey() const { return GetKeyDef(kiAltPasteKey); }
    void SetAltPasteKey(TKeyDefinition V) { SetKeyDef(kiAltPasteKey, V); }
    TKeyDefinition GetDelLineEndKey() const { return GetKeyDef(kiDelLineEndKey); }
    void SetDelLineEndKey(TKeyDefinition V) { SetKeyDef(kiDelLineEndKey, V); }
    TKeyDefinition GetDelLineStartKey() const { return GetKeyDef(kiDelLineStartKey); }
    void SetDelLineStartKey(TKeyDefinition V) { SetKeyDef(kiDelLineStartKey, V); }
    TKeyDefinition GetUndoKey() const { return GetKeyDef(kiUndoKey); }
    void SetUndoKey(TKeyDefinition V) { SetKeyDef(kiUndoKey, V); }
    TKeyDefinition GetRedoKey() const { return GetKeyDef(kiRedoKey); }
    void SetRedoKey(TKeyDefinition V) { SetKeyDef(kiRedoKey, V); }

protected:
    TKeyEventHandler KeyHandler(int Index) override;
    void KeyPress(char& Key) override;
    void WMGetDlgCode(TMessage& Message) override;
    void WMSetText(TMessage& Message) override;
    void WMCut(TMessage& Message) override;
    void WMPaste(TMessage& Message) override;
    void WMClear(TMessage& Message) override;
    void NumbersSettled() override;

    // ---- Clipboard chain and dragging
    void CreateWnd() override;
    void WMDestroy(TMessage& Message) override;
    void WMDrawClipboard(TMessage& Message) override;
    void WMChangeCBChain(TMessage& Message) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    /// Takes the editor's window out of the clipboard-viewer chain, if it joined it.
    void LeaveClipboardChain();
    /// The column selection's rows as text ranges [First, Second), top to bottom, each clamped
    /// to its own display line, measured in the present layout.
    std::vector<std::pair<std::int64_t, std::int64_t>> ColumnRows();
    /// Moves the caret to caret point Pt and, when Pt lies beyond its line's text, fills the
    /// gap with spaces; returns how many were inserted, At where they begin.
    std::int64_t PadToPoint(const TLongPoint& Pt, std::int64_t& At);
    /// Whether the undo records being saved are grouped by a caller (paste, drop, replace-all),
    /// who closes the group.
    bool UndoGroupedByCaller() const {
        return LinkUndo || State.Contains(vsDropping) || State.Contains(vsSearching);
    }

    // ---- The stream's events
    // Takes this editor's handlers off the stream's events.
    void UnhookStream() noexcept;
    void HandleSaveUndo(std::int64_t& CaretPos, std::int64_t& SelStart, std::int64_t& SelEnd,
                        TSelModes& SelMode, bool& Linked);
    void HandleUndo(std::int64_t CaretPos, std::int64_t SelStart, std::int64_t SelEnd,
                    TSelModes SelMode);
    void HandleBeforeUndo(std::int64_t Pos);
    void HandleAfterUndo(TObject* Sender);
    void HandleModified(TObject* Sender);
    void HandleUndoChange(TObject* Sender);

    // ---- Steps of the edits
    /// The caret's text offset, with the map put on the caret's line.
    std::int64_t CaretOffset();
    /// Offset made a caret position: inside the text, and never between the CR and the LF of a
    /// line break (the caret goes before the break then).
    std::int64_t CaretTarget(std::int64_t Offset);
    /// FocusAt(CaretTarget(Offset), false).
    void PlaceCaret(std::int64_t Offset);
    /// The count's position and the top line's offset follow a change of Delta bytes at P.
    void ShiftOffsets(std::int64_t P, std::int64_t Delta);
    /// What an edit did to the layout around the caret's line.
    struct TLineChange {
        bool FromAbove = false; // the line before ends elsewhere now (or the caret's line went)
        bool InPlace = false;   // only the caret's line changed, keeping its wrapping
    };
    /// After a stream edit of Delta bytes at P on the map line (the caret's line), which had L0
    /// characters and ended at OldNext before it: the line before is measured again (a change
    /// may pull text up to it or push some down from it), the map line follows, and
    /// UpdateCurrentLineData re-measures it.
    TLineChange LayOutEditedLine(std::int64_t P, std::int64_t Delta, std::int64_t L0,
                                 std::int64_t OldNext);
    /// After an edit: the line before the map line still begins where it did (checked by a walk
    /// from its paragraph's start, when that is near).
    bool PrevLineStillStarts();
    /// A change that altered wrapping or the number of lines: ChangedFrom the line before the
    /// map line, the rows from the caret's (FromAbove: the one above it) to the bottom redrawn,
    /// the caret put at Target, and with Now the window painted at once.
    void AfterLayoutChange(const TLineChange& Change, std::int64_t Target, bool Now);
    /// Draws the map line at the caret's row now (Clear: the rest of the row and the left strip
    /// filled with the background first, for a line that got shorter).
    void PaintCaretLine(bool Clear);
    /// An edit whose position, length and line were worked out by the caller: Edit changes the
    /// stream; the return tells the bytes it added (negative: removed).
    std::int64_t EditStream(const std::function<void()>& Edit);
    /// Inserts Count bytes of Text at P (the map on the caret's line holding P) and brings the
    /// map, the caret (after the bytes) and the screen in step.
    void InsertAt(std::int64_t P, const char* Text, std::int64_t Count);
    /// Deletes the Count bytes at the caret (the map on its line), keeping the caret where it is.
    void DeleteAtCaret(std::int64_t Count);
    /// The text changed after the line at Start (numbered Line, on page Page) in ways the map
    /// cannot follow line by line (case changes may re-wrap): the map is placed again there, the
    /// count rewound, the caret put at CaretAt and the selection re-applied from its offsets.
    void RelayoutFrom(std::int64_t Start, std::int64_t Line, std::int64_t Page,
                      std::int64_t CaretAt);
    /// The map and the caret were found out of step after an edit: everything is placed again
    /// from the caret's offset (the numbers provisional until the count passes) and repainted.
    void Resynchronise();
    /// Applies an undo or redo (Redo: true) and puts caret and selection back.
    void UndoRedo(bool Redo);

    // ---- Fields
    HWND NextClipboardViewer = 0;    // next window of the clipboard-viewer chain
    HWND ClipboardChainWnd = 0;      // the window that joined the chain (0: not in it)
    std::string ReplaceStr;          // expanded replacement text of the current replace
    bool SelectAfterPaste = true;    // select the pasted text after a paste
    std::int64_t UndoCaretPos = 0;   // caret offset for the next undo record; 0 = not set
    std::int64_t UndoSelStart = 0;   // selection to restore after an undo or redo
    std::int64_t UndoSelEnd = 0;     // (UndoSelStart <= UndoSelEnd as recorded)
    TSelModes UndoSelMode = smNone;  //
    bool LinkUndo = false;           // every record saved joins the next one's group
    TReplaceAllEvent OnReplaceAll;   //
    bool QuietSettle = false;        // the count confirms numbers that were exact: no repaint
    std::int64_t UndoSizeBefore = 0; // the text size before the undo record being applied
    std::int64_t UndoPos = 0;        // where that record applies

    // The first line of the paragraph holding UndoPos (a line the record's change leaves where
    // it is), with its number and page as they were before the change.
    std::int64_t UndoAnchor = 0;
    std::int64_t UndoAnchorLine = 0;
    std::int64_t UndoAnchorPage = 1;
    // How far back from an edit its paragraph is walked; a longer paragraph is trusted from the
    // line before the edit's line on.
    static constexpr std::int64_t ParagraphReach = 64 * 1024;
};

} // namespace kestrel
