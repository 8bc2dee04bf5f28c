// TLinesViewer: the generic viewer of a sequence of display lines: caret, selection,
// navigation, key table, scrolling, painting entry, mouse, busy mode and the printing frame.
// Everything that depends on the text is asked of a descendant through abstract operations.
#pragma once

#include "fileview/flicker_free.h"
#include "fileview/key_manager.h"
#include "fileview/scroll_bar.h"
#include "host/dialogs.h"
#include "host/exceptions.h"
#include "host/global_memory.h"
#include "host/streams.h"
#include "textbuff/text_types.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {

/// Errors a user can cause (a bad search escape, a page that does not exist, ...).
KESTREL_DECLARE_EXCEPTION(EUserError, Exception);

enum TViewerState : std::uint8_t {
    vsEmpty,
    vsSelection,
    vsSearchString,
    vsInsertOn,
    vsMouseDown,
    vsDragging,
    vsBusy,
    vsDropping,
    vsModified,
    vsUndoAvailable,
    vsRedoAvailable,
    vsPasteAvailable,
    vsCopying,
    vsPrinting,
    vsGotoLine,
    vsSearching,
};
/// What the viewer can do now; bit i of the 16-bit value is flag i.
using TViewerStates = TSet<TViewerState>;

enum TPagingModes : std::uint8_t { pmMoveToLine, pmCaretConstant };
enum TLineNumberModes : std::uint8_t { lnFileRelative, lnPageRelative };
enum TMouseState : std::uint8_t {
    msNormal,
    msSelection,
    msMargin,
    msMarginBoundary,
    msDrag,
    msBusy
};
using TMouseStates = TSet<TMouseState>;
enum TDoubleClickModes : std::uint8_t { dcWordOnly, dcWordAndSpaces };
enum TMouseClickStates : std::uint8_t { mcNone, mcDouble, mcTriple, mcQuad };
/// Flags that make selection-extending behave as if Shift (slShift) or Alt (slAlt) were held.
enum TSelectionModeLockFlag : std::uint8_t { slShift, slAlt };
using TSelectionModeLock = TSet<TSelectionModeLockFlag>;

class TLinesViewer;

using TProgressEvent =
    std::function<void(TLinesViewer* Sender, std::int64_t Done, std::int64_t Total, bool& Cancel)>;
/// Asked whether to abort; Response IDYES (6) aborts.
using TAbortEvent = std::function<void(TObject* Sender, int& Response)>;
using TPrintEvent =
    std::function<void(TObject* Sender, std::int64_t PageNum, std::int64_t TotalPages)>;

/// Indexes of the printer metrics (inches).
enum : int {
    pmLeftMargin = 1,
    pmRightMargin = 2,
    pmTopMargin = 3,
    pmBottomMargin = 4,
    pmHeaderOffset = 5,
    pmFooterOffset = 6,
};

/// The key definitions of the viewer (indexes of GetKeyDef / SetKeyDef).
enum : int {
    kiAltCopyKey,
    kiCancelKey,
    kiCopyKey,
    kiLeftArrowKey,
    kiRightArrowKey,
    kiWordLeftKey,
    kiWordRightkey,
    kiLineStartKey,
    kiLineEndKey,
    kiLineUpKey,
    kiLineDownKey,
    kiPageUpKey,
    kiPageDownKey,
    kiTextStartKey,
    kiTextEndKey,
    kiScrollUpKey,
    kiScrollDownKey,
    kiViewerKeyCount,
};
/// Default values of the viewer's key definitions, by index.
extern const std::array<TKeyDefinition, kiViewerKeyCount> ViewerDefaultKeys;
/// The default prefix key (Ctrl+Q).
constexpr TKeyDefinition DefaultQuickKey = 337;
/// The timers of a viewer window.
enum : UINT { AutoScrollTimer = 1, ClickResetTimer = 2 };
/// Auto-scroll steps while a mouse selection is dragged, in milliseconds: this often inside the
/// window, faster by one step for every AutoScrollSpeedUp pixels the pointer is outside it.
constexpr UINT AutoScrollInterval = 100;
constexpr int AutoScrollSpeedUp = 20;
/// The double-click time, in milliseconds, when the user's setting cannot be read.
constexpr std::int64_t DefaultDoubleClickTime = 500;
/// Mouse wheel units of one notch, which scrolls one line.
constexpr std::int64_t WheelNotch = 120;
/// Display lines of a printed page while the printer's metrics are not known.
constexpr std::int64_t DefaultLinesPerPage = 66;
/// The largest font size, in points, that zooming in reaches.
constexpr std::int64_t MaxZoomedFontSize = 4096;

class TLinesViewer : public TFlickerFreeControl {
public:
    explicit TLinesViewer(TComponent* AOwner);
    ~TLinesViewer() override;

    // ---- Key table
    TKeyDefinition GetKeyDef(int Index) const;
    /// Rebinds definition Index: the old key is unbound, Value is bound to the command.
    void SetKeyDef(int Index, TKeyDefinition Value);
    TKeyDefinition GetQuickKey() const { return QuickKey; }
    void SetQuickKey(TKeyDefinition Value);
    bool GetWantTabs() const { return WantTabs; }
    void SetWantTabs(bool Value) { WantTabs = Value; }
    TKeyManager* GetKeyManager() const { return KeyManager.get(); }

    // Named key definitions.
    TKeyDefinition GetAltCopyKey() const { return GetKeyDef(kiAltCopyKey); }
    void SetAltCopyKey(TKeyDefinition V) { SetKeyDef(kiAltCopyKey, V); }
    TKeyDefinition GetCancelKey() const { return GetKeyDef(kiCancelKey); }
    void SetCancelKey(TKeyDefinition V) { SetKeyDef(kiCancelKey, V); }
    TKeyDefinition GetCopyKey() const { return GetKeyDef(kiCopyKey); }
    void SetCopyKey(TKeyDefinition V) { SetKeyDef(kiCopyKey, V); }
    TKeyDefinition GetLeftArrowKey() const { return GetKeyDef(kiLeftArrowKey); }
    void SetLeftArrowKey(TKeyDefinition V) { SetKeyDef(kiLeftArrowKey, V); }
    TKeyDefinition GetRightArrowKey() const { return GetKeyDef(kiRightArrowKey); }
    void SetRightArrowKey(TKeyDefinition V) { SetKeyDef(kiRightArrowKey, V); }
    TKeyDefinition GetWordLeftKey() const { return GetKeyDef(kiWordLeftKey); }
    void SetWordLeftKey(TKeyDefinition V) { SetKeyDef(kiWordLeftKey, V); }
    TKeyDefinition GetWordRightkey() const { return GetKeyDef(kiWordRightkey); }
    void SetWordRightkey(TKeyDefinition V) { SetKeyDef(kiWordRightkey, V); }
    TKeyDefinition GetLineStartKey() const { return GetKeyDef(kiLineStartKey); }
    void SetLineStartKey(TKeyDefinition V) { SetKeyDef(kiLineStartKey, V); }
    TKeyDefinition GetLineEndKey() const { return GetKeyDef(kiLineEndKey); }
    void SetLineEndKey(TKeyDefinition V) { SetKeyDef(kiLineEndKey, V); }
    TKeyDefinition GetLineUpKey() const { return GetKeyDef(kiLineUpKey); }
    void SetLineUpKey(TKeyDefinition V) { SetKeyDef(kiLineUpKey, V); }
    TKeyDefinition GetLineDownKey() const { return GetKeyDef(kiLineDownKey); }
    void SetLineDownKey(TKeyDefinition V) { SetKeyDef(kiLineDownKey, V); }
    TKeyDefinition GetPageUpKey() const { return GetKeyDef(kiPageUpKey); }
    void SetPageUpKey(TKeyDefinition V) { SetKeyDef(kiPageUpKey, V); }
    TKeyDefinition GetPageDownKey() const { return GetKeyDef(kiPageDownKey); }
    void SetPageDownKey(TKeyDefinition V) { SetKeyDef(kiPageDownKey, V); }
    TKeyDefinition GetTextStartKey() const { return GetKeyDef(kiTextStartKey); }
    void SetTextStartKey(TKeyDefinition V) { SetKeyDef(kiTextStartKey, V); }
    TKeyDefinition GetTextEndKey() const { return GetKeyDef(kiTextEndKey); }
    void SetTextEndKey(TKeyDefinition V) { SetKeyDef(kiTextEndKey, V); }
    TKeyDefinition GetScrollUpKey() const { return GetKeyDef(kiScrollUpKey); }
    void SetScrollUpKey(TKeyDefinition V) { SetKeyDef(kiScrollUpKey, V); }
    TKeyDefinition GetScrollDownKey() const { return GetKeyDef(kiScrollDownKey); }
    void SetScrollDownKey(TKeyDefinition V) { SetKeyDef(kiScrollDownKey, V); }

    // ---- State
    TViewerStates GetState() const { return State; }
    /// Adds (On) or removes Flags, then tells OnStateChange.
    void SetState(TViewerStates Flags, bool On);
    void SetState(TViewerState Flag, bool On) { SetState(TViewerStates{Flag}, On); }
    bool IsSelectionMode(TSelModes Mode) const { return SelMode == Mode; }

    // ---- Caret
    /// The caret point: (pixel offset in its line, display line).
    TLongPoint _GetCaretPos() const { return LongPoint(CaretX, LineNumber); }
    /// Moves the caret to caret point P.
    void _SetCaretPos(const TLongPoint& P);
    std::int64_t GetLineNumber() const { return LineNumber; }
    /// Moves the caret to display line Line, keeping its pixel column.
    void SetLineNumber(std::int64_t Line);
    std::int64_t GetCharNumber() const { return CharNumber; }
    /// Moves the caret to character N of its line.
    void SetCharNumber(std::int64_t N);
    std::int64_t GetCaretX() const { return CaretX; }
    /// Shows the platform caret at the caret point (when enabled, visible and focused).
    void SetCaretPos();
    void SetCaret(HBITMAP Bitmap);
    /// Scrolls vertically so that the caret line is visible.
    void ShowCurrentLine();
    /// Scrolls horizontally so that the caret is visible.
    void ShowCurrentCharacter();
    TLineNumberModes GetLineNumberMode() const { return LineNumberMode; }
    void SetLineNumberMode(TLineNumberModes Value);
    std::int64_t GetLineWidth() const { return LineWidth; }
    std::int64_t GetLineLength() const { return LineLength; }
    std::int64_t GetPageNumber() const { return PageNumber; }
    std::int64_t GetLineNumberOffset() const { return LineNumberOffset; }
    std::int64_t GetPageTopLine() const { return PageTopLine; }
    std::int64_t GetDesiredChar() const { return DesiredChar; }

    // ---- Selection
    TLongPoint GetSelStart() const { return SelStart; }
    TLongPoint GetSelEnd() const { return SelEnd; }
    TSelModes GetSelMode() const { return SelMode; }
    TLongPoint GetSelAnchor() const { return SelAnchor; }
    TLongPoint GetWordSelStart() const { return WordSelStart; }
    TLongPoint GetWordSelEnd() const { return WordSelEnd; }
    TSelectionModeLock GetSelectionModeLock() const { return SelectionModeLock; }
    void SetSelectionModeLock(TSelectionModeLock Value) { SelectionModeLock = Value; }
    virtual void SetSelection(const TLongPoint& Start, const TLongPoint& End, TSelModes Mode);
    /// Removes the selection; the anchor goes to P.
    void ResetSelection(TLongPoint P);
    void CancelSelection();
    void SelectAll();
    /// Extends (Shift), starts a column block (Alt) or drops the selection, to the caret.
    void ExtendSelection();

    // ---- Navigation commands (each extends the selection while Shift or Alt is held)
    void CharLeft();
    void CharRight();
    void WordLeft();
    void WordRight();
    void StartOfLine();
    void EndOfLine();
    void LineUp();
    void LineDown();
    void PageUp();
    void PageDown();
    void ScrollUp();
    void ScrollDown();
    void StartOftext();
    void EndOftext();

    // ---- Line numbers
    virtual void GotoLineNumber(std::int64_t N);
    std::int64_t GetEffectiveLineNumber() const;
    void SetEffectiveLineNumber(std::int64_t N);
    std::int64_t GetLastLine() const { return LastLine; }
    void SetLastLine(std::int64_t N);

    // ---- Search
    const std::string& GetFindStr() const { return FindStr; }
    void SetFindStr(const std::string& S);
    TFindOptions GetFindOptions() const { return FindOptions; }
    void SetFindOptions(TFindOptions Value) { FindOptions = Value; }
    /// Expands the escapes of a search or replace text (^nnn, ^L, ^P, ^T, ^^).
    static std::string ExpandString(const std::string& S);
    /// Searches for Text with Options; Dialog (may be nullptr) is kept clear of the match.
    bool Find(TFindDialog* Dialog, const std::string& Text, TFindOptions Options);
    virtual bool FindNext(TFindDialog* Dialog);

    // ---- Life cycle, scrolling, painting
    /// OnBeforeClear, ReInitialise, OnAfterClear.
    void Clear();
    /// Sends WM_CLOSE to the control's window.
    void Close();
    /// Repaints the whole client area.
    void Redraw();
    /// Repaints the screen rows from A to B (either order).
    void redrawLines(std::int64_t A, std::int64_t B);
    void DrawMarginLine(int X);
    void SetEnableUpdates(bool Value);
    std::int64_t GetDeltaX() const { return DeltaX; }
    void SetDeltaX(std::int64_t V);
    std::int64_t GetTopLine() const { return TopLine; }
    void SetDeltaY(std::int64_t V);
    std::int64_t GetLinesOnScreen() const { return LinesOnScreen; }
    std::int64_t GetCharHeight() const { return CharHeight; }
    std::int64_t GetCharWidth() const { return CharWidth; }
    void SetCharHeight(std::int64_t H);
    std::int64_t GetLeftMargin() const { return LeftMargin; }
    void SetLeftMargin(std::int64_t V);
    std::int64_t GetRightMargin() const { return RightMargin; }
    void SetRightMargin(std::int64_t V);
    std::int64_t GetZoomFactor() const { return ZoomFactor; }
    void SetZoomFactor(std::int64_t Z);
    TWinScrollBar* GetHorzScrollBar() const { return HorzScrollBar.get(); }
    TWinScrollBar* GetVertScrollBar() const { return VertScrollBar.get(); }
    void SetHorzScrollBar(TWinScrollBar* Value) { HorzScrollBar->Assign(Value); }
    void SetVertScrollBar(TWinScrollBar* Value) { VertScrollBar->Assign(Value); }

    // ---- Mouse
    TMouseStates GetMouseState() const { return MouseState; }
    void SetMouseState(TMouseStates Flags, bool On);
    TMouseClickStates GetClickState() const { return ClickState; }
    std::int64_t GetDoubleClickTime() const { return DoubleClickTime; }
    UINT GetColumnClipFormat() const { return ColumnClipFormat; }
    bool MouseOverSelection(int X, int Y);

    // ---- Busy mode
    /// Starts a long operation of Total units of work (raises when already busy).
    void EnterBusyMode(std::int64_t Total);
    void ExitBusyMode();
    void AdjustCharsToProcess(std::int64_t N) { ProgressTotal += N; }
    std::int64_t GetProgressTotal() const { return ProgressTotal; }
    /// Pumps the waiting messages, refusing input; false when the operation is to stop.
    bool ReportProgress(std::int64_t Done);

    // ---- Printing
    float GetPrinterMetric(int Index) const;
    void SetPrinterMetric(int Index, float Value);
    void UpdatePrinterMetrics();
    void Print(const std::string& Header, const std::string& Title, bool PageNumbers, bool Flag,
               TPrintRange Range, std::int64_t FromPage, std::int64_t ToPage);
    /// Moves the caret to the first line of Page (PageCount + 1: the end of the text).
    void SetPageNumber(std::int64_t Page);
    std::int64_t GetPageCount() const { return PageCount; }
    std::int64_t GetLinesPerPage() const { return LinesPerPage; }
    TRect GetPrintMargins() const { return PrintMargins; }
    std::int64_t GetHeaderOffset() const { return HeaderOffset; }
    std::int64_t GetFooterOffset() const { return FooterOffset; }
    std::int64_t GetPrintLineHeight() const { return PrintLineHeight; }
    virtual void SaveAs(const std::string& FileName);

    // ---- Published options
    bool GetWPMode() const { return WPMode; }
    void SetWPMode(bool Value) { WPMode = Value; }
    bool GetBeepOn() const { return BeepOn; }
    void SetBeepOn(bool Value) { BeepOn = Value; }
    TPagingModes GetPagingMode() const { return PagingMode; }
    void SetPagingMode(TPagingModes Value) { PagingMode = Value; }
    bool GetAutoScroll() const { return AutoScroll; }
    void SetAutoScroll(bool Value) { AutoScroll = Value; }
    bool GetDragMargin() const { return DragMargin; }
    void SetDragMargin(bool Value) { DragMargin = Value; }
    TDoubleClickModes GetDoubleClickMode() const { return DoubleClickMode; }
    void SetDoubleClickMode(TDoubleClickModes Value) { DoubleClickMode = Value; }

    // ---- Events
    TNotifyEvent GetOnStateChange() const { return OnStateChange; }
    void SetOnStateChange(TNotifyEvent Value) { OnStateChange = std::move(Value); }
    TNotifyEvent GetOnCaretMoved() const { return OnCaretMoved; }
    void SetOnCaretMoved(TNotifyEvent Value) { OnCaretMoved = std::move(Value); }
    TNotifyEvent GetOnBeforeClear() const { return OnBeforeClear; }
    void SetOnBeforeClear(TNotifyEvent Value) { OnBeforeClear = std::move(Value); }
    TNotifyEvent GetOnAfterClear() const { return OnAfterClear; }
    void SetOnAfterClear(TNotifyEvent Value) { OnAfterClear = std::move(Value); }
    TNotifyEvent GetOnEnter() const { return OnEnter; }
    void SetOnEnter(TNotifyEvent Value) { OnEnter = std::move(Value); }
    TNotifyEvent GetOnExit() const { return OnExit; }
    void SetOnExit(TNotifyEvent Value) { OnExit = std::move(Value); }
    TProgressEvent GetOnProgressEvent() const { return OnProgressEvent; }
    void SetOnProgressEvent(TProgressEvent Value) { OnProgressEvent = std::move(Value); }
    TAbortEvent GetOnAbortRequest() const { return OnAbortRequest; }
    void SetOnAbortRequest(TAbortEvent Value) { OnAbortRequest = std::move(Value); }
    TPrintEvent GetOnPagePrint() const { return OnPagePrint; }
    void SetOnPagePrint(TPrintEvent Value) { OnPagePrint = std::move(Value); }

    // ---- What the text viewer provides
    virtual std::int64_t CharNumToPoint(std::int64_t CharNum) = 0;
    virtual void CopySelection(HGLOBAL Mem) = 0;
    virtual std::int64_t CopyColumnText(HGLOBAL Mem) = 0;
    virtual void CopyToStream(TStream* Stream) = 0;
    virtual TLongPoint FindNextWord(const TLongPoint& From) = 0;
    virtual TLongPoint FindWordStart(const TLongPoint& From) = 0;
    virtual TLongPoint FindWordEnd(const TLongPoint& From) = 0;
    virtual std::int64_t GetSelectionSize() = 0;
    virtual std::int64_t GetTextSize() = 0;
    virtual void GotoLocation(std::int64_t Location) = 0;
    /// Positions on display line Line and reports its data.
    virtual void GetLineData(std::int64_t Line, std::int64_t& ALineWidth, std::int64_t& ALineLength,
                             std::int64_t& APageNumber, std::int64_t& ALineNumberOffset,
                             std::int64_t& APageTopLine) = 0;
    virtual std::int64_t GetLineAtTopOfPage(std::int64_t Page) = 0;
    virtual std::int64_t GetPageNumber(std::int64_t Line) = 0;
    /// Draws Count display lines from FirstLine on Canvas, the first at pixel row Y.
    virtual void PaintLines(std::int64_t Y, std::int64_t FirstLine, std::int64_t Count) = 0;
    /// Prints display line Line at printer position (X, Y); PageBreak: the page ends after it.
    virtual void PrintLine(std::int64_t X, std::int64_t Y, std::int64_t Line, TPrintRange Range,
                           bool& PageBreak) = 0;
    /// A text location of the caret that survives re-layout.
    virtual std::int64_t MarkLocation() = 0;
    virtual bool Search(const std::string& Text, TFindOptions Options) = 0;
    /// Snaps pixel offset X on the caret line to a character boundary, giving its index.
    virtual void SyncToChar(std::int64_t& X, std::int64_t& CharNum) = 0;
    virtual void UpdateMouseCursor(int X, int Y) = 0;
    virtual std::int64_t AllocBookmark() = 0;
    virtual void DeleteBookmark(std::int64_t Index) = 0;
    virtual void GotoBookMark(std::int64_t Index) = 0;
    virtual void CopyToClipBoard() = 0;
    virtual std::string GetInitialFindStr() = 0;
    virtual std::string GetSelection() = 0;
    virtual std::string GetString(std::int64_t Line, std::int64_t Start, std::int64_t Count) = 0;
    virtual void SaveSelection(const std::string& FileName) = 0;
    virtual std::int64_t TextOffset(const TLongPoint& P) = 0;

protected:
    // ---- Overridable steps
    virtual void DoOnStateChange();
    virtual void DoOnCaretMove();
    /// Sets the caret line and its measures directly (after a re-layout of that line).
    virtual void AdjustCurrentLine(std::int64_t Line, std::int64_t Width, std::int64_t Length);
    /// Back to an empty view: no selection, caret and view at the start.
    virtual void ReInitialise();
    /// The command of key definition Index; DefaultKeyHandler for indexes nobody answers.
    virtual TKeyEventHandler KeyHandler(int Index);
    virtual void DefaultKeyHandler();
    virtual void UpdateLinesOnScreen();
    virtual void UpdateScreenWidth();
    virtual void HandleFontChange(TObject* Sender);
    virtual void HandleBrushChange(TObject* Sender);
    virtual void DoZoomChanged(std::int64_t OldFactor) { (void)OldFactor; }
    virtual void DoSetFocus();
    virtual void DoKillFocus();
    virtual void BeginPrinting(bool Flag);
    virtual void EndPrinting();

    void HandleHorzSBChange(TObject* Sender);
    void HandleVertSBChange(TObject* Sender);
    void HandleHorzScroll(TObject* Sender);
    void HandleVertScroll(TObject* Sender);
    /// The selection follows a pointer dragged to client point (X, Y).
    void SetMouseSelection(int X, int Y);
    void Beep() const;
    /// V scaled as the font is by zoom factor Z: shifted left by Z bits when Z is positive, right
    /// by -Z bits when negative (each step doubles or halves).
    static std::int64_t ZoomShift(std::int64_t V, std::int64_t Z) {
        if (Z > 0)
            return V << std::min<std::int64_t>(Z, 16);
        if (Z < 0)
            return V >> std::min<std::int64_t>(-Z, 62);
        return V;
    }
    /// Rounds halves to even, as the platform's rounding of metrics does.
    static std::int64_t RoundMetric(double V);

    // ---- Framework overrides
    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void PaintWindowRect(const TRect& R) override;
    void KeyDown(std::uint16_t& Key, TShiftState Shift) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void WMChar(TMessage& Message) override;
    void CMWantSpecialKey(TMessage& Message) override;
    void WMGetDlgCode(TMessage& Message) override;
    void WMSize(TMessage& Message) override;
    void WMVScroll(TMessage& Message) override;
    void WMHScroll(TMessage& Message) override;
    void WMMouseWheel(TMessage& Message) override;
    void WMSetFocus(TMessage& Message) override;
    void WMKillFocus(TMessage& Message) override;
    void WMTimer(TMessage& Message) override;
    void WMCopy(TMessage& Message) override;

    // ---- Key table
    std::unique_ptr<TKeyManager> KeyManager;
    std::vector<TKeyDefinition> KeyDefs; // value of definition i at position i
    TKeyDefinition QuickKey = DefaultQuickKey;
    bool KeyHandled = false; // the last key-down was consumed by a command
    bool WantTabs = true;

    // ---- Caret, selection, view
    TSelectionModeLock SelectionModeLock;
    TLongPoint SelAnchor; // where the current keyboard or mouse selection began
    HBITMAP CaretBitmap = nullptr;
    std::int64_t CaretX = 0;      // pixel offset of the caret in its line
    std::int64_t TopLine = 0;     // first display line shown
    std::int64_t DeltaX = 0;      // horizontal scroll offset in pixels
    std::int64_t DesiredChar = 0; // character last set through SetCharNumber
    std::int64_t CharHeight = 1;  // pixels per display line, >= 1
    std::int64_t CharNumber = 0;  // caret's character index in its line
    std::string FindStr;
    std::int64_t LineNumber = 0; // caret's display line, 0..LastLine
    // A value of the map's line (or the caret's, taken from it) that a map line still being
    // measured does not know yet: reading or writing it first measures the rest of that line
    // (CloseMapLine), so that every path sees a measured line; the paint and the idle handler
    // look at an open line as it is (Raw).
    class TMapLineValue {
    public:
        explicit TMapLineValue(TLinesViewer* AOwner) : Owner(AOwner) {}
        TMapLineValue(const TMapLineValue&) = delete;
        TMapLineValue& operator=(const TMapLineValue&) = delete;
        operator std::int64_t() const { // read as a plain value
            if (Owner->MapLineOpen)
                Owner->CloseMapLine();
            return V;
        }
        TMapLineValue& operator=(std::int64_t X) {
            Ref() = X;
            return *this;
        }
        TMapLineValue& operator+=(std::int64_t X) {
            Ref() += X;
            return *this;
        }
        TMapLineValue& operator-=(std::int64_t X) {
            Ref() -= X;
            return *this;
        }
        std::int64_t& Ref() {
            if (Owner->MapLineOpen)
                Owner->CloseMapLine();
            return V;
        }
        std::int64_t& Raw() { return V; }

    private:
        TLinesViewer* Owner;
        std::int64_t V = 0;
    };
    /// The map line is still being measured (a text viewer measures a long first line in idle
    /// time).
    bool MapLineOpen = false;
    /// Measures the rest of a map line still being measured.
    virtual void CloseMapLine() {}
    // Data of the caret line, from GetLineData.
    TMapLineValue LineWidth{this};
    TMapLineValue LineLength{this};
    std::int64_t PageNumber = 1;
    std::int64_t LineNumberOffset = 0;
    std::int64_t PageTopLine = 0;
    std::int64_t ReportedPos = -1;
    std::int64_t ReportedLine = -1;
    std::int64_t LastLine = 0; // index of the last display line; the vertical bar's Limit
    TFindOptions FindOptions;
    TViewerStates State{vsEmpty};
    bool WPMode = false;
    bool BeepOn = true;
    TPagingModes PagingMode = pmMoveToLine;
    TLineNumberModes LineNumberMode = lnFileRelative;
    TLongPoint SelStart; // SelStart <= SelEnd (line first, then character)
    TLongPoint SelEnd;
    TSelModes SelMode = smNone;
    std::int64_t CharWidth = 1; // >= 1
    std::int64_t LinesOnScreen = 0;
    std::int64_t LinesPerPage = DefaultLinesPerPage; // >= 1

    // ---- Scrolling, mouse, busy mode
    std::unique_ptr<TWinScrollBar> HorzScrollBar; // counts pixels
    std::unique_ptr<TWinScrollBar> VertScrollBar; // counts display lines
    bool AutoScroll = false;
    TLongPoint WordSelStart; // the word of the last double click
    TLongPoint WordSelEnd;
    bool DragMargin = true;
    std::int64_t ProgressTotal = 0;
    std::int64_t LeftMargin = 0;
    std::int64_t RightMargin = 0;
    TMouseStates MouseState{msNormal};
    TCursor SavedCursor = crIBeam;
    std::int64_t ZoomFactor = 0;
    TDoubleClickModes DoubleClickMode = dcWordOnly;
    TMouseClickStates ClickState = mcNone;
    UINT ColumnClipFormat = 0;
    std::int64_t DoubleClickTime = DefaultDoubleClickTime;

    // ---- Printing
    std::array<float, 6> PrinterMetrics{0.5F, 0.5F, 0.75F, 1.0F, 0.25F, 0.25F};
    TRect PrintMargins;
    std::int64_t HeaderOffset = 0;
    std::int64_t FooterOffset = 0;
    std::int64_t PrintLineHeight = 0;
    std::int64_t PageCount = 1;

    // ---- Events
    TNotifyEvent OnStateChange;
    TNotifyEvent OnCaretMoved;
    TNotifyEvent OnBeforeClear;
    TNotifyEvent OnAfterClear;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TProgressEvent OnProgressEvent;
    TAbortEvent OnAbortRequest;
    TPrintEvent OnPagePrint;

private:
    /// Runs a navigation move between the two selection-extending steps.
    void NavigationCommand(const std::function<void()>& Move);
    /// Collapses a selection to P when no selecting key is held; true when it did.
    bool CollapseSelection(TLongPoint P);
    /// The selection from Anchor to Q in text order; a column block also orders its edges.
    static std::pair<TLongPoint, TLongPoint> FromAnchor(TLongPoint Anchor, TLongPoint Q,
                                                        bool Column);
    void RepaintSelectionChange(const TLongPoint& OldStart, const TLongPoint& OldEnd,
                                const TLongPoint& NewStart, const TLongPoint& NewEnd);
    void ReadDoubleClickTime();
    /// Ends a drag of a margin (mouse release).
    void EndMarginDrag();
    /// The display lines and pages a print of Range covers.
    struct TPrintSpan {
        std::int64_t FirstLine = 0;
        std::int64_t LastLine = 0;
        std::int64_t FirstPage = 1;
        std::int64_t LastPage = 1;
    };
    TPrintSpan PrintSpan(TPrintRange Range, std::int64_t FromPage, std::int64_t ToPage);
    /// Prints page Page of Pages: the header, the lines from Line (which moves past them) up to
    /// LastPrinted, the page's end or a page break, and the page number.
    void PrintPage(const std::string& Header, bool PageNumbers, TPrintRange Range,
                   std::int64_t Page, std::int64_t Pages, std::int64_t LastPrinted,
                   std::int64_t& Line);

    bool MarginDragging = false; // a margin drag runs (vsDragging set by the viewer itself)
};

} // namespace kestrel
