// What the viewing subcommands share: a file in a text viewer on the headless window system.
#pragma once

#include "kxtool.h"

#include "fileview/text_viewer.h"
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/streams.h"
#include "host/sysutils.h"
#include "textbuff/text_stream.h"

#include <memory>
#include <string>

namespace kestrel::kxtool {

/// Parses --wrap none|screen|N into a wrap mode and its line length.
inline void ParseWrap(const std::string& Value, TWrapModes& Mode, std::int64_t& Length) {
    Length = 0;
    if (Value == "none") {
        Mode = opNone;
    } else if (Value == "screen") {
        Mode = opWrapScreenWidth;
    } else {
        Mode = opAbsoluteWrap;
        try {
            Length = StrToInt(Value);
        } catch (const EConvertError&) {
            throw TUsageError("--wrap is none, screen or a number of characters, not '" + Value +
                              "'");
        }
        if (Length <= 0)
            throw TUsageError("--wrap needs a positive number of characters");
    }
}

/// A file read through a text stream (one sliding window, never loaded whole), shown in a text
/// viewer of Width x Rows lines of the headless platform's 10-point monospaced font, focused.
class TViewerTool {
public:
    TViewerTool(const std::string& FileName, int Width, int Rows, TWrapModes Mode,
                std::int64_t LineLength) {
        if (Width < 64)
            throw TUsageError("--width must be at least 64 pixels");
        if (Rows < 1)
            throw TUsageError("--rows must be at least 1");
        // Opened first, so that a missing file fails before any window exists.
        auto Source = OpenSeekableSource(FileName, fmOpenRead | fmShareDenyWrite);
        Viewer = std::make_unique<TTextViewer>(nullptr);
        Viewer->GetFont()->SetName("Courier New");
        Viewer->GetFont()->SetSize(10);
        Viewer->SetBounds(0, 0, Width, Rows * 16);
        Viewer->GetHandle();
        // Both scroll bars always shown, so that the window is laid out once, before the text
        // arrives: a bar that comes or goes lays it out again, pixel by pixel here.
        for (TWinScrollBar* Bar : {Viewer->GetVertScrollBar(), Viewer->GetHorzScrollBar()}) {
            Bar->SetMode(sbManual);
            Bar->SetVisible(true);
        }
        Fit(Rows);
        auto Text = std::make_unique<TTextStream>(nullptr);
        Text->SetBufSize(0xFFFF); // the largest window: fewer, longer reads
        TTextStream* Stream = Text.get();
        Viewer->SetBuffer(Text.release());
        Stream->SetCanvas(Viewer->GetCanvas());
        Viewer->Clear(); // the view starts over (this also detaches any source)
        Stream->SetSourceStream(std::move(Source));
        Viewer->SetState(vsEmpty, Viewer->GetTextSize() == 0);
        Viewer->GotoStartOftext();
        // The line length before the mode, so that the text is not first laid out in the mode
        // with the default length (an absolute wrap of 0 characters does not wrap at all).
        Viewer->SetMaxLineLength(LineLength);
        Viewer->SetWrapMode(Mode); // lays the text out and starts the count
        Viewer->SetFocus();        // painted by the command, once it has moved where it shows
    }
    ~TViewerTool() { Viewer.reset(); }
    TViewerTool(const TViewerTool&) = delete;
    TViewerTool& operator=(const TViewerTool&) = delete;

    TTextViewer& View() { return *Viewer; }
    headless::THeadlessWindowPlatform& Windows() { return Platform.Windows(); }
    headless::THeadlessGraphics& Graphics() { return Platform.Graphics(); }

private:
    /// Sizes the window so that its client area, within the border and the scroll bars, holds
    /// exactly Rows lines.
    void Fit(int Rows) {
        for (int Attempt = 0; Attempt < 3; ++Attempt) {
            const int Want = Rows * static_cast<int>(Viewer->GetCharHeight());
            const int Have = Viewer->GetClientHeight();
            if (Have == Want)
                return;
            Viewer->SetBounds(0, 0, Viewer->GetWidth(), Viewer->GetHeight() + Want - Have);
        }
    }

    headless::THeadlessPlatformScope Platform;
    std::unique_ptr<TTextViewer> Viewer;
};

} // namespace kestrel::kxtool
