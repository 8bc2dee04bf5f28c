// THeadlessWindowPlatform: the caret.
#include "host/headless/window_system.h"

#include "host/headless/window_record.h"

namespace kestrel::headless {

void THeadlessWindowPlatform::CreateCaret(HWND Wnd, HBITMAP Bitmap, int Width, int Height) {
    Get(Wnd);
    FCaret = THeadlessCaret{};
    FCaret.Owner = Wnd;
    FCaret.Bitmap = Bitmap;
    FCaret.Width = Width > 0 ? Width : 2;
    FCaret.Height = Height > 0 ? Height : 1;
}

void THeadlessWindowPlatform::DestroyCaret() {
    FCaret = THeadlessCaret{};
}

void THeadlessWindowPlatform::SetCaretPos(int X, int Y) {
    if (FCaret.Owner == 0)
        return;
    FCaret.X = X;
    FCaret.Y = Y;
}

void THeadlessWindowPlatform::ShowCaret(HWND Wnd) {
    if (FCaret.Owner == Wnd && FCaret.HideCount > 0)
        --FCaret.HideCount;
}

void THeadlessWindowPlatform::HideCaret(HWND Wnd) {
    if (FCaret.Owner == Wnd)
        ++FCaret.HideCount;
}

} // namespace kestrel::headless
