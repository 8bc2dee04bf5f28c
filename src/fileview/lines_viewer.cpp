// TLinesViewer: construction, key table, state, caret, selection, navigation and search entry.
#include "fileview/lines_viewer.h"

#include "fileview/viewer_scopes.h"
#include "host/registry.h"
#include "host/sysutils.h"
#include "textbuff/text_buffer.h" // the unit's exception classes

#include <algorithm>
#include <cctype>

namespace kestrel {

const std::array<TKeyDefinition, kiViewerKeyCount> ViewerDefaultKeys = {
    301, // AltCopyKey: Ctrl+Insert
    27,  // CancelKey: Escape
    323, // CopyKey: Ctrl+C
    37,  // LeftArrowKey: Left
    39,  // RightArrowKey: Right
    293, // WordLeftKey: Ctrl+Left
    295, // WordRightkey: Ctrl+Right
    36,  // LineStartKey: Home
    35,  // LineEndKey: End
    38,  // LineUpKey: Up
    40,  // LineDownKey: Down
    33,  // PageUpKey: Page Up
    34,  // PageDownKey: Page Down
    292, // TextStartKey: Ctrl+Home
    291, // TextEndKey: Ctrl+End
    294, // ScrollUpKey: Ctrl+Up
    296, // ScrollDownKey: Ctrl+Down
};

namespace {

bool KeyIsDown(int VirtKey) {
    return (GetKeyState(VirtKey) & 0x8000) != 0;
}

} // namespace

TLinesViewer::TLinesViewer(TComponent* AOwner)
    : TFlickerFreeControl(AOwner), KeyManager(std::make_unique<TKeyManager>()),
      HorzScrollBar(std::make_unique<TWinScrollBar>(this, sbHorizontal)),
      VertScrollBar(std::make_unique<TWinScrollBar>(this, sbVertical)) {
    SetBounds(GetLeft(), GetTop(), 185, 89);
    HorzScrollBar->SetOnChange([this](TObject* S) { HandleHorzSBChange(S); });
    HorzScrollBar->SetOnScroll([this](TObject* S) { HandleHorzScroll(S); });
    VertScrollBar->SetOnChange([this](TObject* S) { HandleVertSBChange(S); });
    VertScrollBar->SetOnScroll([this](TObject* S) { HandleVertScroll(S); });
    CharWidth = 1;
    CharHeight = 1;
    SetEnabled(true);
    SetControlStyle(GetControlStyle() + csOpaque);
    SetQuickKey(DefaultQuickKey);
    for (int I = 0; I < kiViewerKeyCount; ++I)
        SetKeyDef(I, ViewerDefaultKeys[static_cast<std::size_t>(I)]);
    DragMargin = true;
    BeepOn = true;
    ReadDoubleClickTime();
    SetCursor(crIBeam);
    MouseState = TMouseStates{msNormal};
    SetParentFont(false);
    SetParentColor(false);
    State = TViewerStates{vsEmpty};
    UpdatePrinterMetrics();
    ColumnClipFormat = RegisterClipboardFormat("KESTREL_COLUMN_TEXT");
    WantTabs = true;
}

TLinesViewer::~TLinesViewer() {
    // The window goes first, while the scroll bars it reports to still exist; a dying viewer
    // tells nobody about losing the focus.
    OnExit = nullptr;
    OnStateChange = nullptr;
    DestroyHandle();
}

void TLinesViewer::ReadDoubleClickTime() {
    DoubleClickTime = DefaultDoubleClickTime;
    try {
        TRegistry Reg;
        Reg.SetRootKey(HKEY_CURRENT_USER);
        if (!Reg.OpenKeyReadOnly("Control Panel\\Mouse") || !Reg.ValueExists("DoubleClickSpeed"))
            return;
        const std::string Text = Reg.ReadString("DoubleClickSpeed");
        const std::int64_t Value = StrToIntDef(Text, -1);
        // Only a plain positive decimal number counts.
        const bool Decimal = !Text.empty() && std::all_of(Text.begin(), Text.end(), [](char C) {
            return std::isdigit(static_cast<unsigned char>(C)) != 0;
        });
        if (Decimal && Value > 0)
            DoubleClickTime = Value;
    } catch (const Exception&) {
        // A value of another type: keep the default.
    }
}

// ---- Key table ----------------------------------------------------------------------------

TKeyDefinition TLinesViewer::GetKeyDef(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(KeyDefs.size()))
        return 0;
    return KeyDefs[static_cast<std::size_t>(Index)];
}

void TLinesViewer::SetKeyDef(int Index, TKeyDefinition Value) {
    if (Index < 0)
        return;
    const auto I = static_cast<std::size_t>(Index);
    if (I < KeyDefs.size() && KeyDefs[I] != 0)
        KeyManager->SetKeyCode(KeyDefs[I], nullptr);
    if (I >= KeyDefs.size())
        KeyDefs.resize(I + 1, 0);
    KeyDefs[I] = Value;
    KeyManager->SetKeyCode(Value, KeyHandler(Index));
}

void TLinesViewer::SetQuickKey(TKeyDefinition Value) {
    QuickKey = Value;
    KeyManager->SetQuickKey(Value);
}

TKeyEventHandler TLinesViewer::KeyHandler(int Index) {
    switch (Index) {
    case kiAltCopyKey:
    case kiCopyKey:
        return [this] { CopyToClipBoard(); };
    case kiCancelKey:
        return [this] { CancelSelection(); };
    case kiLeftArrowKey:
        return [this] { CharLeft(); };
    case kiRightArrowKey:
        return [this] { CharRight(); };
    case kiWordLeftKey:
        return [this] { WordLeft(); };
    case kiWordRightkey:
        return [this] { WordRight(); };
    case kiLineStartKey:
        return [this] { StartOfLine(); };
    case kiLineEndKey:
        return [this] { EndOfLine(); };
    case kiLineUpKey:
        return [this] { LineUp(); };
    case kiLineDownKey:
        return [this] { LineDown(); };
    case kiPageUpKey:
        return [this] { PageUp(); };
    case kiPageDownKey:
        return [this] { PageDown(); };
    case kiTextStartKey:
        return [this] { StartOftext(); };
    case kiTextEndKey:
        return [this] { EndOftext(); };
    case kiScrollUpKey:
        return [this] { ScrollUp(); };
    case kiScrollDownKey:
        return [this] { ScrollDown(); };
    default:
        return [this] { DefaultKeyHandler(); };
    }
}

void TLinesViewer::DefaultKeyHandler() {
    throw EInternalError("Undefined key handler");
}

void TLinesViewer::KeyDown(std::uint16_t& Key, TShiftState Shift) {
    TFlickerFreeControl::KeyDown(Key, Shift);
    KeyHandled = true;
    KeyHandled = KeyManager->TranslateKey(Key, Shift);
}

void TLinesViewer::WMChar(TMessage& Message) {
    if (KeyHandled) {
        Message.Result = 0;
        return;
    }
    TFlickerFreeControl::WMChar(Message);
}

void TLinesViewer::CMWantSpecialKey(TMessage& Message) {
    Message.Result = (LOWORD(Message.WParam) != VK_TAB || WantTabs) ? 1 : 0;
}

void TLinesViewer::WMGetDlgCode(TMessage& Message) {
    TFlickerFreeControl::WMGetDlgCode(Message);
    Message.Result |= DLGC_WANTARROWS | DLGC_WANTALLKEYS;
}

// ---- State --------------------------------------------------------------------------------

void TLinesViewer::SetState(TViewerStates Flags, bool On) {
    if (On)
        State += Flags;
    else
        State -= Flags;
    DoOnStateChange();
}

void TLinesViewer::DoOnStateChange() {
    if (OnStateChange && Focused())
        OnStateChange(this);
}

void TLinesViewer::DoOnCaretMove() {
    if (OnCaretMoved)
        OnCaretMoved(this);
}

void TLinesViewer::SetLineNumberMode(TLineNumberModes Value) {
    LineNumberMode = Value;
    DoOnCaretMove();
}

void TLinesViewer::Beep() const {
    if (BeepOn)
        MessageBeep(MB_ICONASTERISK);
}

// ---- Caret --------------------------------------------------------------------------------

void TLinesViewer::_SetCaretPos(const TLongPoint& P) {
    const std::int64_t X = P.X;
    const std::int64_t Line = std::clamp<std::int64_t>(P.Y, 0, std::max<std::int64_t>(0, LastLine));
    GetLineData(Line, LineWidth.Raw(), LineLength.Raw(), PageNumber, LineNumberOffset, PageTopLine);
    // The text may end before an estimated last line: the caret stays on the line found.
    LineNumber = std::min(Line, std::max<std::int64_t>(0, LastLine));
    ShowCurrentLine();
    CaretX = std::max<std::int64_t>(0, X);
    // (At the line's start its width is not asked for: a line still being measured stays so.)
    if (CaretX == 0 || LineWidth >= CaretX || !WPMode || SelMode == smColumn ||
        State.Contains(vsDragging)) {
        SyncToChar(CaretX, CharNumber);
    } else if (DesiredChar >= LineLength || KeyIsDown(VK_LBUTTON)) {
        CaretX = LineWidth;
        CharNumber = LineLength;
    } else {
        CaretX = CharNumToPoint(DesiredChar);
        CharNumber = DesiredChar;
    }
    ShowCurrentCharacter();
    SetCaretPos();
}

void TLinesViewer::SetLineNumber(std::int64_t Line) {
    _SetCaretPos(LongPoint(CaretX, Line));
}

void TLinesViewer::SetCharNumber(std::int64_t N) {
    ShowCurrentLine();
    CharNumber = N;
    DesiredChar = N;
    CaretX = CharNumToPoint(N);
    ShowCurrentCharacter();
    SetCaretPos();
}

void TLinesViewer::SetCaretPos() {
    if (!EnableUpdates || !GetVisible() || !Focused())
        return;
    const std::int64_t ClientWidth = GetClientWidth();
    std::int64_t X = CaretX - DeltaX;
    if (X >= ClientWidth - LeftMargin)
        --X;
    X += LeftMargin;
    const std::int64_t Y = (LineNumber - TopLine) * CharHeight;
    const HWND Wnd = GetHandle();
    HideCaret(Wnd);
    kestrel::SetCaretPos(ClampToInt(X), ClampToInt(Y));
    ShowCaret(Wnd);
}

void TLinesViewer::SetCaret(HBITMAP Bitmap) {
    CaretBitmap = Bitmap;
    if (!Focused())
        return;
    CreateCaret(GetHandle(), CaretBitmap, 0, static_cast<int>(CharHeight));
    SetCaretPos();
    ShowCaret(GetHandle());
}

void TLinesViewer::ShowCurrentLine() {
    if (LineNumber < TopLine) {
        SetDeltaY(LineNumber);
    } else if (LineNumber >= TopLine + LinesOnScreen - 1) {
        const std::int64_t K =
            GetClientHeight() < LinesOnScreen * CharHeight - CharHeight / 4 ? 1 : 0;
        SetDeltaY(LineNumber - LinesOnScreen + 1 + K);
    }
}

void TLinesViewer::ShowCurrentCharacter() {
    const std::int64_t ClientWidth = GetClientWidth();
    if (CaretX == 0)
        SetDeltaX(0);
    else if (CaretX < DeltaX - LeftMargin)
        SetDeltaX(CaretX + LeftMargin);
    else if (CaretX - DeltaX >= ClientWidth - LeftMargin)
        SetDeltaX(CaretX + LeftMargin - ClientWidth + 1);
}

void TLinesViewer::AdjustCurrentLine(std::int64_t Line, std::int64_t Width, std::int64_t Length) {
    LineNumber = Line;
    LineWidth = Width;
    LineLength = Length;
}

// ---- Selection ----------------------------------------------------------------------------

void TLinesViewer::SetSelection(const TLongPoint& Start, const TLongPoint& End, TSelModes Mode) {
    SelStart = Start;
    SelEnd = End;
    SelMode = Mode;
    SetState(vsSelection, Mode != smNone && !(Start == End));
}

void TLinesViewer::ResetSelection(TLongPoint P) {
    SelAnchor = P;
    SetSelection(ZeroPoint, ZeroPoint, smNone);
}

void TLinesViewer::CancelSelection() {
    const TLongPoint Start = SelStart;
    SetSelection(Start, Start, smNone);
    Redraw();
}

void TLinesViewer::SelectAll() {
    SetLineNumber(LastLine);
    SelAnchor = ZeroPoint;
    SetSelection(ZeroPoint, LongPoint(LineLength, LastLine), smExtend);
    Redraw();
}

void TLinesViewer::RepaintSelectionChange(const TLongPoint& OldStart, const TLongPoint& OldEnd,
                                          const TLongPoint& NewStart, const TLongPoint& NewEnd) {
    if (NewStart == OldStart)
        redrawLines(OldEnd.Y - TopLine, NewEnd.Y - TopLine);
    else if (NewEnd == OldEnd)
        redrawLines(NewStart.Y - TopLine, OldStart.Y - TopLine);
    else // both ends moved (the caret crossed the anchor): everything they spanned
        redrawLines(std::min(NewStart.Y, OldStart.Y) - TopLine,
                    std::max(NewEnd.Y, OldEnd.Y) - TopLine);
}

std::pair<TLongPoint, TLongPoint> TLinesViewer::FromAnchor(TLongPoint Anchor, TLongPoint Q,
                                                           bool Column) {
    std::pair<TLongPoint, TLongPoint> R = Q < Anchor ? std::pair{Q, Anchor} : std::pair{Anchor, Q};
    if (Column && R.first.X > R.second.X)
        std::swap(R.first.X, R.second.X);
    return R;
}

void TLinesViewer::ExtendSelection() {
    const TShiftState Shift = GetShiftState();
    TSelModes M = smNone;
    if (SelectionModeLock.Contains(slShift) || Shift.Contains(ssShift))
        M = smExtend;
    else if (SelectionModeLock.Contains(slAlt) || Shift.Contains(ssAlt))
        M = smColumn;
    const TLongPoint Q = LongPoint(CharNumber, LineNumber);
    if (M == smNone) {
        if (SelMode != smNone)
            Redraw();
        ResetSelection(Q);
        return;
    }
    if (SelMode == smNone)
        SelAnchor = Q;
    // The selection runs from the anchor to the caret, in text order.
    const auto [S, E] = FromAnchor(SelAnchor, Q, M == smColumn);
    if (M == smColumn)
        Redraw();
    else
        RepaintSelectionChange(SelStart, SelEnd, S, E);
    SetSelection(S, E, M);
}

// ---- Navigation ---------------------------------------------------------------------------

void TLinesViewer::NavigationCommand(const std::function<void()>& Move) {
    if (SelMode == smNone)
        ExtendSelection();
    Move();
    ExtendSelection();
}

bool TLinesViewer::CollapseSelection(TLongPoint P) {
    const TShiftState Shift = GetShiftState();
    if (!State.Contains(vsSelection) || !SelectionModeLock.Empty() || Shift.Contains(ssAlt) ||
        Shift.Contains(ssShift))
        return false;
    SetLineNumber(P.Y);
    SetCharNumber(P.X);
    ResetSelection(P);
    Redraw();
    return true;
}

void TLinesViewer::CharLeft() {
    if (SelMode == smNone)
        ExtendSelection();
    if (CollapseSelection(SelStart))
        return;
    if (CharNumber > 0) {
        if (LineWidth < CaretX)
            _SetCaretPos(LongPoint(CaretX - CharWidth, LineNumber));
        else
            SetCharNumber(CharNumber - 1);
    } else if (LineNumber > 0) {
        SetLineNumber(LineNumber - 1);
        SetCharNumber(LineLength);
    } else {
        Beep();
    }
    ExtendSelection();
}

void TLinesViewer::CharRight() {
    if (SelMode == smNone)
        ExtendSelection();
    if (CollapseSelection(SelEnd))
        return;
    if (CharNumber < LineLength) {
        SetCharNumber(CharNumber + 1);
    } else if (LineNumber < LastLine) {
        _SetCaretPos(LongPoint(CaretX + CharWidth, LineNumber));
        if (WPMode || CaretX + CharWidth - DeltaX - LeftMargin > HorzScrollBar->GetLimit()) {
            SetLineNumber(LineNumber + 1);
            SetCharNumber(0);
        }
    } else {
        Beep();
    }
    ExtendSelection();
}

void TLinesViewer::WordLeft() {
    NavigationCommand([this] {
        CharLeft();
        const TLongPoint P = FindWordStart(LongPoint(CharNumber - 1, LineNumber));
        SetLineNumber(P.Y);
        SetCharNumber(P.X);
    });
}

void TLinesViewer::WordRight() {
    NavigationCommand([this] {
        CharRight();
        TLongPoint P;
        if (LineWidth < CaretX && LineNumber < LastLine) {
            // Past a line's end the next word is the first of the next line: without this
            // step the caret would fall back to the same line end for ever.
            const TLongPoint Start = LongPoint(0, LineNumber + 1);
            P = FindWordEnd(Start) == Start ? FindNextWord(Start) : Start;
        } else {
            P = FindNextWord(LongPoint(CharNumber, LineNumber));
        }
        SetLineNumber(P.Y);
        SetCharNumber(P.X);
    });
}

void TLinesViewer::StartOfLine() {
    NavigationCommand([this] { SetCharNumber(0); });
}

void TLinesViewer::EndOfLine() {
    NavigationCommand([this] { SetCharNumber(LineLength); });
}

void TLinesViewer::LineUp() {
    NavigationCommand([this] {
        if (LineNumber == 0)
            Beep();
        else
            SetLineNumber(LineNumber - 1);
    });
}

void TLinesViewer::LineDown() {
    NavigationCommand([this] {
        if (LineNumber >= LastLine)
            Beep();
        else
            SetLineNumber(LineNumber + 1);
    });
}

void TLinesViewer::PageUp() {
    NavigationCommand([this] {
        const std::int64_t T = TopLine;
        SetLineNumber(LineNumber - LinesOnScreen + 1);
        if (PagingMode == pmCaretConstant)
            SetDeltaY(T - LinesOnScreen + 1);
    });
}

void TLinesViewer::PageDown() {
    NavigationCommand([this] {
        const std::int64_t T = TopLine;
        SetLineNumber(LineNumber + LinesOnScreen - 1);
        if (PagingMode == pmCaretConstant)
            SetDeltaY(T + LinesOnScreen - 1);
    });
}

void TLinesViewer::ScrollUp() {
    NavigationCommand([this] {
        if (TopLine > 0)
            SetDeltaY(TopLine - 1);
        if (LineNumber >= TopLine + LinesOnScreen)
            _SetCaretPos(LongPoint(CaretX, LineNumber - 1));
    });
}

void TLinesViewer::ScrollDown() {
    NavigationCommand([this] {
        if (TopLine < LastLine - LinesOnScreen + 1)
            SetDeltaY(TopLine + 1);
        if (TopLine == LineNumber + 1)
            _SetCaretPos(LongPoint(CaretX, TopLine));
    });
}

void TLinesViewer::StartOftext() {
    NavigationCommand([this] {
        SetLineNumber(0);
        SetCharNumber(0);
    });
}

void TLinesViewer::EndOftext() {
    NavigationCommand([this] {
        SetLineNumber(LastLine);
        SetCharNumber(LineLength);
    });
}

// ---- Line numbers -------------------------------------------------------------------------

void TLinesViewer::GotoLineNumber(std::int64_t N) {
    SetLineNumber(N);
}

std::int64_t TLinesViewer::GetEffectiveLineNumber() const {
    if (LineNumberMode == lnFileRelative)
        return LineNumber - LineNumberOffset;
    return (LineNumber - PageTopLine) % std::max<std::int64_t>(1, LinesPerPage);
}

void TLinesViewer::SetEffectiveLineNumber(std::int64_t N) {
    GotoLineNumber(N + 1);
}

void TLinesViewer::SetLastLine(std::int64_t N) {
    if (N == LastLine)
        return;
    LastLine = N;
    VertScrollBar->SetLimit(N);
}

// ---- Search -------------------------------------------------------------------------------

void TLinesViewer::SetFindStr(const std::string& S) {
    FindStr = S;
    SetState(vsSearchString, !S.empty());
}

std::string TLinesViewer::ExpandString(const std::string& S) {
    std::string Result;
    std::size_t I = 0;
    while (I < S.size()) {
        const char C = S[I];
        if (C != '^' || I + 1 == S.size()) {
            Result += C;
            ++I;
            continue;
        }
        const char Next = S[I + 1];
        if (std::isdigit(static_cast<unsigned char>(Next))) {
            const std::string Digits = S.substr(I + 1, 3);
            int Value = 0;
            for (char D : Digits) {
                if (!std::isdigit(static_cast<unsigned char>(D)))
                    throw EUserError(
                        "Code after the ^ must be between 0 and 255 and be three digits long");
                Value = Value * 10 + (D - '0');
            }
            if (Value > 255)
                throw EUserError(
                    "Code after the ^ must be between 0 and 255 and be three digits long");
            Result += static_cast<char>(Value);
            I += 1 + Digits.size();
            continue;
        }
        switch (Next) {
        case 'L':
        case 'l':
            Result += '\f';
            break;
        case 'P':
        case 'p':
            Result += "\r\n";
            break;
        case 'T':
        case 't':
            Result += '\t';
            break;
        case '^':
            Result += '^';
            break;
        default:
            throw EUserError("Unknown Character in search/replace text");
        }
        I += 2;
    }
    return Result;
}

bool TLinesViewer::Find(TFindDialog* Dialog, const std::string& Text, TFindOptions Options) {
    FindOptions = Options;
    SetFindStr(ExpandString(Text));
    if (CanFocus())
        SetFocus();
    return FindNext(Dialog);
}

bool TLinesViewer::FindNext(TFindDialog* Dialog) {
    if (State.Contains(vsSearching)) {
        Beep();
        return false;
    }
    bool Found = false;
    {
        const TStateFlagScope Searching(*this, vsSearching);
        const TBusyModeScope Busy(*this, GetTextSize());
        Found = Search(FindStr, FindOptions);
    }

    if (Found && Dialog != nullptr && Dialog->GetHandle() != 0 &&
        WindowService().IsWindowVisible(Dialog->GetHandle())) {
        TWindowService& P = WindowService();
        const HWND DialogWnd = Dialog->GetHandle();
        std::int64_t X = CaretX - DeltaX + LeftMargin;
        std::int64_t Y = (LineNumber - TopLine) * CharHeight;
        X = std::clamp<std::int64_t>(X, -30000, 30000);
        Y = std::clamp<std::int64_t>(Y, -30000, 30000);
        const TPoint Caret =
            ClientToScreen(GetHandle(), TPoint{static_cast<int>(X), static_cast<int>(Y)});
        const TRect R = P.GetWindowRect(DialogWnd);
        if (PtInRect(R, Caret)) {
            const int Height = R.Height();
            const int Top = Height < Caret.Y ? Caret.Y - Height - 1
                                             : Caret.Y + static_cast<int>(CharHeight) + 1;
            P.SetWindowBounds(DialogWnd, R.Left, Top, R.Width(), Height);
        }
        FocusService().SetFocus(DialogWnd);
    }
    return Found;
}

// ---- Life cycle ---------------------------------------------------------------------------

void TLinesViewer::ReInitialise() {
    SelAnchor = ZeroPoint;
    WordSelStart = ZeroPoint;
    WordSelEnd = ZeroPoint;
    SetDeltaY(0);
    SetSelection(ZeroPoint, ZeroPoint, smNone);
    State = State * TViewerStates{vsInsertOn, vsPasteAvailable};
    SetState(vsEmpty, GetTextSize() == 0);
    SetLineNumber(0);
    SetCharNumber(0);
    SetLastLine(0);
    PageCount = 1;
    ReportedLine = -1;
    HorzScrollBar->SetLimit(0);
    VertScrollBar->SetLimit(0);
    PageTopLine = 0;
    LineNumberOffset = 0;
    SetZoomFactor(0);
    Redraw();
}

void TLinesViewer::Clear() {
    if (OnBeforeClear)
        OnBeforeClear(this);
    ReInitialise();
    if (OnAfterClear)
        OnAfterClear(this);
}

void TLinesViewer::Close() {
    if (HandleAllocated())
        kestrel::SendMessage(GetHandle(), WM_CLOSE, 0, 0);
}

} // namespace kestrel
