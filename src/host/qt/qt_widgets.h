// The widgets of a control's window: the frame (border, client area, scroll bars) and the
// client area, which paints the backing image and turns Qt's input into messages.
#pragma once

#include "host/messages.h"

#include <QWidget>

namespace kestrel::qt {

class TQtWindowPlatform;

/// What every widget of a window knows: the platform and its handle (0 once the window went).
class TQtWindowLink {
public:
    TQtWindowLink(TQtWindowPlatform* Platform, HWND Handle) : Platform(Platform), Handle(Handle) {}
    virtual ~TQtWindowLink() = default;
    TQtWindowLink(const TQtWindowLink&) = delete;
    TQtWindowLink& operator=(const TQtWindowLink&) = delete;
    TQtWindowPlatform* Platform;
    HWND Handle;
};

/// The outer widget of a control: draws the border and places the client area and the bars.
class TQtFrame : public QWidget, public TQtWindowLink {
public:
    TQtFrame(TQtWindowPlatform* Platform, HWND Handle, QWidget* Parent);
    int Border = 0; ///< 0, 1 (WS_BORDER) or 3 (WS_THICKFRAME) pixels

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
};

/// The client area of a control.
class TQtClient : public QWidget, public TQtWindowLink {
public:
    TQtClient(TQtWindowPlatform* Platform, HWND Handle, QWidget* Parent);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void keyReleaseEvent(QKeyEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;
    void focusInEvent(QFocusEvent* Event) override;
    void focusOutEvent(QFocusEvent* Event) override;
    /// Tab and Backtab are keys of the control, not focus moves.
    bool focusNextPrevChild(bool Next) override;
};

} // namespace kestrel::qt
