// THeadlessWindowPlatform::TWindow: the record of one headless window, shared by the files
// of the headless windows service.
#pragma once

#include "host/headless/headless_dc.h"
#include "host/headless/surface.h"
#include "host/headless/window_system.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrel::headless {

struct THeadlessWindowPlatform::TWindow {
    HWND Handle = 0;
    HWND Parent = 0;
    TWindowTarget* Target = nullptr;
    std::string Caption;
    std::uint32_t Style = 0;
    std::uint32_t ClassStyle = 0;
    int X = 0; // outer bounds, relative to the parent's client area (or the screen)
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool Visible = false;
    THeadlessScrollBar Bars[2];
    std::vector<TRect> Region; // update region: disjoint rectangles inside the client area
    bool EraseRequested = false;
    TCursor Cursor = crDefault;
    std::unique_ptr<TSurface> Surface;             // client pixels
    TDrawRecord Record;                            // drawing calls on the client area
    std::vector<std::unique_ptr<THeadlessDC>> DCs; // contexts handed out and not yet released
    bool Destroying = false;
};

} // namespace kestrel::headless
