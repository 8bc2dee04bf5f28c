// What the viewing subcommands share: a file in a text viewer on the headless window system.
#pragma once

#include "kxtool.h"

#include "fileview/text_viewer.h"
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/streams.h"
#include "host/sysutils.h"
#include "kxctrls/stream_viewer.h"
#include "textbuff/text_stream.h"

#include <filesystem>
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

/// A file shown by a TFileViewer (one sliding window of its text stream, never loaded whole) of
/// Width x Rows lines of the headless platform's 10-point monospaced font, focused. A source that
/// is not a regular file (standard input, a pipe, a FIFO) is spooled first and shown as a stream.
class TViewerTool {
public:
    TViewerTool(const std::string& FileName, int Width, int Rows, TWrapModes Mode,
                std::int64_t LineLength) {
        if (Width < 64)
            throw TUsageError("--width must be at least 64 pixels");
        if (Rows < 1)
            throw TUsageError("--rows must be at least 1");
        // Opened first, so that a missing file fails before any window exists.
        std::error_code Ignored;
        const bool Regular = FileName != "-" && std::filesystem::is_regular_file(FileName, Ignored);
        std::unique_ptr<TStream> Source;
        if (!Regular)
            Source = OpenSeekableSource(FileName, fmOpenRead | fmShareDenyWrite);
        Viewer = std::make_unique<TFileViewer>(nullptr);
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
        // The largest window: fewer, longer reads.
        static_cast<TTextStream*>(Viewer->GetBuffer())->SetBufSize(0xFFFF);
        if (Regular)
            Viewer->SetFileName(FileName);
        else
            Viewer->SetSourceStream(std::move(Source));
        Viewer->GotoStartOftext();
        // The line length before the mode, so that the text is not first laid out in the mode
        // with the default length (an absolute wrap of 0 characters does not wrap at all).
        Viewer->SetMaxLineLength(LineLength);
        Viewer->SetWrapMode(Mode); // lays the text out and starts the count
        Viewer->SetAutoIdle(true); // (the command gives it idle time)
        Viewer->SetFocus();        // painted by the command, once it has moved where it shows
    }
    ~TViewerTool() { Viewer.reset(); }
    TViewerTool(const TViewerTool&) = delete;
    TViewerTool& operator=(const TViewerTool&) = delete;

    TFileViewer& View() { return *Viewer; }
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
    std::unique_ptr<TFileViewer> Viewer;
};

} // namespace kestrel::kxtool
