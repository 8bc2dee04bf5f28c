// kxtool view: a file in the text viewer at a line, an offset or its end, shown as text rows
// with their display line numbers and a status line, and optionally as a screenshot.
#include "kxtool.h"
#include "viewer_tool.h"

#include <algorithm>
#include <iostream>
#include <sstream>

namespace kestrel::kxtool {
namespace {

/// The bytes of a row as a terminal shows them: control bytes other than tab as ^X.
std::string Printable(const std::string& Row) {
    std::string Out;
    Out.reserve(Row.size());
    for (const char C : Row) {
        const auto B = static_cast<unsigned char>(C);
        if (B < 32 && B != '\t') {
            Out += '^';
            Out += static_cast<char>(B + 64);
        } else if (B == 127) {
            Out += "^?";
        } else {
            Out += C;
        }
    }
    return Out;
}

/// The characters of the row of Length characters at Start that the window shows from its left
/// edge: those that start inside it (the last may be cut by the edge). A row wider than the
/// window is cut there, as on the screen, so that a line of any length prints a screen's worth.
std::int64_t ShownLength(TTextViewer& V, std::int64_t Start, std::int64_t Length) {
    const std::int64_t Visible = V.GetClientWidth() - V.GetLeftMargin() - V.GetRightMargin();
    std::int64_t Pos = Start;
    std::int64_t Width = 0;
    V.GetBuffer()->GetCharAt(Pos, Visible, Width);
    const std::int64_t Whole = Pos - Start;
    return std::min(Length, Width < Visible ? Whole + 1 : Whole);
}

/// Puts the caret on the display line holding Offset. A far offset is first reached the way a
/// dragged scroll thumb reaches it (the proportional line, an estimated jump), so that the walk
/// to the exact line is short whatever the size of the text.
void GoToOffset(TTextViewer& V, std::int64_t Offset) {
    const std::int64_t Size = V.GetTextSize();
    if (Size > 0 && V.GetLastLine() > 0) {
        const double Share = static_cast<double>(Offset) / static_cast<double>(Size);
        V.SetLineNumber(static_cast<std::int64_t>(Share * static_cast<double>(V.GetLastLine())));
    }
    V.FocusAt(Offset, false);
}

/// Runs the viewer's idle handler until it is done, as an application's idle time would: the
/// count completes and every number becomes exact. The handler says it is not done only after a
/// step that got somewhere (a long line measured in part too), so the wait ends.
void CountInIdleTime(TTextViewer& V) {
    for (bool Done = false; !Done;)
        V.HandleOnIdle(nullptr, Done);
}

int RunView(const std::vector<std::string>& Raw) {
    const TArgs Args = ParseArgs(
        Raw, {"--line", "--offset", "--rows", "--width", "--wrap", "--png"}, {"--end", "--exact"});
    Args.ExpectPositional(1);
    if (Args.Has("--line") + Args.Has("--offset") + Args.Has("--end") > 1)
        throw TUsageError("give at most one of --line, --offset and --end");
    const std::int64_t Rows = Args.Int("--rows", 25);
    const std::int64_t Width = Args.Int("--width", 800);
    if (Rows < 1 || Rows > 500)
        throw TUsageError("--rows is 1 to 500");
    if (Width < 64 || Width > 8000)
        throw TUsageError("--width is 64 to 8000 pixels");
    TWrapModes Mode = opWrapScreenWidth;
    std::int64_t Length = 0;
    ParseWrap(Args.Value("--wrap", "screen"), Mode, Length);

    TViewerTool Tool(Args.Positional[0], static_cast<int>(Width), static_cast<int>(Rows), Mode,
                     Length);
    TTextViewer& V = Tool.View();
    if (Args.Has("--line")) {
        const std::int64_t Line = Args.Int("--line", 0);
        if (Line < 0)
            throw TUsageError("--line cannot be negative");
        // The line numbered Line itself (counted to, never estimated), or the last line.
        V.LocateLineExactly(Line);
        V.SetLineNumber(V.GetMapLine());
        V.SetDeltaY(V.GetLineNumber());
    } else if (Args.Has("--offset")) {
        const std::int64_t Offset = Args.Int("--offset", 0);
        if (Offset < 0 || Offset > V.GetTextSize())
            throw TUsageError("--offset is 0 to the size of the file");
        GoToOffset(V, Offset);
        V.SetDeltaY(V.GetLineNumber());
    } else if (Args.Has("--end")) {
        V.EndOftext();
    }
    // The whole screen is painted, so that the count learns the offset of the top line even when
    // a scroll left the top row's pixels in place.
    V.Redraw();
    Application->ProcessMessages();
    // Rows of long lines the paint left to idle time.
    while (V.GetRowsPending()) {
        bool Done = false;
        V.HandleOnIdle(nullptr, Done);
        Application->ProcessMessages();
    }
    // The first idle pass, which an application gets right after its first paint: it samples
    // the text for the estimates.
    bool Idle = false;
    V.HandleOnIdle(nullptr, Idle);
    if (Args.Has("--exact")) {
        CountInIdleTime(V);
        Application->ProcessMessages();
    }

    // The status first: listing the rows moves the line map, not the caret.
    std::ostringstream Status;
    Status << "offset=" << V.MarkLocation() << " line=" << V.GetLineNumber()
           << " numbers=" << (V.GetLineNumbersPending() ? "provisional" : "exact")
           << " last-line=" << V.GetLastLine()
           << " count=" << (V.GetCountComplete() ? "complete" : "running")
           << " top=" << V.GetTopLine() << " size=" << V.GetTextSize();
    if (Args.Has("--png"))
        WritingFile(Args.Value("--png"),
                    [&] { Tool.Windows().SaveScreenshot(V.GetHandle(), Args.Value("--png")); });

    const std::int64_t Top = V.GetTopLine();
    for (std::int64_t Line = Top; Line < Top + Rows && Line <= V.GetLastLine(); ++Line) {
        std::int64_t RowWidth = 0, RowLength = 0;
        V.GotoLine(Line, RowWidth, RowLength);
        if (V.GetMapLine() != Line)
            break; // the text ends before the estimate of its last line
        const std::int64_t Shown = ShownLength(V, V.GetLineStart(), RowLength);
        std::cout << Line << '\t' << Printable(V.GetBuffer()->GetString(V.GetLineStart(), Shown))
                  << '\n';
    }
    std::cout << Status.str() << '\n';
    return ExitOk;
}

const std::string Help =
    std::string("Each row is shown as far as the window is wide (--width), as on the screen.\n"
                "The screenshot is written whole or not at all: it takes its name only once "
                "complete.\n") +
    FileHelp;

const TCommandRegistrar
    Registrar({"view",
               "FILE [--line N | --offset N | --end] [--rows R] [--width PIXELS] "
               "[--wrap none|screen|N] [--exact] [--png OUT]",
               "show a file in the text viewer: the screen's rows with their display line "
               "numbers (--line N: display line N exactly), then offset, caret line, whether "
               "numbers are provisional, last line "
               "(--exact: after the count has run to the end in idle time)",
               RunView, Help.c_str()});

} // namespace
} // namespace kestrel::kxtool
