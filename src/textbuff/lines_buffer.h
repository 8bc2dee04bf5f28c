// TLinesBuffer: the text buffer that breaks its text into display lines, measures and draws it
// with the metrics of the screen and the printer, and searches it.
#pragma once

#include "host/find_options.h"
#include "host/graphics.h"
#include "host/set.h"
#include "textbuff/line_scan.h"
#include "textbuff/text_buffer.h"
#include "textbuff/text_types.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {

/// What the layout code has established: a canvas to measure with, the font's character widths
/// and the tab positions.
enum TLinesBufferState : std::uint8_t {
    lbCanvasAvailable,
    lbFontDataAvailable,
    lbTabDataAvailable
};
using TLinesBufferStates = TSet<TLinesBufferState>;

/// Lay out for the screen or for the printer.
enum TlbModes : std::uint8_t { lbDisplay, lbPrinter };
/// Where TextOut and TabbedTextOut draw.
enum TOutputDevice : std::uint8_t { odDisplay, odPrinter };

/// Search progress: Done is the text position reached; setting Cancelled stops the search.
using TSearchStatus = std::function<void(std::int64_t Done, bool& Cancelled)>;

/// A text buffer that breaks its text into display lines, one buffer window at a time.
///
/// Metrics: three sets of 256 advance widths, average width, tab positions and default tab
/// width: display (the canvas), printer (the global printer at its resolution) and actual (a
/// copy of the printer set while laying out or drawing for the printer, else of the display
/// set). Line breaking uses the actual set, measuring for the screen the display set. They are
/// computed on demand (RequiredState) and dropped when the canvas font, the mode, the output
/// device, the tab stops or the source change.
class TLinesBuffer : public TTextBuffer {
public:
    explicit TLinesBuffer(TComponent* AOwner);
    ~TLinesBuffer() override;

    TLinesBufferStates GetState() const { return State; }

    // ---- line scanning

    /// The display line that starts at Pos: Pos becomes the start of the next line, Count the
    /// characters of this one (line-break bytes not counted), Width its display width. True
    /// when the line ended (line break, form feed or wrap) before the end of the text; False at
    /// the end: with Count 0 when Pos was already at the end, else Count and Width describe an
    /// unterminated last line and Pos is TextSize. Every line takes at least one character, even
    /// when the wrap width is narrower than that character. Raises EFontInfoError without a
    /// canvas.
    bool GetNextLine(std::int64_t& Pos, std::int64_t& Width, std::int64_t& Count);
    /// Counts the display lines from Pos (a line start) as GetNextLine gives them one by one, at
    /// most MaxLines and only those that end at or before End, an unterminated last line
    /// included: Pos becomes the start of the line after the last one counted (TextSize at the
    /// end). Returns the number counted. Raises EFontInfoError without a canvas.
    std::int64_t CountLines(std::int64_t& Pos, std::int64_t MaxLines, std::int64_t End = INT64_MAX);
    /// The display lines from Pos (a line start) that the block routes count, with uniform
    /// widths: at most MaxLines, each as GetNextLine gives it and returns True for, ending at or
    /// before End, none beginning with a form feed. Stops before the first other line; Pos
    /// becomes the start of the line after the last one counted. Widest is raised to the width
    /// of each counted line wider than Known (in display pixels); while wrapping, lines no wider
    /// than the wrap width are taken as no wider than Known, so that a Known below it counts
    /// nothing. Returns the number counted: 0 when the line at Pos is another kind, which
    /// GetNextLine then takes. Raises EFontInfoError without a canvas.
    std::int64_t CountPlainLines(std::int64_t& Pos, std::int64_t End, std::int64_t MaxLines,
                                 std::int64_t Known, std::int64_t& Widest);
    /// The plain display lines from Pos (a line start), at most MaxLines, into Lines (Next as
    /// text offsets), each as GetNextLine gives it (and for each it returns True): with uniform
    /// widths, the lines of the window holding Pos that end there at LF or CR LF, hold no form
    /// feed or lone CR and fit the wrap width. A line that cannot be wider than Known is not
    /// measured (Width -1); Known < 0 measures every line. Stops before the first other line
    /// and returns the number stored: 0 when the line at Pos is another kind, which GetNextLine
    /// then takes. The byte after each stored line but the last is known to be no form feed.
    /// Raises EFontInfoError without a canvas.
    std::int64_t ScanPlainLines(std::int64_t Pos, std::int64_t MaxLines, TLineSpan* Lines,
                                std::int64_t Known = -1);
    /// False when no display line of Bytes bytes or fewer can wrap at the present wrap width
    /// (lines end only at line feeds and form feeds there). Raises EFontInfoError without a
    /// canvas.
    bool MayWrapWithin(std::int64_t Bytes);
    /// The length of the unwrapped line around [From, To), a range without line feeds or form
    /// feeds: from just after the one before it to just after the one after it, each looked for
    /// at most Reach bytes away (and the text's ends). At least 1.
    std::int64_t LengthAround(std::int64_t From, std::int64_t To, std::int64_t Reach);
    /// Measures the display line at Pos as GetNextLine gives it, scanning about Budget bytes at
    /// most and taking the bytes it scans off Budget: True once it is measured (a line that ends
    /// within a few kilobytes counts as measured, at no cost), False when the budget ran out
    /// first, and the next call for Pos goes on where this one stopped. A long line measured so
    /// costs GetNextLine no scan while the layout stands. Raises EFontInfoError without a canvas.
    bool MeasureLine(std::int64_t Pos, std::int64_t& Budget);
    /// Bytes between the marks a measured long line keeps (tests set them close).
    void SetLineMarkSpacingForTest(std::int64_t Bytes) { MarkSpacing = Bytes; }
    /// Advances Pos over the characters whose display width from Pos does not exceed X, stopping
    /// at a line break; Width receives the width passed. False only when Pos is at the end.
    bool GetCharAt(std::int64_t& Pos, std::int64_t X, std::int64_t& Width) {
        return GetCharAt(Pos, 0, X, Width);
    }
    /// The same on from a point of a line whose characters before Pos are From wide (where an
    /// earlier GetCharAt stopped): tabs keep their stops, X and Width count from the line's start.
    bool GetCharAt(std::int64_t& Pos, std::int64_t From, std::int64_t X, std::int64_t& Width);
    /// Display width of the characters from From up to (not including) To, To clamped to the
    /// text; tabs measured from From; stops early at a line break.
    std::int64_t GetDistanceBetween(std::int64_t From, std::int64_t To);
    /// Moves Pos to the start of the paragraph holding the character before Pos (the previous
    /// paragraph when Pos starts one). Paragraphs end at LF and at form feeds.
    void GetStartOfParagraph(std::int64_t& Pos);
    /// The Count bytes from Pos (fewer at the end of the text).
    std::string GetString(std::int64_t Pos, std::int64_t Count);
    /// True when the byte at Pos is a form feed.
    bool AtPageBreak(std::int64_t Pos);

    /// Wrap width of the line-breaking device in its pixels; 0 or NoWrapWidth do not wrap.
    std::int64_t GetMaxWidth() const { return MaxWidth; }
    void SetMaxWidth(std::int64_t Value) {
        if (Value != MaxWidth)
            ++LayoutGeneration;
        MaxWidth = Value;
    }
    /// Changes whenever the display lines may have changed: with the text (OnChange), the wrap
    /// width, and each measuring of the character widths or the tab positions (after any change
    /// of the font, the mode, the output device, the tab stops or the source). A holder of line
    /// starts can tell by it whether they were found in the present layout.
    std::uint64_t GetLayoutGeneration() const { return LayoutGeneration; }

    // ---- metrics, tab stops and output

    TCanvas* GetCanvas() const { return Canvas; }
    /// Measures and draws on Canvas (not owned) from now on; takes over its font's OnChange.
    void SetCanvas(TCanvas* Value);
    /// The canvas font changed: widths and tabs are measured again when next needed.
    void HandleFontChange(TObject* Sender);
    TlbModes GetMode() const { return Mode; }
    void SetMode(TlbModes Value);
    TOutputDevice GetOutputDevice() const { return OutputDevice; }
    void SetOutputDevice(TOutputDevice Value);

    /// Establishes the states in Flags that are missing; False when they cannot be had (no
    /// canvas, or the platform cannot measure).
    bool RequiredState(TLinesBufferStates Flags);
    /// Measures the display widths and metrics on DC with Font, and the printer's when laying
    /// out or drawing for the printer.
    bool UpdateFontInfo(HDC DC, TFont* Font);
    /// Converts the tab stops to pixels of DC and of the printer; measures the default tabs.
    bool UpdateTabs(HDC DC);

    /// Number of tab stops in use, 0 .. MaxTabStops.
    std::int64_t GetTabCount() const { return TabCount; }
    void SetTabCount(std::int64_t Value);
    /// Tab stop Index in inches from the line start; an index outside 0 .. MaxTabStops - 1
    /// raises ERangeError.
    void SetTabStop(std::int64_t Index, float Value);
    /// Raises ERangeError for an index outside 0 .. TabCount - 1.
    float GetTabStop(std::int64_t Index) const;

    /// Display width of Ch, at least 1; 1 when no font information can be had.
    std::int64_t WidthOf(std::uint8_t Ch);
    /// Width of a form feed.
    std::int64_t GetPageBreakWidth() { return WidthOf(FF); }
    /// Average character widths; EInternalError when no font information can be had.
    std::int64_t GetDisplayCharWidth();
    std::int64_t GetPrinterCharWidth();
    std::int64_t GetActualCharWidth();
    /// Cell height and maximum width of the screen font (valid with font information).
    std::int64_t GetCharHeight() const { return CharHeight; }
    std::int64_t GetMaxCharWidth() const { return MaxCharWidth; }
    const std::int64_t* GetDisplayWidths() const { return DisplayWidths.data(); }
    const std::int64_t* GetPrinterWidths() const { return PrinterWidths.data(); }
    const std::int64_t* GetActualWidths() const { return ActualWidths.data(); }
    std::int64_t GetDisplayTabPosition(int Index) const { return DisplayTabPositions.at(Index); }
    std::int64_t GetPrinterTabPosition(int Index) const { return PrinterTabPositions.at(Index); }
    std::int64_t GetActualTabPosition(int Index) const { return ActualTabPositions.at(Index); }
    std::int64_t GetDisplayDefaultTab() const { return DisplayDefaultTab; }
    std::int64_t GetPrinterDefaultTab() const { return PrinterDefaultTab; }
    std::int64_t GetActualDefaultTab() const { return ActualDefaultTab; }

    /// Draws Count bytes from Pos at (X, Y) without tab expansion, on the printer's canvas for
    /// odPrinter, else on Canvas. Drawing stops where the runs leave the clip box.
    void TextOut(std::int64_t X, std::int64_t Y, std::int64_t Pos, std::int64_t Count);
    /// The same with tab expansion: tab stops count from TabOrigin.
    void TabbedTextOut(std::int64_t X, std::int64_t Y, std::int64_t Pos, std::int64_t Count,
                       std::int64_t TabOrigin);
    /// TabbedTextOut on Canvas through an off-screen bitmap copied in one block transfer (runs of
    /// up to NoFlickerLimit bytes; longer ones are drawn directly).
    void NoFlickerTabbedTextOut(std::int64_t X, std::int64_t Y, std::int64_t Pos,
                                std::int64_t Count, std::int64_t TabOrigin);
    static constexpr std::int64_t NoFlickerLimit = 2000;

    // ---- search

    /// Finds S (at most 256 bytes, else EFindStringError) from Pos (clamped into the text):
    /// with frDown the first match starting at or after Pos, else the last match ending at or
    /// before Pos; frMatchCase compares exactly (else ASCII letters fold), frWholeWord accepts
    /// only matches between non-word characters. True with Pos at the match's first byte; False
    /// with Pos where the scan stopped (TextSize forwards, -1 backwards, or the window where
    /// OnSearchStatus cancelled). Progress is reported once per buffer window.
    bool Search(std::int64_t& Pos, const std::string& S, TFindOptions Options);
    /// Fires OnSearchStatus; returns whether the handler cancelled.
    virtual bool DoSearchStatus(std::int64_t Done);
    /// A new layout generation, then OnChange.
    void DoOnChange() override;
    const TSearchStatus& GetOnSearchStatus() const { return OnSearchStatus; }
    void SetOnSearchStatus(TSearchStatus Value) { OnSearchStatus = std::move(Value); }

protected:
    /// Raises EFontInfoError unless the states can be had.
    void DemandState(TLinesBufferStates Flags) {
        if (!(Flags - State).Empty())
            EstablishState(Flags);
    }

    TLinesBufferStates State;  // what is established; font and tab data go with any change
    TCanvas* Canvas = nullptr; // not owned; its font's OnChange is HandleFontChange
    std::array<std::int64_t, 256> DisplayWidths{};
    std::array<std::int64_t, 256> PrinterWidths{};
    std::array<std::int64_t, 256> ActualWidths{};
    std::int64_t DisplayUniform = 0; // UniformWidthOf(DisplayWidths)
    std::int64_t ActualUniform = 0;  // UniformWidthOf(ActualWidths)
    std::int64_t MaxWidth = 0;
    TlbModes Mode = lbDisplay;
    std::int64_t TabCount = 0; // 0 .. MaxTabStops
    std::array<float, MaxTabStops> TabStops{};
    std::array<std::int64_t, MaxTabStops> DisplayTabPositions{};
    std::array<std::int64_t, MaxTabStops> PrinterTabPositions{};
    std::array<std::int64_t, MaxTabStops> ActualTabPositions{};
    std::int64_t DisplayDefaultTab = 1; // all three >= 1
    std::int64_t PrinterDefaultTab = 1;
    std::int64_t ActualDefaultTab = 1;
    std::int64_t DisplayAveCharWidth = 1;
    std::int64_t PrinterAveCharWidth = 0;
    std::int64_t ActualAveCharWidth = 0;
    std::int64_t CharHeight = 0;
    std::int64_t MaxCharWidth = 0;
    TSearchStatus OnSearchStatus;
    TOutputDevice OutputDevice = odDisplay;
    std::uint64_t LayoutGeneration = 0;

private:
    std::uint8_t CrLfPair[2] = {CR, LF}; // a CR that ends a window, scanned with its LF
    void EstablishState(TLinesBufferStates Flags);
    TScanMetrics ActualMetrics() const {
        return TScanMetrics{ActualWidths.data(), ActualUniform, ActualDefaultTab, TabCount,
                            ActualTabPositions.data()};
    }
    TScanMetrics DisplayMetrics() const {
        return TScanMetrics{DisplayWidths.data(), DisplayUniform, DisplayDefaultTab, TabCount,
                            DisplayTabPositions.data()};
    }
    // GetNextLine for a line at Pos < TextSize with the state established, window by window.
    bool ScanLineAcrossWindows(std::int64_t& Pos, std::int64_t& Width, std::int64_t& Count);
    // A point of a line a scan may start from: its position and the line's display width before
    // it.
    struct TLineMark {
        std::int64_t Pos = 0;
        std::int64_t Width = 0;
    };
    std::int64_t MarkSpacing = 256 * 1024;
    static constexpr std::size_t MaxMarks = 4096;
    // The last mark of the kept or measured line at Start before a point of it: the last with
    // Pos at or before Limit, or (ByWidth) with Width below it; null when there is none.
    const TLineMark* LineMarkBefore(std::int64_t Start, std::int64_t Limit, bool ByWidth) const;
    // The scan of one display line window by window, which may stop between windows and go on.
    struct TLineProgress {
        std::int64_t Start = -1;     // the line's start
        std::int64_t Pos = 0;        // where the scan goes on (the next line's start once done)
        std::int64_t Count = 0;      // the characters passed
        std::int64_t Width = 0;      // their width: actual pixels, display pixels once kept
        std::int64_t BreakPos = -1;  // the last break opportunity of earlier windows
        std::int64_t BreakWidth = 0; // the width there
        bool Done = false;           // the line's end was found
        bool Ended = false;          // what GetNextLine returns for it (with Done)
        std::uint64_t Layout = 0;    // the layout generation it was scanned in
        std::uint64_t Kept = 0;      // when it was kept (later lines have higher numbers)
        // Points of an unwrapped line a scan may start from: positions with the display width
        // before them, at least MarkSpacing apart (farther once there are MaxMarks), so that a
        // place far along the line is found without a scan from its start.
        std::vector<TLineMark> Marks{};
        std::int64_t MarkEvery = 0;
    };
    // Notes P's position as a mark when it is far enough from the last one.
    void NoteLineMark(TLineProgress& P) const;
    // Goes on with the scan of P's line until its end or until the windows scanned since this
    // call reach Budget bytes (it stops only between windows).
    void ContinueLineScan(TLineProgress& P, std::int64_t Budget);
    // Long display lines scanned across windows, kept while the layout stands: a screen of long
    // lines measures each of them several times while it is laid out, and a line measured a
    // budget at a time is given whole once done. Only lines of LongLineBytes or more are kept.
    static constexpr std::int64_t LongLineBytes = 256 * 1024;
    // MeasureLine leaves a line with a line feed this near its start to GetNextLine.
    static constexpr std::int64_t ShortLine = 4096;
    // Kept by their start in one of two places (two hashes of it), so that the lines of a
    // screen seldom push each other out; the places are allocated with the first long line. A
    // line takes a place of its own start, or a free or stale one, or else the older of the two.
    static constexpr int KeptLongLinesBits = 8;
    using TKeptLongLines = std::array<TLineProgress, std::size_t{1} << KeptLongLinesBits>;
    std::unique_ptr<TKeptLongLines> LongLines;
    std::uint64_t LongLinesKept = 0;
    static std::size_t LongLineSlot(std::int64_t Start, bool Second) {
        const std::uint64_t Factor = Second ? 0xC2B2AE3D27D4EB4FU : 0x9E3779B97F4A7C15U;
        return static_cast<std::size_t>((static_cast<std::uint64_t>(Start) * Factor) >>
                                        (64 - KeptLongLinesBits));
    }
    // The long line kept for Pos in the present layout, or null.
    const TLineProgress* KeptLongLine(std::int64_t Pos) const;
    // Keeps P (its marks move to the place kept).
    void KeepLongLine(TLineProgress& P);
    TLineProgress Measuring; // the line MeasureLine works on: unfinished, or measured
    // The kept or measured line that starts at Pos in the present layout, or null.
    const TLineProgress* KeptLine(std::int64_t Pos) const;
    // Gives the measured line P as GetNextLine does (display pixels) and keeps it when long.
    bool TakeMeasuredLine(TLineProgress& P, std::int64_t& Pos, std::int64_t& Width,
                          std::int64_t& Count);
    // What ScanForEol gave for one range of a scan that goes on window by window.
    struct TWindowScan {
        const std::uint8_t* Buffer = nullptr; // the range's bytes
        std::int64_t Size = 0;                // their number
        std::int64_t Width = 0;               // the line's width so far
        std::uint16_t Index = 0;              // where the scan stopped in the range
        std::uint16_t Chars = 0;              // characters passed in the range
        std::uint16_t BreakCount = 0;         // characters to its last break opportunity
        std::int64_t BreakWidth = 0;          // the line's width there
        bool Ended = false;                   // the line ended in the range
        bool Overflow = false;                // it ended at a word too long for the width
    };
    // Scans the line at Pos through the ranges of [Pos, End) one after the other, with ScanForEol
    // at MaxWidth (and WordWrap) from width From, giving each range's result to Visit, until the
    // line ends or the ranges do. A form feed that begins a later range ends the line before it:
    // the scan stops there and returns true.
    template <typename F>
    bool ScanWindows(std::int64_t Pos, std::int64_t End, std::int64_t MaxWidth, bool WordWrap,
                     const TScanMetrics& M, F&& Visit, std::int64_t From = 0);
    // One scan range of the window at Pos, up to Limit bytes: Buffer is the byte at Pos, the
    // result the number of bytes (at most 65535, and never ending in a CR that another byte
    // follows, so that CR LF is scanned whole). 0 at the end of the text.
    std::int64_t ScanRange(std::int64_t Pos, std::int64_t Limit, const std::uint8_t*& Buffer);
    // Draws through the window runs of [Pos, Pos + Count) on DC; Tabbed passes the tab stops.
    void DrawRuns(HDC DC, std::int64_t X, std::int64_t Y, std::int64_t Pos, std::int64_t Count,
                  bool Tabbed, const std::array<std::int64_t, MaxTabStops>& Tabs,
                  std::int64_t TabOrigin);
    bool SearchForwards(std::int64_t& Pos, const std::string& S, TFindOptions Options);
    bool SearchBackwards(std::int64_t& Pos, const std::string& S, TFindOptions Options);
};

} // namespace kestrel
