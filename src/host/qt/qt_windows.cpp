// TQtWindowPlatform: windows, focus, painting, scroll bars and caret over QWidgets.
#include "host/qt/qt_windows.h"

#include "host/exceptions.h"
#include "host/message_queue.h"
#include "host/qt/qt_graphics.h"
#include "host/qt/qt_input.h"
#include "host/qt/qt_queue.h"
#include "host/qt/qt_text.h"
#include "host/qt/qt_widgets.h"
#include "host/scope_guard.h"
#include "host/window_platform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>
#include <QStyleOptionFrame>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace kestrel::qt {

/// A window: its record and its widgets.
struct TQtWindowPlatform::TWindow {
    HWND Handle = 0;
    HWND Parent = 0;
    TWindowTarget* Target = nullptr;
    std::string Caption;
    std::uint32_t Style = 0;
    std::uint32_t ClassStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0; // outer bounds
    bool Visible = false;
    bool Destroying = false;
    QRegion Region; // what waits to be painted, client coordinates
    bool EraseRequested = false;
    QImage Backing; // the client area's pixels
    std::array<TQtScrollBar, 2> Bars;
    QPointer<QWidget> Widget;  // the frame, or the dialog
    TQtFrame* Frame = nullptr; // nullptr for a dialog
    TQtClient* Client = nullptr;
    std::array<QScrollBar*, 2> ScrollBars{};
    std::vector<std::unique_ptr<TQtDC>> DCs;
    int ClientWidth = -1; // the client size last told with WM_SIZE
    int ClientHeight = -1;
    std::vector<TRect> PaintLog;
};

namespace {

// Runs an event function's work; an exception is reported, never passed to Qt.
template <typename F> void Guarded(F&& Work) noexcept {
    try {
        Work();
    } catch (...) {
        TQtQueue::ReportException();
    }
}

QRect ToQRect(const TRect& R) {
    return QRect(R.Left, R.Top, R.Width(), R.Height());
}

TRect FromQRect(const QRect& R) {
    return Bounds(R.x(), R.y(), R.width(), R.height());
}

Qt::CursorShape ShapeOf(TCursor Cursor) {
    switch (Cursor) {
    case crNone:
        return Qt::BlankCursor;
    case crCross:
        return Qt::CrossCursor;
    case crIBeam:
        return Qt::IBeamCursor;
    case crSizeWE:
        return Qt::SizeHorCursor;
    case crHourGlass:
        return Qt::WaitCursor;
    case crDrag:
        return Qt::DragMoveCursor;
    case crNoDrop:
        return Qt::ForbiddenCursor;
    case crHSplit:
        return Qt::SplitHCursor;
    case crVSplit:
        return Qt::SplitVCursor;
    default:
        return Qt::ArrowCursor;
    }
}

WPARAM MouseKeys(Qt::MouseButtons Buttons, Qt::KeyboardModifiers Modifiers) {
    WPARAM Keys = 0;
    if (Buttons.testFlag(Qt::LeftButton))
        Keys |= MK_LBUTTON;
    if (Buttons.testFlag(Qt::RightButton))
        Keys |= MK_RBUTTON;
    if (Buttons.testFlag(Qt::MiddleButton))
        Keys |= MK_MBUTTON;
    if (Modifiers.testFlag(Qt::ShiftModifier))
        Keys |= MK_SHIFT;
    if (Modifiers.testFlag(Qt::ControlModifier))
        Keys |= MK_CONTROL;
    return Keys;
}

// Moves the pixels of Image by (DX, DY); the uncovered part keeps its old pixels.
void ScrollImage(QImage& Image, int DX, int DY) {
    const int W = Image.width(), H = Image.height();
    if (std::abs(DX) >= W || std::abs(DY) >= H || (DX == 0 && DY == 0))
        return;
    const int Bytes = (W - std::abs(DX)) * 4;
    const int FromX = DX < 0 ? -DX : 0, ToX = DX > 0 ? DX : 0;
    const auto Row = [&](int Y) {
        std::memmove(Image.scanLine(Y + DY) + ToX * 4, Image.constScanLine(Y) + FromX * 4,
                     static_cast<std::size_t>(Bytes));
    };
    if (DY > 0)
        for (int Y = H - 1 - DY; Y >= 0; --Y)
            Row(Y);
    else
        for (int Y = -DY; Y < H; ++Y)
            Row(Y);
}

} // namespace

// ---- widgets

TQtFrame::TQtFrame(TQtWindowPlatform* Platform, HWND Handle, QWidget* Parent)
    : QWidget(Parent), TQtWindowLink(Platform, Handle) {
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
}

void TQtFrame::resizeEvent(QResizeEvent*) {
    if (Handle != 0)
        Guarded([&] { Platform->ClientResized(Handle); });
}

void TQtFrame::paintEvent(QPaintEvent*) {
    if (Border == 0)
        return;
    QPainter P(this);
    QStyleOptionFrame Option;
    Option.initFrom(this);
    Option.rect = rect();
    Option.lineWidth = Border;
    Option.midLineWidth = 0;
    Option.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_Frame, &Option, &P, this);
}

void TQtFrame::closeEvent(QCloseEvent* Event) {
    Event->ignore();
    if (Handle != 0)
        Guarded([&] { Platform->CloseRequested(Handle); });
}

TQtClient::TQtClient(TQtWindowPlatform* Platform, HWND Handle, QWidget* Parent)
    : QWidget(Parent), TQtWindowLink(Platform, Handle) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
}

void TQtClient::paintEvent(QPaintEvent* Event) {
    if (Handle != 0)
        Guarded([&] { Platform->PaintClient(Handle, Event); });
}

void TQtClient::keyPressEvent(QKeyEvent* Event) {
    if (Handle != 0)
        Guarded([&] { Platform->KeyEvent(Handle, Event, true); });
}

void TQtClient::keyReleaseEvent(QKeyEvent* Event) {
    if (Handle != 0)
        Guarded([&] { Platform->KeyEvent(Handle, Event, false); });
}

void TQtClient::mousePressEvent(QMouseEvent* Event) {
    static constexpr UINT Down[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    const int I = Event->button() == Qt::RightButton ? 1 : Event->button() == Qt::MiddleButton;
    if (Handle != 0)
        Guarded([&] { Platform->MouseEvent(Handle, Event, Down[I]); });
}

void TQtClient::mouseReleaseEvent(QMouseEvent* Event) {
    static constexpr UINT Up[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    const int I = Event->button() == Qt::RightButton ? 1 : Event->button() == Qt::MiddleButton;
    if (Handle != 0)
        Guarded([&] { Platform->MouseEvent(Handle, Event, Up[I]); });
}

void TQtClient::mouseDoubleClickEvent(QMouseEvent* Event) {
    static constexpr UINT Double[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
    const int I = Event->button() == Qt::RightButton ? 1 : Event->button() == Qt::MiddleButton;
    if (Handle != 0)
        Guarded([&] { Platform->MouseEvent(Handle, Event, Double[I]); });
}

void TQtClient::mouseMoveEvent(QMouseEvent* Event) {
    if (Handle != 0)
        Guarded([&] { Platform->MouseEvent(Handle, Event, WM_MOUSEMOVE); });
}

void TQtClient::wheelEvent(QWheelEvent* Event) {
    if (Handle != 0)
        Guarded([&] { Platform->WheelEvent(Handle, Event); });
}

void TQtClient::focusInEvent(QFocusEvent*) {
    if (Handle != 0)
        Guarded([&] { Platform->FocusIn(Handle); });
}

void TQtClient::focusOutEvent(QFocusEvent* Event) {
    // The window losing activation or a menu opening keeps the focus window.
    if (Event->reason() == Qt::ActiveWindowFocusReason || Event->reason() == Qt::PopupFocusReason)
        return;
    if (Handle != 0)
        Guarded([&] { Platform->FocusOut(Handle); });
}

bool TQtClient::focusNextPrevChild(bool) {
    return false;
}

// ---- the platform

TQtWindowPlatform::TQtWindowPlatform(TQtGraphics& Graphics, TQtInput& Input, TQtQueue& Queue)
    : FGraphics(Graphics), FInput(Input), FQueue(Queue) {
    const int Flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (Flash > 0) {
        FBlink.setInterval(Flash / 2);
        QObject::connect(&FBlink, &QTimer::timeout, [this] {
            FCaretOn = !FCaretOn;
            UpdateCaret();
        });
    }
}

TQtWindowPlatform::~TQtWindowPlatform() {
    FBlink.stop();
    for (auto& [Handle, W] : FWindows) {
        W->DCs.clear();
        if (W->Frame != nullptr)
            W->Frame->Handle = 0;
        if (W->Client != nullptr)
            W->Client->Handle = 0;
        if (auto* Link = dynamic_cast<TQtWindowLink*>(W->Widget.data()))
            Link->Handle = 0;
    }
    // Children first: a parent deletes its child widgets itself.
    for (auto It = FCreationOrder.rbegin(); It != FCreationOrder.rend(); ++It)
        if (TWindow* W = Find(*It); W != nullptr && W->Widget && W->Parent == 0)
            delete W->Widget.data();
    for (const QPointer<QWidget>& Widget : FRetired)
        if (Widget && Widget->parent() == nullptr)
            delete Widget.data();
}

TQtWindowPlatform::TWindow* TQtWindowPlatform::Find(HWND Wnd) {
    const auto It = FWindows.find(Wnd);
    return It == FWindows.end() ? nullptr : It->second.get();
}

const TQtWindowPlatform::TWindow* TQtWindowPlatform::Find(HWND Wnd) const {
    const auto It = FWindows.find(Wnd);
    return It == FWindows.end() ? nullptr : It->second.get();
}

TQtWindowPlatform::TWindow& TQtWindowPlatform::Get(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        throw EInvalidOperation("Invalid window handle");
    return *W;
}

const TQtWindowPlatform::TWindow& TQtWindowPlatform::Get(HWND Wnd) const {
    const TWindow* W = Find(Wnd);
    if (W == nullptr)
        throw EInvalidOperation("Invalid window handle");
    return *W;
}

int TQtWindowPlatform::BorderOf(const TWindow& W) const {
    if (W.Frame == nullptr)
        return 0;
    if ((W.Style & WS_THICKFRAME) != 0)
        return 3;
    if ((W.Style & WS_BORDER) != 0)
        return 1;
    return 0;
}

int TQtWindowPlatform::BarExtent() const {
    return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

// ---- windows

HWND TQtWindowPlatform::CreateWindowHandle(const TCreateParams& Params, TWindowTarget* Target) {
    TWindow* Parent = nullptr;
    if (Params.WndParent != 0 && (Parent = Find(Params.WndParent)) == nullptr)
        throw EInvalidOperation("Invalid parent window handle");
    auto W = std::make_unique<TWindow>();
    W->Handle = FNextHandle++;
    W->Parent = Params.WndParent;
    W->Target = Target;
    W->Caption = Params.Caption;
    W->Style = Params.Style;
    W->ClassStyle = Params.ClassStyle;
    W->X = Params.X;
    W->Y = Params.Y;
    W->Width = std::max(0, Params.Width);
    W->Height = std::max(0, Params.Height);
    W->Visible = (Params.Style & WS_VISIBLE) != 0;
    W->Bars[SB_HORZ].Visible = (Params.Style & WS_HSCROLL) != 0;
    W->Bars[SB_VERT].Visible = (Params.Style & WS_VSCROLL) != 0;

    QWidget* ParentWidget = Parent == nullptr ? nullptr
                            : Parent->Client  ? static_cast<QWidget*>(Parent->Client)
                                              : Parent->Widget.data();
    auto* Frame = new TQtFrame(this, W->Handle, ParentWidget);
    W->Frame = Frame;
    Frame->Border = BorderOf(*W);
    W->Widget = Frame;
    W->Client = new TQtClient(this, W->Handle, Frame);
    for (const int Bar : {SB_HORZ, SB_VERT}) {
        auto* S = new QScrollBar(Bar == SB_HORZ ? Qt::Horizontal : Qt::Vertical, Frame);
        S->setFocusPolicy(Qt::NoFocus);
        S->setRange(0, 100);
        const HWND Handle = W->Handle;
        QObject::connect(S, &QAbstractSlider::actionTriggered, [this, Handle, Bar](int Action) {
            Guarded([&] { ScrollAction(Handle, Bar, Action); });
        });
        QObject::connect(S, &QAbstractSlider::sliderReleased,
                         [this, Handle, Bar] { Guarded([&] { ScrollReleased(Handle, Bar); }); });
        W->ScrollBars[static_cast<std::size_t>(Bar)] = S;
    }
    if (ParentWidget == nullptr)
        Frame->setWindowTitle(ToQString(Params.Caption));
    Frame->move(W->X, W->Y);
    Frame->resize(W->Width, W->Height);

    const HWND Handle = W->Handle;
    TWindow& Ref = *W;
    FWindows.emplace(Handle, std::move(W));
    FCreationOrder.push_back(Handle);
    if (Target != nullptr)
        Target->HandleCreated(Handle);
    SendMessage(Handle, WM_CREATE, 0, 0);
    if (Find(Handle) == &Ref) {
        Layout(Ref);
        if (Ref.Visible && Ref.Widget)
            Ref.Widget->show();
    }
    return Handle;
}

HWND TQtWindowPlatform::AddDialogWindow(QWidget* Dialog, TWindowTarget* Target, int X, int Y) {
    auto W = std::make_unique<TWindow>();
    W->Handle = FNextHandle++;
    W->Target = Target;
    W->Caption = FromQString(Dialog->windowTitle());
    W->Style = WS_POPUP | WS_BORDER;
    W->Widget = Dialog;
    W->X = X;
    W->Y = Y;
    Dialog->adjustSize();
    W->Width = Dialog->width();
    W->Height = Dialog->height();
    Dialog->move(X, Y);
    if (auto* Link = dynamic_cast<TQtWindowLink*>(Dialog))
        Link->Handle = W->Handle;
    const HWND Handle = W->Handle;
    TWindow& Ref = *W;
    FWindows.emplace(Handle, std::move(W));
    FCreationOrder.push_back(Handle);
    if (Target != nullptr)
        Target->HandleCreated(Handle);
    SendMessage(Handle, WM_CREATE, 0, 0);
    if (Find(Handle) == &Ref)
        Layout(Ref);
    return Handle;
}

void TQtWindowPlatform::Retire(QWidget* Widget) {
    if (Widget == nullptr)
        return;
    Widget->hide();
    if (auto* Link = dynamic_cast<TQtWindowLink*>(Widget))
        Link->Handle = 0;
    for (QWidget* Child : Widget->findChildren<QWidget*>())
        if (auto* Link = dynamic_cast<TQtWindowLink*>(Child))
            Link->Handle = 0;
    // Deleted once Qt is back in its loop: the window may go inside one of its own events.
    Widget->deleteLater();
    FRetired.emplace_back(Widget);
    std::erase_if(FRetired, [](const QPointer<QWidget>& P) { return P.isNull(); });
}

void TQtWindowPlatform::DestroyWindowHandle(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (W == nullptr || W->Destroying)
        return;
    W->Destroying = true;
    if (FFocus == Wnd) {
        FFocus = 0;
        SendMessage(Wnd, WM_KILLFOCUS, 0, 0);
    }
    SendMessage(Wnd, WM_DESTROY, 0, 0);
    std::vector<HWND> Children;
    for (const auto& [Handle, Child] : FWindows)
        if (Child->Parent == Wnd)
            Children.push_back(Handle);
    for (HWND Child : Children)
        DestroyWindowHandle(Child);
    if (FCaret.Owner == Wnd)
        FCaret = TQtCaret{};
    if (FCapture == Wnd)
        FCapture = 0;
    if (FFocus == Wnd)
        FFocus = 0;
    NotifyWindowDestroyed(Wnd);
    W = Find(Wnd);
    if (W != nullptr) {
        W->DCs.clear();
        Retire(W->Widget.data());
    }
    std::erase(FCreationOrder, Wnd);
    FWindows.erase(Wnd);
}

bool TQtWindowPlatform::IsWindow(HWND Wnd) const {
    return Find(Wnd) != nullptr;
}

void TQtWindowPlatform::Layout(TWindow& W) {
    int ClientW = 0, ClientH = 0;
    if (W.Frame != nullptr) {
        const int B = BorderOf(W), S = BarExtent();
        const bool V = W.Bars[SB_VERT].Visible, H = W.Bars[SB_HORZ].Visible;
        ClientW = std::max(0, W.Width - 2 * B - (V ? S : 0));
        ClientH = std::max(0, W.Height - 2 * B - (H ? S : 0));
        W.Client->setGeometry(B, B, ClientW, ClientH);
        QScrollBar* VBar = W.ScrollBars[SB_VERT];
        QScrollBar* HBar = W.ScrollBars[SB_HORZ];
        VBar->setGeometry(B + ClientW, B, S, ClientH);
        HBar->setGeometry(B, B + ClientH, ClientW, S);
        VBar->setVisible(V);
        HBar->setVisible(H);
    } else if (W.Widget) {
        ClientW = W.Widget->width();
        ClientH = W.Widget->height();
    }
    if (ClientW == W.ClientWidth && ClientH == W.ClientHeight)
        return;
    W.ClientWidth = ClientW;
    W.ClientHeight = ClientH;
    if (W.Frame != nullptr) {
        // The pixels both sizes share are kept; the whole client area is painted again.
        QImage Resized(ClientW, ClientH, QImage::Format_RGB32);
        Resized.fill(ToQColor(clWindow));
        for (const auto& DC : W.DCs)
            DC->Flush();
        if (!W.Backing.isNull()) {
            const int CW = std::min(ClientW, W.Backing.width());
            for (int Y = 0; Y < std::min(ClientH, W.Backing.height()); ++Y)
                std::memcpy(Resized.scanLine(Y), W.Backing.constScanLine(Y),
                            static_cast<std::size_t>(CW) * 4);
        }
        W.Backing = std::move(Resized);
        for (const auto& DC : W.DCs)
            DC->SetImage(&W.Backing);
        W.Region = QRegion(0, 0, ClientW, ClientH);
        W.EraseRequested = true;
        FQueue.Wake(0);
    }
    SendMessage(W.Handle, WM_SIZE, 0, MAKELPARAM(ClientW, ClientH));
}

void TQtWindowPlatform::ClientResized(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (W == nullptr || !W->Widget)
        return;
    W->Width = W->Widget->width();
    W->Height = W->Widget->height();
    Layout(*W);
}

void TQtWindowPlatform::SetWindowBounds(HWND Wnd, int X, int Y, int Width, int Height) {
    TWindow& W = Get(Wnd);
    W.X = X;
    W.Y = Y;
    W.Width = std::max(0, Width);
    W.Height = std::max(0, Height);
    if (W.Widget) {
        W.Widget->move(X, Y);
        W.Widget->resize(W.Width, W.Height);
    }
    Layout(W);
}

void TQtWindowPlatform::ShowWindow(HWND Wnd, bool Show) {
    TWindow& W = Get(Wnd);
    if (W.Visible == Show)
        return;
    W.Visible = Show;
    if (Show) {
        W.Style |= WS_VISIBLE;
        if (W.Frame != nullptr) {
            W.Region = QRegion(0, 0, W.ClientWidth, W.ClientHeight);
            W.EraseRequested = true;
            FQueue.Wake(0);
        }
    } else {
        W.Style &= ~static_cast<std::uint32_t>(WS_VISIBLE);
    }
    if (W.Widget)
        W.Widget->setVisible(Show);
    SendMessage(Wnd, WM_SHOWWINDOW, Show ? 1 : 0, 0);
}

bool TQtWindowPlatform::IsWindowVisible(HWND Wnd) const {
    for (const TWindow* W = Find(Wnd); W != nullptr; W = Find(W->Parent))
        if (!W->Visible)
            return false;
    return Find(Wnd) != nullptr;
}

TRect TQtWindowPlatform::GetWindowRect(HWND Wnd) const {
    const TWindow& W = Get(Wnd);
    if (!W.Widget)
        return Bounds(W.X, W.Y, W.Width, W.Height);
    const QPoint P = W.Widget->mapToGlobal(QPoint(0, 0));
    return Bounds(P.x(), P.y(), W.Widget->width(), W.Widget->height());
}

TRect TQtWindowPlatform::GetClientRect(HWND Wnd) const {
    const TWindow& W = Get(Wnd);
    return Rect(0, 0, std::max(0, W.ClientWidth), std::max(0, W.ClientHeight));
}

TPoint TQtWindowPlatform::GetClientOrigin(HWND Wnd) const {
    const TWindow& W = Get(Wnd);
    const QWidget* Client = W.Client != nullptr ? W.Client : W.Widget.data();
    if (Client == nullptr)
        return TPoint{W.X, W.Y};
    const QPoint P = Client->mapToGlobal(QPoint(0, 0));
    return TPoint{P.x(), P.y()};
}

void TQtWindowPlatform::SetWindowCursor(HWND Wnd, TCursor Cursor) {
    if (TWindow* W = Find(Wnd); W != nullptr && W->Client != nullptr)
        W->Client->setCursor(ShapeOf(Cursor));
}

void TQtWindowPlatform::Deliver(TWindow& W, TMessage& Message) {
    if (W.Target != nullptr)
        W.Target->WindowMessage(Message);
    else
        Message.Result = DefWindowProc(W.Handle, Message.Msg, Message.WParam, Message.LParam);
}

LRESULT TQtWindowPlatform::SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        return 0;
    TMessage Message{Msg, WParam, LParam, 0};
    Deliver(*W, Message);
    return Message.Result;
}

// ---- focus

HWND TQtWindowPlatform::SetFocus(HWND Wnd) {
    const HWND Old = FFocus;
    if (Wnd != 0 && Find(Wnd) == nullptr)
        return Old;
    if (Wnd != Old) {
        FFocus = Wnd;
        if (Old != 0)
            SendMessage(Old, WM_KILLFOCUS, Wnd, 0);
        if (Wnd != 0 && FFocus == Wnd)
            SendMessage(Wnd, WM_SETFOCUS, Old, 0);
    }
    if (TWindow* W = Find(Wnd); W != nullptr && W->Widget) {
        const TValueGuard<bool> Setting(FSettingFocus, true);
        QWidget* Target = W->Client != nullptr ? W->Client : W->Widget.data();
        if (W->Client == nullptr)
            W->Widget->activateWindow();
        Target->setFocus(Qt::OtherFocusReason);
    }
    return Old;
}

void TQtWindowPlatform::FocusIn(HWND Wnd) {
    if (!FSettingFocus && FFocus != Wnd && Find(Wnd) != nullptr) {
        const HWND Old = std::exchange(FFocus, Wnd);
        if (Old != 0)
            SendMessage(Old, WM_KILLFOCUS, Wnd, 0);
        if (FFocus == Wnd)
            SendMessage(Wnd, WM_SETFOCUS, Old, 0);
    }
}

void TQtWindowPlatform::FocusOut(HWND Wnd) {
    if (!FSettingFocus && FFocus == Wnd) {
        FFocus = 0;
        SendMessage(Wnd, WM_KILLFOCUS, 0, 0);
    }
}

void TQtWindowPlatform::CloseRequested(HWND Wnd) {
    SendMessage(Wnd, WM_CLOSE, 0, 0);
}

// ---- painting

void TQtWindowPlatform::InvalidateRect(HWND Wnd, const TRect* Rect, bool Erase) {
    TWindow* W = Find(Wnd);
    if (W == nullptr || W->Frame == nullptr)
        return;
    const QRect Client(0, 0, std::max(0, W->ClientWidth), std::max(0, W->ClientHeight));
    const QRect R = Rect != nullptr ? ToQRect(*Rect).intersected(Client) : Client;
    if (R.isEmpty())
        return;
    W->Region += R;
    if (Erase)
        W->EraseRequested = true;
    FQueue.Wake(0);
}

void TQtWindowPlatform::ValidateRect(HWND Wnd, const TRect* Rect) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        return;
    if (Rect == nullptr)
        W->Region = QRegion();
    else
        W->Region -= ToQRect(*Rect);
    if (W->Region.isEmpty())
        W->EraseRequested = false;
}

bool TQtWindowPlatform::GetUpdateRect(HWND Wnd, TRect& Rect) const {
    const TWindow* W = Find(Wnd);
    if (W == nullptr || W->Region.isEmpty()) {
        Rect = TRect{0, 0, 0, 0};
        return false;
    }
    Rect = FromQRect(W->Region.boundingRect());
    return true;
}

HWND TQtWindowPlatform::NextPaintRequest(HWND Wnd) const {
    for (HWND H : FCreationOrder)
        if ((Wnd == 0 || H == Wnd) && !FWindows.at(H)->Region.isEmpty() && IsWindowVisible(H))
            return H;
    return 0;
}

HDC TQtWindowPlatform::NewDC(TWindow& W, const QRect* Clip) {
    auto DC = std::make_unique<TQtDC>(FGraphics.GetScreenInfo(), &W.Backing);
    if (Clip != nullptr)
        DC->SetClip(*Clip);
    W.DCs.push_back(std::move(DC));
    return W.DCs.back().get();
}

void TQtWindowPlatform::FreeDC(TWindow& W, HDC DC) {
    std::erase_if(W.DCs, [DC](const std::unique_ptr<TQtDC>& D) { return D.get() == DC; });
}

HDC TQtWindowPlatform::BeginPaint(HWND Wnd, TPaintStruct& Paint) {
    TWindow& W = Get(Wnd);
    Paint = TPaintStruct{};
    GetUpdateRect(Wnd, Paint.rcPaint);
    HideCaret(Wnd);
    const QRect Clip = ToQRect(Paint.rcPaint);
    Paint.hdc = NewDC(W, &Clip);
    Paint.fErase = W.EraseRequested;
    W.Region = QRegion();
    W.EraseRequested = false;
    W.PaintLog.push_back(Paint.rcPaint);
    if (W.PaintLog.size() > 4096)
        W.PaintLog.erase(W.PaintLog.begin(), W.PaintLog.begin() + 2048);
    if (Paint.fErase)
        Paint.fErase =
            SendMessage(Wnd, WM_ERASEBKGND, reinterpret_cast<std::uintptr_t>(Paint.hdc), 0) == 0;
    return Paint.hdc;
}

void TQtWindowPlatform::EndPaint(HWND Wnd, const TPaintStruct& Paint) {
    if (TWindow* W = Find(Wnd)) {
        FreeDC(*W, Paint.hdc);
        if (W->Client != nullptr)
            W->Client->update(ToQRect(Paint.rcPaint));
        ShowCaret(Wnd);
    }
}

HDC TQtWindowPlatform::GetDC(HWND Wnd) {
    return NewDC(Get(Wnd), nullptr);
}

void TQtWindowPlatform::ReleaseDC(HWND Wnd, HDC DC) {
    if (TWindow* W = Find(Wnd)) {
        FreeDC(*W, DC);
        if (W->Client != nullptr)
            W->Client->update();
    }
}

void TQtWindowPlatform::ScrollWindowEx(HWND Wnd, int DX, int DY, UINT Flags) {
    TWindow& W = Get(Wnd);
    if (W.Frame == nullptr)
        return;
    for (const auto& DC : W.DCs)
        DC->Flush();
    ScrollImage(W.Backing, DX, DY);
    const QRect Client(0, 0, W.ClientWidth, W.ClientHeight);
    W.Region = W.Region.translated(DX, DY).intersected(Client);
    if ((Flags & SW_INVALIDATE) != 0) {
        const QRegion Uncovered = QRegion(Client) - QRegion(Client.translated(DX, DY));
        if (!Uncovered.isEmpty()) {
            W.Region += Uncovered;
            if ((Flags & SW_ERASE) != 0)
                W.EraseRequested = true;
            FQueue.Wake(0);
        }
    }
    W.Client->update();
}

void TQtWindowPlatform::PaintClient(HWND Wnd, QPaintEvent* Event) {
    TWindow* W = Find(Wnd);
    if (W == nullptr || W->Client == nullptr)
        return;
    for (const auto& DC : W->DCs)
        DC->Flush();
    QPainter P(W->Client);
    const QRect Area = Event->rect();
    P.fillRect(Area, ToQColor(clWindow));
    P.drawImage(Area.topLeft(), W->Backing, Area);
    FCaretDrawn = QRect();
    if (FCaret.Owner == Wnd && FCaret.Visible() && FCaretOn) {
        const QRect C =
            QRect(FCaret.X, FCaret.Y, FCaret.Width, FCaret.Height).intersected(W->Backing.rect());
        if (!C.isEmpty()) {
            QImage Piece = W->Backing.copy(C);
            Piece.invertPixels();
            P.drawImage(C.topLeft(), Piece);
            FCaretDrawn = C;
        }
    }
}

// ---- scroll bars

void TQtWindowPlatform::SetScrollInfo(HWND Wnd, int Bar, const TScrollInfo& Info, bool) {
    if (Bar != SB_HORZ && Bar != SB_VERT)
        return;
    TWindow& W = Get(Wnd);
    TQtScrollBar& S = W.Bars[static_cast<std::size_t>(Bar)];
    if ((Info.Mask & SIF_RANGE) != 0) {
        S.Min = Info.Min;
        S.Max = Info.Max;
    }
    if ((Info.Mask & SIF_PAGE) != 0)
        S.Page = std::max<std::int64_t>(0, Info.Page);
    if ((Info.Mask & SIF_POS) != 0)
        S.Pos = Info.Pos;
    const std::int64_t Top = std::max(S.Min, S.Max - std::max<std::int64_t>(S.Page - 1, 0));
    S.Pos = std::clamp(S.Pos, S.Min, Top);
    if (QScrollBar* Q = W.ScrollBars[static_cast<std::size_t>(Bar)]) {
        const auto Clamp = [](std::int64_t V) {
            return static_cast<int>(std::clamp<std::int64_t>(V, -(1 << 30), 1 << 30));
        };
        const QSignalBlocker Block(Q);
        Q->setRange(Clamp(S.Min), Clamp(Top));
        Q->setPageStep(std::max(1, Clamp(S.Page)));
        Q->setSingleStep(1);
        if (!Q->isSliderDown())
            Q->setValue(Clamp(S.Pos));
    }
}

bool TQtWindowPlatform::GetScrollInfo(HWND Wnd, int Bar, TScrollInfo& Info) const {
    if (Bar != SB_HORZ && Bar != SB_VERT)
        return false;
    const TWindow& W = Get(Wnd);
    const TQtScrollBar& S = W.Bars[static_cast<std::size_t>(Bar)];
    Info.Min = S.Min;
    Info.Max = S.Max;
    Info.Page = S.Page;
    Info.Pos = S.Pos;
    const QScrollBar* Q = W.ScrollBars[static_cast<std::size_t>(Bar)];
    Info.TrackPos = Q != nullptr && Q->isSliderDown() ? Q->sliderPosition() : S.Pos;
    return true;
}

void TQtWindowPlatform::ShowScrollBar(HWND Wnd, int Bar, bool Show) {
    TWindow& W = Get(Wnd);
    bool Changed = false;
    for (int B : {SB_HORZ, SB_VERT}) {
        if (Bar != B && Bar != SB_BOTH)
            continue;
        Changed = Changed || W.Bars[static_cast<std::size_t>(B)].Visible != Show;
        W.Bars[static_cast<std::size_t>(B)].Visible = Show;
        const std::uint32_t Style = B == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
        W.Style = Show ? (W.Style | Style) : (W.Style & ~Style);
    }
    if (Changed)
        Layout(W);
}

const TQtScrollBar& TQtWindowPlatform::GetScrollBar(HWND Wnd, int Bar) const {
    return Get(Wnd).Bars[Bar == SB_HORZ ? 0u : 1u];
}

QScrollBar* TQtWindowPlatform::ScrollBarOf(HWND Wnd, int Bar) const {
    const TWindow* W = Find(Wnd);
    return W == nullptr ? nullptr : W->ScrollBars[Bar == SB_HORZ ? 0u : 1u];
}

void TQtWindowPlatform::ScrollAction(HWND Wnd, int Bar, int Action) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        return;
    QScrollBar* Q = W->ScrollBars[static_cast<std::size_t>(Bar)];
    std::uint16_t Code = SB_ENDSCROLL;
    switch (Action) {
    case QAbstractSlider::SliderSingleStepAdd:
        Code = SB_LINEDOWN;
        break;
    case QAbstractSlider::SliderSingleStepSub:
        Code = SB_LINEUP;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        Code = SB_PAGEDOWN;
        break;
    case QAbstractSlider::SliderPageStepSub:
        Code = SB_PAGEUP;
        break;
    case QAbstractSlider::SliderToMinimum:
        Code = SB_TOP;
        break;
    case QAbstractSlider::SliderToMaximum:
        Code = SB_BOTTOM;
        break;
    case QAbstractSlider::SliderMove:
        Code = SB_THUMBTRACK;
        break;
    default:
        return;
    }
    const UINT Msg = Bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
    const std::int32_t Pos =
        Code == SB_THUMBTRACK
            ? Q->sliderPosition()
            : static_cast<std::int32_t>(W->Bars[static_cast<std::size_t>(Bar)].Pos);
    PostInput(Wnd, Msg, MakeScrollWParam(Code, Pos), 0);
    // The bar shows the position the control chose, not the step Qt took by itself.
    if (Code != SB_THUMBTRACK)
        if (TWindow* Still = Find(Wnd))
            Q->setSliderPosition(static_cast<int>(Still->Bars[static_cast<std::size_t>(Bar)].Pos));
}

void TQtWindowPlatform::ScrollReleased(HWND Wnd, int Bar) {
    TWindow* W = Find(Wnd);
    if (W == nullptr)
        return;
    const UINT Msg = Bar == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
    const int Pos = W->ScrollBars[static_cast<std::size_t>(Bar)]->sliderPosition();
    PostInput(Wnd, Msg, MakeScrollWParam(SB_THUMBPOSITION, Pos), 0);
    PostInput(Wnd, Msg, MakeScrollWParam(SB_ENDSCROLL, Pos), 0);
}

// ---- caret

void TQtWindowPlatform::UpdateCaret() {
    TWindow* W = Find(FCaret.Owner);
    if (W == nullptr || W->Client == nullptr)
        return;
    W->Client->update(FCaretDrawn.united(QRect(FCaret.X, FCaret.Y, FCaret.Width, FCaret.Height)));
}

void TQtWindowPlatform::CreateCaret(HWND Wnd, HBITMAP, int Width, int Height) {
    Get(Wnd);
    DestroyCaret();
    FCaret.Owner = Wnd;
    FCaret.Width = Width > 0 ? Width : 2;
    FCaret.Height = Height > 0 ? Height : 1;
}

void TQtWindowPlatform::DestroyCaret() {
    UpdateCaret();
    FCaret = TQtCaret{};
    FBlink.stop();
}

void TQtWindowPlatform::SetCaretPos(int X, int Y) {
    if (FCaret.Owner == 0)
        return;
    UpdateCaret();
    FCaret.X = X;
    FCaret.Y = Y;
    FCaretOn = true;
    if (FBlink.interval() > 0)
        FBlink.start();
    UpdateCaret();
}

void TQtWindowPlatform::ShowCaret(HWND Wnd) {
    if (FCaret.Owner != Wnd || FCaret.HideCount == 0)
        return;
    if (--FCaret.HideCount == 0) {
        FCaretOn = true;
        if (FBlink.interval() > 0)
            FBlink.start();
        UpdateCaret();
    }
}

void TQtWindowPlatform::HideCaret(HWND Wnd) {
    if (FCaret.Owner != Wnd)
        return;
    if (FCaret.HideCount++ == 0)
        UpdateCaret();
}

// ---- input

void TQtWindowPlatform::PostInput(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
    if (MessageQueue().Post(Wnd, Msg, WParam, LParam))
        FQueue.Run();
}

void TQtWindowPlatform::KeyEvent(HWND Wnd, QKeyEvent* Event, bool Down) {
    FInput.NoteModifiers(Event->modifiers());
    const int VirtKey = VirtualKeyOf(Event->key());
    if (VirtKey == 0) {
        Event->ignore();
        return;
    }
    // A modifier's own event carries the state from before it (X11): the key itself decides.
    if (VirtKey == VK_SHIFT || VirtKey == VK_CONTROL || VirtKey == VK_MENU)
        FInput.SetKeyState(VirtKey, Down);
    const bool Ctrl = (FInput.GetKeyState(VK_CONTROL) & 0x8000) != 0;
    const bool System = (FInput.GetKeyState(VK_MENU) & 0x8000) != 0 && !Ctrl;
    LPARAM LParam = 1;
    if (System)
        LParam |= LPARAM{1} << 29;
    if (!Down)
        LParam |= (LPARAM{1} << 30) | (LPARAM{1} << 31);
    else if (Event->isAutoRepeat())
        LParam |= LPARAM{1} << 30;
    UINT Msg = 0;
    if (Down) {
        FInput.SetKeyState(VirtKey, true);
        int Char = 0;
        if (Ctrl && !System) {
            if (VirtKey >= 'A' && VirtKey <= 'Z')
                Char = VirtKey - 'A' + 1;
        } else if (VirtKey != VK_DELETE && Event->text().size() == 1) {
            const QString Text = Event->text();
            const std::string Bytes = FromQString(Text);
            if (Bytes.size() == 1 && (Bytes[0] != '?' || Text == QStringLiteral("?")))
                Char = static_cast<std::uint8_t>(Bytes[0]);
        }
        FInput.NoteKeyChar(VirtKey, Char);
        Msg = System ? WM_SYSKEYDOWN : WM_KEYDOWN;
    } else {
        if (VirtKey != VK_SHIFT && VirtKey != VK_CONTROL && VirtKey != VK_MENU)
            FInput.SetKeyState(VirtKey, false);
        Msg = System ? WM_SYSKEYUP : WM_KEYUP;
    }
    Event->accept();
    PostInput(FFocus != 0 ? FFocus : Wnd, Msg, static_cast<WPARAM>(VirtKey), LParam);
}

void TQtWindowPlatform::MouseEvent(HWND Wnd, QMouseEvent* Event, UINT Msg) {
    TWindow* W = Find(Wnd);
    if (W == nullptr || W->Client == nullptr)
        return;
    FInput.NoteModifiers(Event->modifiers());
    FInput.NoteButtons(Event->buttons());
    if ((Msg == WM_LBUTTONDBLCLK || Msg == WM_RBUTTONDBLCLK || Msg == WM_MBUTTONDBLCLK) &&
        (W->ClassStyle & CS_DBLCLKS) == 0)
        Msg -= WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
    QPoint P = Event->position().toPoint();
    HWND Target = Wnd;
    if (FCapture != 0 && FCapture != Wnd && Find(FCapture) != nullptr) {
        Target = FCapture;
        const QPoint Screen = W->Client->mapToGlobal(P);
        const TPoint Origin = GetClientOrigin(Target);
        P = QPoint(Screen.x() - Origin.X, Screen.y() - Origin.Y);
    }
    Event->accept();
    PostInput(Target, Msg, MouseKeys(Event->buttons(), Event->modifiers()),
              MAKELPARAM(P.x(), P.y()));
}

void TQtWindowPlatform::WheelEvent(HWND Wnd, QWheelEvent* Event) {
    FInput.NoteModifiers(Event->modifiers());
    const int Delta = Event->angleDelta().y();
    Event->accept();
    if (Delta == 0)
        return;
    const QPoint Screen = Event->globalPosition().toPoint();
    const WPARAM WParam = (static_cast<WPARAM>(static_cast<std::uint16_t>(Delta)) << 16) |
                          MouseKeys(Event->buttons(), Event->modifiers());
    PostInput(Wnd, WM_MOUSEWHEEL, WParam, MAKELPARAM(Screen.x(), Screen.y()));
}

// ---- for applications and tests

QWidget* TQtWindowPlatform::WidgetOf(HWND Wnd) const {
    const TWindow* W = Find(Wnd);
    return W == nullptr ? nullptr : W->Widget.data();
}

QWidget* TQtWindowPlatform::ClientWidgetOf(HWND Wnd) const {
    const TWindow* W = Find(Wnd);
    if (W == nullptr)
        return nullptr;
    return W->Client != nullptr ? W->Client : W->Widget.data();
}

const QImage& TQtWindowPlatform::GetBackingImage(HWND Wnd) const {
    const TWindow& W = Get(Wnd);
    for (const auto& DC : W.DCs)
        DC->Flush();
    return W.Backing;
}

const std::vector<TRect>& TQtWindowPlatform::GetPaintLog(HWND Wnd) const {
    return Get(Wnd).PaintLog;
}

void TQtWindowPlatform::ClearPaintLog(HWND Wnd) {
    Get(Wnd).PaintLog.clear();
}

QImage TQtWindowPlatform::Grab(HWND Wnd) {
    TWindow& W = Get(Wnd);
    FCaretOn = true;
    if (FBlink.interval() > 0 && FCaret.Owner != 0)
        FBlink.start();
    return W.Widget ? W.Widget->grab().toImage() : QImage();
}

} // namespace kestrel::qt
