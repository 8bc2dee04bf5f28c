// TBigMemo and TBigMemoStrings: the editor dressed as a memo control, with its text seen as a
// list of lines that are cut from the text on request.
#pragma once

#include "host/strings.h"
#include "kxedit/big_editor.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kestrel {

/// A memo's frame: none, or a single line.
enum TBorderStyle : std::uint8_t { bsNone, bsSingle };
/// Which scroll bars a memo shows.
enum TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

class TBigMemo;

/// The lines of a TBigMemo: its display lines (with word wrap, each wrapped piece is a line),
/// each without its line break. Holds no strings: every call reads or changes the memo's text.
class TBigMemoStrings : public TStrings {
public:
    explicit TBigMemoStrings(TBigMemo* AMemo) : Memo(AMemo) {}

    /// Line Index (an index past the last line reads the last line).
    std::string Get(std::int64_t Index) const override;
    /// The exact number of lines: the memo's line count is completed first (once; later calls
    /// cost nothing while the text is unchanged).
    std::int64_t GetCount() const override;
    void Clear() override;
    /// Removes line Index with its line break.
    void Delete(std::int64_t Index) override;
    /// Puts S and a line break before line Index (see TBigMemo::InsertLine).
    void Insert(std::int64_t Index, const std::string& S) override;
    /// Replaces the whole text with Stream's bytes from its position on.
    void LoadFromStream(TStream* Stream) override;
    /// Writes the whole text as stored.
    void SaveToStream(TStream* Stream) override;

private:
    TBigMemo* Memo; // not owned
};

/// The editor with the interface of a memo control: Lines, SelStart, SelLength, SelText,
/// GetSelTextBuf and SetSelTextBuf, MaxLength, WordWrap, ScrollBars, BorderStyle,
/// HideSelection and WantReturns; Enter and Tab behave as in a dialog control when WantReturns
/// and WantTabs are off. A selection hidden while the memo is without the focus is still the
/// selection: reading or replacing it, the clipboard commands and replacing from the find
/// dialog act on it in its own mode (a column block as a block).
class TBigMemo : public TBigEditor {
public:
    explicit TBigMemo(TComponent* AOwner);
    ~TBigMemo() override;

    TStrings* GetLines() const { return Lines.get(); }
    /// Replaces the text by Value's strings.
    void SetLines(TStrings* Value) { Lines->Assign(Value); }

    /// The text offset of the selection's start (the last one stored when nothing is selected).
    std::int64_t GetSelStart();
    /// Moves the selection's start to Value; without a selection only stores it (the caret
    /// stays where it is).
    void SetSelStart(std::int64_t Value);
    std::int64_t GetSelLength();
    /// Selects Value bytes from SelStart.
    void SetSelLength(std::int64_t Value);
    std::string GetSelText();
    /// Replaces the selection (a hidden one too; a column block row by row) by Value and selects
    /// the inserted text.
    void SetSelText(const std::string& Value);
    /// Copies the selection into Buffer, at most BufSize - 1 bytes and a zero byte after them;
    /// returns the number of bytes copied (0 without a selection, the buffer untouched then).
    std::int64_t GetSelTextBuf(std::uint8_t* Buffer, std::int64_t BufSize);
    /// SetSelText with the zero-terminated bytes of Buffer.
    void SetSelTextBuf(const char* Buffer);
    /// Deletes the selection (a hidden one too).
    void ClearSelection();
    /// The editor's clipboard commands (WM_CUT, WM_COPY, WM_PASTE), on a hidden selection too.
    void CutToClipboard() { Perform(WM_CUT, 0, 0); }
    void CopyToClipboard() { Perform(WM_COPY, 0, 0); }
    void PasteFromClipboard() { Perform(WM_PASTE, 0, 0); }
    /// The editor's find and replace, a hidden selection taken as the selected match.
    bool FindNext(TFindDialog* Dialog) override;

    std::int64_t GetMaxLength() const { return GetMaxTextSize(); }
    void SetMaxLength(std::int64_t Value) { SetMaxTextSize(Value); }
    bool GetWordWrap() const { return GetWrapMode() != opNone; }
    void SetWordWrap(bool Value) { SetWrapMode(Value ? opWrapScreenWidth : opNone); }
    TScrollStyle GetScrollBars() const { return ScrollBars; }
    void SetScrollBars(TScrollStyle Value);
    TBorderStyle GetBorderStyle() const { return BorderStyle; }
    void SetBorderStyle(TBorderStyle Value);
    bool GetHideSelection() const { return HideSelection; }
    void SetHideSelection(bool Value);
    bool GetWantReturns() const { return WantReturns; }
    void SetWantReturns(bool Value) { WantReturns = Value; }
    /// The mode of the selection while it is hidden (smNone when none is hidden).
    TSelModes GetHiddenSelMode() const { return HiddenSelMode; }

    /// 0 for an empty text; otherwise the display lines, the empty one after a final line
    /// break not counted. Exact once the count is complete.
    std::int64_t GetLineCount();
    /// The characters of display line Index, without its line break.
    std::int64_t GetLineLength(std::int64_t Index);
    /// Deletes display line Index, from its start, with its line break.
    void DeleteLine(std::int64_t Index);
    /// Inserts S and CR LF before display line Index; before a line that does not follow a
    /// line break (the last line, unterminated, or a wrapped piece) a CR LF comes first too.
    void InsertLine(std::int64_t Index, const std::string& S);
    /// Runs the line count to its end now (nothing when it is complete).
    void CompleteLineCount();

protected:
    void DoKillFocus() override;
    void DoSetFocus() override;
    void WMGetDlgCode(TMessage& Message) override;
    void CMWantSpecialKey(TMessage& Message) override;
    void WMCut(TMessage& Message) override;
    void WMCopy(TMessage& Message) override;
    void WMPaste(TMessage& Message) override;
    void WMClear(TMessage& Message) override;

private:
    /// Runs Action with a hidden selection shown in its mode; afterwards the selection is
    /// hidden again while the memo is without the focus (Repaint: Action may have changed what
    /// a repaint shows).
    template <typename F> auto OnSelection(F Action, bool Repaint = true);
    /// Hides the selection when the memo is without the focus and HideSelection is on.
    void HideUnfocused(bool Repaint);
    /// GetSelTextBuf of the selection as it is shown.
    std::int64_t CopySelText(std::uint8_t* Buffer, std::int64_t BufSize);

    TBorderStyle BorderStyle = bsSingle;
    bool HideSelection = true;
    TScrollStyle ScrollBars = ssNone;
    std::unique_ptr<TBigMemoStrings> Lines;
    bool WantReturns = true;
    TSelModes HiddenSelMode = smNone; // the mode put aside while the selection is hidden
};

} // namespace kestrel
