// TTextViewer: the lines viewer bound to a TLinesBuffer. It numbers, scrolls and paints the
// display lines of a text of any size without breaking the whole text into lines first: a line
// map (one cursor line with its neighbours), a background count in idle time, and estimated
// jumps to proportional offsets for far targets.
#pragma once

#include "fileview/lines_viewer.h"
#include "host/application.h"
#include "host/graphics.h"
#include "textbuff/lines_buffer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {

/// Where display lines wrap.
enum TWrapModes : std::uint8_t { opNone, opWrapScreenWidth, opAbsoluteWrap, opPrinter };
/// How a display line begins: plainly, on a new printed page, or with a form feed.
enum TPageBoundaries : std::uint8_t { pbNone, pbSoftPageBreak, pbHardPageBreak };
/// When soft page boundaries are drawn.
enum TPageBreakDisplayModes : std::uint8_t { pbNever, pbAlways, pbWYSIWYG };
/// How SaveAs writes the text: as stored, one CR LF line per display line, or ask.
enum TSaveMode : std::uint8_t { smParagraph, smLineBreaks, smPrompt };

class TTextViewer;
using TSavePromptEvent = std::function<void(TObject* Sender, TSaveMode& Mode)>;

/// The line-break mark and the end-of-text mark (bytes of the display font).
inline constexpr std::uint8_t LineBreakGlyph = 0xB6;
inline constexpr std::uint8_t EndOfTextGlyph = 0xA4;
/// Display lines counted per idle step of the background count, at most.
inline constexpr std::int64_t CountStepLines = 100;
/// Bytes an idle step of the background count takes before it stops (a step takes at least a
/// line), so that steps over long lines stay short.
inline constexpr std::int64_t CountStepBytes = std::int64_t{1} << 20;
/// Bytes of long lines a paint measures below its first row; the rows past them are drawn once
/// idle time has measured their lines, so that a screen of long lines shows at once.
inline constexpr std::int64_t PaintLineBytes = std::int64_t{1} << 20;
/// The count records a checkpoint (a line start with its number) after this many lines or bytes
/// since the last one, whichever comes first.
inline constexpr std::int64_t CheckpointLines = 16384;
inline constexpr std::int64_t CheckpointBytes = std::int64_t{4} << 20;
/// The line length is estimated from this many samples of SampleBytes spread over the text.
inline constexpr int SampleCount = 8;
inline constexpr std::int64_t SampleBytes = 60 * 1024; // one window of the usual 64 KB
/// A sample inside one long unwrapped line looks this far each way for the line's ends.
inline constexpr std::int64_t SampleReach = 256 * 1024;

class TTextViewer : public TLinesViewer {
public:
    explicit TTextViewer(TComponent* AOwner);
    ~TTextViewer() override;

    // ---- Buffer and layout
    TLinesBuffer* GetBuffer() const { return Buffer.get(); }
    /// Takes ownership of B (freeing the current buffer) and lays it out.
    virtual void SetBuffer(TLinesBuffer* B);
    TWrapModes GetWrapMode() const { return WrapMode; }
    void SetWrapMode(TWrapModes Mode);
    void ToggleWrapMode();
    std::int64_t GetMaxLineLength() const { return MaxLineLength; }
    void SetMaxLineLength(std::int64_t N);
    bool GetAutoIdle() const { return AutoIdle; }
    void SetAutoIdle(bool Value) { AutoIdle = Value; }
    TNotifyEvent GetOnWrapModeChange() const { return OnWrapModeChange; }
    void SetOnWrapModeChange(TNotifyEvent Value) { OnWrapModeChange = std::move(Value); }
    /// The viewer's change event (after the buffer's text changed).
    TNotifyEvent GetOnChange() const { return OnChange; }
    void SetOnChange(TNotifyEvent Value) { OnChange = std::move(Value); }

    // ---- Line map
    void GotoFirstLine();
    bool GotoNextLine();
    bool GotoPrevLine();
    bool AtEndOfText();
    /// Maps the display line holding Offset; MapLine and MapPage are left to the caller.
    void PositiontextAt(std::int64_t Offset);
    /// Maps display line Line; with Estimate, far targets may be reached by an estimated jump.
    void LocateLine(std::int64_t Line, bool Estimate);
    void GotoLine(std::int64_t Line, std::int64_t& Width, std::int64_t& Length);
    void GotoPosition(std::int64_t Offset);
    void SyncLineMap();
    void GotoStartOftext();
    void GotoEndOftext();
    /// Maps display line Line with its exact number (the last line when the text ends first):
    /// from the nearest checkpoint the count recorded, or from the count's position, counting the
    /// lines between with the batch counter. The page is exact where the count has passed.
    void LocateLineExactly(std::int64_t Line);

    // ---- Conversions
    std::int64_t TextOffset(const TLongPoint& P) override;
    TLongPoint OffsetToPoint(std::int64_t Offset);
    /// The text offset under caret point P (X in pixels); Beyond: spaces past the line's end.
    std::int64_t GetTextPos(const TLongPoint& P, std::int64_t& Beyond);
    std::int64_t CharNumToPoint(std::int64_t N) override;
    std::int64_t MarkLocation() override;
    void FocusAt(std::int64_t Offset, bool Update);
    void GotoLocation(std::int64_t Offset) override;
    std::int64_t GetPosition();
    void SetPosition(std::int64_t Offset);
    std::int64_t GetTextSize() override;
    void GetLineData(std::int64_t Line, std::int64_t& ALineWidth, std::int64_t& ALineLength,
                     std::int64_t& APageNumber, std::int64_t& ALineNumberOffset,
                     std::int64_t& APageTopLine) override;
    void SyncToChar(std::int64_t& X, std::int64_t& CharNum) override;
    void GotoLineNumber(std::int64_t N) override;

    // ---- Background count
    /// One step of the count (up to CountStepLines display lines).
    void EstimateNumLines();
    /// One step, then extrapolates LastLine and PageCount from the share counted.
    void EstimateLastLine();
    /// The text or layout changed at Offset: rewinds the count to a point before it.
    void ReEstimateFrom(std::int64_t Offset);
    /// Runs count steps until CountComplete, stopping when a step makes no progress; true when
    /// the count completed.
    bool CompleteCount();
    /// One count step; false when it made no progress (a mouse button held, a step re-entered,
    /// nothing left to count), which is where every wait on the count stops.
    bool CountStep();
    /// The application's idle handler, chained with the one it replaced.
    void HandleOnIdle(TObject* Sender, bool& Done);
    void SetLongestLine(std::int64_t W);
    bool GetCountComplete() const { return CountComplete; }
    bool GetLineNumbersPending() const { return LineNumbersPending; }
    std::int64_t GetLongestLine() const { return LongestLine; }
    std::int64_t GetAverageLinesPerPage() const { return AverageLinesPerPage; }
    bool GetIdleHooked() const { return IdleHooked; }
    /// True while rows of the window wait for idle time to measure their long lines (they are
    /// blank until then).
    bool GetRowsPending() const { return PendingRow >= 0; }
    /// Display lines a byte, from the samples of the text (0 before any sample).
    double GetSampledLinesPerByte() const { return SampledLinesPerByte; }
    /// A line start the count found, with its number, the start of the line before it and its
    /// page.
    struct TCheckpoint {
        std::int64_t Line = 0;
        std::int64_t Offset = 0;
        std::int64_t Prev = 0;
        std::int64_t Page = 1;
    };
    const std::vector<TCheckpoint>& GetCheckpoints() const { return Checkpoints; }

    // ---- Map state (read access for callers and tests)
    std::int64_t GetMapLine() const { return MapLine; }
    std::int64_t GetMapPage() const { return MapPage; }
    std::int64_t GetLineStart() const { return LineStart; }
    std::int64_t GetPrevLineStart() const { return PrevLineStart; }
    std::int64_t GetNextLineStart() const { return NextLineStart; }
    std::int64_t GetMapLineWidth() const { return MapLineWidth; }
    std::int64_t GetMapLineLength() const { return MapLineLength; }
    TPageBoundaries GetMapBoundary() const { return MapBoundary; }
    std::int64_t GetHardBreakIndex() const { return HardBreakIndex; }
    const std::vector<std::int64_t>& GetHardBreaks() const { return HardBreaks; }
    std::int64_t GetScanOffset() const { return ScanOffset; }
    std::int64_t GetScanLine() const { return ScanLine; }
    std::int64_t GetScanPageCount() const { return ScanPageCount; }
    std::int64_t GetCaretLineStart() const { return CaretLineStart; }
    std::int64_t GetTopLineStart() const { return TopLineStart; }
    std::int64_t GetSelStartOffset() const { return SelStartOffset; }
    std::int64_t GetSelEndOffset() const { return SelEndOffset; }
    std::int64_t GetSelStartPage() const { return SelStartPage; }
    std::int64_t GetSelEndPage() const { return SelEndPage; }
    std::int64_t GetColumnLeft() const { return ColumnLeft; }
    std::int64_t GetColumnRight() const { return ColumnRight; }
    bool AtHardPageBreak(std::int64_t Line, std::int64_t Index) const;
    bool AtSoftPageBreak(std::int64_t Line, std::int64_t Index) const;
    /// How display line Line begins, HardBreaks[Index] being the last hard break at or before it:
    /// a hard break, a soft one (a page's worth of lines after the last hard break), or neither.
    TPageBoundaries PageBoundaryAt(std::int64_t Line, std::int64_t Index) const;
    /// Index in HardBreaks of the last hard break at or before Line; -1 when none.
    std::int64_t LastHardBreakAtOrBefore(std::int64_t Line) const;

    // ---- Painting options
    bool GetShowLineBreaks() const { return ShowLineBreaks; }
    void SetShowLineBreaks(bool Value);
    TPageBreakDisplayModes GetShowPageBreaks() const { return ShowPageBreaks; }
    void SetShowPageBreaks(TPageBreakDisplayModes Value);
    TPenStyle GetHardPageBreakStyle() const { return HardPageBreakStyle; }
    void SetHardPageBreakStyle(TPenStyle Value) { HardPageBreakStyle = Value; }
    TPenStyle GetSoftPageBreakStyle() const { return SoftPageBreakStyle; }
    void SetSoftPageBreakStyle(TPenStyle Value) { SoftPageBreakStyle = Value; }
    bool GetOEMConvert() const;
    void SetOEMConvert(bool Value);
    std::int64_t GetTabCount() const;
    void SetTabCount(std::int64_t Value);
    float GetTabStops(std::int64_t Index) const;
    void SetTabStops(std::int64_t Index, float Value);
    TFont* GetPageBreakFont() const { return PageBreakFont.get(); }

    // ---- Painting
    void PaintLines(std::int64_t Y, std::int64_t FirstLine, std::int64_t Count) override;
    void UpdateMouseCursor(int X, int Y) override;
    void HandlePrinterChange(TObject* Sender);

    // ---- Selection text, clipboard, saving, loading
    void SetSelection(const TLongPoint& Start, const TLongPoint& End, TSelModes Mode) override;
    std::int64_t GetSelectionSize() override;
    std::string GetSelection() override;
    std::string GetString(std::int64_t Line, std::int64_t CharIndex, std::int64_t Count) override;
    void CopySelection(HGLOBAL Mem) override;
    std::int64_t CopyColumnText(HGLOBAL Mem) override;
    void CopyToClipBoard() override;
    void CopyToStream(TStream* Stream) override;
    void SaveAs(const std::string& FileName) override;
    void SaveSelection(const std::string& FileName) override;
    virtual void LoadFromStream(TStream* Stream);
    TSaveMode GetSaveMode() const { return SaveMode; }
    void SetSaveMode(TSaveMode Value) { SaveMode = Value; }
    TSavePromptEvent GetOnSaveModePrompt() const { return OnSaveModePrompt; }
    void SetOnSaveModePrompt(TSavePromptEvent Value) { OnSaveModePrompt = std::move(Value); }
    bool GetRemapOnSave() const { return RemapOnSave; }
    void SetRemapOnSave(bool Value) { RemapOnSave = Value; }

    // ---- Search, words, bookmarks
    bool Search(const std::string& Text, TFindOptions Options) override;
    std::string GetInitialFindStr() override;
    void HandleSearchStatus(std::int64_t Done, bool& Cancelled);
    TLongPoint FindWordStart(const TLongPoint& P) override;
    TLongPoint FindWordEnd(const TLongPoint& P) override;
    TLongPoint FindNextWord(const TLongPoint& P) override;
    std::int64_t AllocBookmark() override;
    void DeleteBookmark(std::int64_t Index) override;
    void GotoBookMark(std::int64_t Index) override;

    // ---- Printing
    std::int64_t GetLineAtTopOfPage(std::int64_t Page) override;
    std::int64_t GetPageNumber(std::int64_t Line) override;
    void PrintLine(std::int64_t X, std::int64_t Y, std::int64_t Line, TPrintRange Range,
                   bool& PageBreak) override;

protected:
    void AdjustCurrentLine(std::int64_t Line, std::int64_t Width, std::int64_t Length) override;
    void ReInitialise() override;
    void UpdateScreenWidth() override;
    void DoSetFocus() override;
    void DoKillFocus() override;
    void HandleFontChange(TObject* Sender) override;
    void BeginPrinting(bool UsePrinterWrap) override;
    void EndPrinting() override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void WMGetText(TMessage& Message) override;
    void WMGetTextLength(TMessage& Message) override;
    void WMWinIniChange(TMessage& Message) override;

    /// The buffer's change event.
    void HandleOnChange(TObject* Sender);
    /// The backgrounds of the margins.
    void PaintMargins();
    /// The text of the map line drawn at pixel row Y, with its marks.
    void PaintMapLine(std::int64_t Y);
    /// The selection's part of the map line drawn at row Y, inverted (HardBreak: a form-feed
    /// line, whose selection reaches across the window).
    void InvertSelectionOnMapLine(std::int64_t Y, bool HardBreak);
    /// The line-end mark and soft page boundary of the map line drawn at Y.
    void DrawEOLChar(std::int64_t Y);
    /// The form-feed line drawn at Y.
    void DrawPageBreak(std::int64_t Y);
    /// The byte at Offset of the buffer's text (0 beyond the end).
    std::uint8_t ByteAt(std::int64_t Offset);
    /// Writes the display lines as CR LF lines to Stream (the line-break save); false when the
    /// user aborted through the progress report.
    bool WriteLineBreakText(TStream* Stream);
    /// Writes the whole file FileName through Write, into a temporary file beside it that is
    /// flushed and then renamed over it; on any failure the temporary is deleted, the target is
    /// left as it was and the error re-raised.
    static void SaveFileSafely(const std::string& FileName,
                               const std::function<void(TStream*)>& Write);
    /// Runs count steps until ScanLine reaches Line or the count completes; stops as soon as a
    /// step makes no progress.
    void CountUpTo(std::int64_t Line);
    /// Walks the rows of the column selection from SelStart.y to SelEnd.y, calling Row (when
    /// given) with the text range each row contributes: its two pixel edges, clamped to that
    /// display line's own characters. Returns the bytes of the block: every row's bytes plus
    /// CR LF, counted in 64 bits.
    std::int64_t
    ForEachColumnRow(const std::function<void(std::int64_t Pos, std::int64_t Count)>& Row);
    /// The text range [A, B) of the map line between the column selection's pixel edges,
    /// clamped to the line's own characters (a wrapped line lends nothing of the next).
    void ColumnSpan(std::int64_t& A, std::int64_t& B);

    // ---- Line map and count steps
    /// Where a long move of the map starts: the start of the text, the map line where it is, the
    /// caret line, or an end of the selection.
    enum TMapAnchor : std::uint8_t { maStart, maMap, maCaret, maSelStart, maSelEnd };
    /// The anchor nearest a target at these distances (all in lines or all in bytes) from the
    /// start of the text, the map line, the caret line and the selection's ends. The start only
    /// when strictly nearest (its number is the one never provisional); otherwise ties go to the
    /// caret, then the selection's start, then its end, and the map stays when it is nearer than
    /// all three.
    static TMapAnchor NearestAnchor(std::int64_t DStart, std::int64_t DMap, std::int64_t DCaret,
                                    std::int64_t DSelStart, std::int64_t DSelEnd);
    /// Puts the map on anchor A, numbered as the anchor is.
    void GotoAnchor(TMapAnchor A);
    /// The estimated jump: maps the display line holding Offset and numbers it Line for now; the
    /// count corrects the number when it gets there.
    void JumpTo(std::int64_t Offset, std::int64_t Line);
    /// In debug builds, asserts the relations written beside the map's fields; nothing in release
    /// builds. Numbered: MapLine has its number (PositiontextAt leaves that to its caller).
    /// ReadCount: the bounded read of the text also checks the count's position.
    void CheckMapInvariants(bool Numbered = true, bool ReadCount = true);
    /// The layout generation of the buffer now, for MapLayout and CountLayout.
    std::uint64_t PresentLayout() const {
        return Buffer ? Buffer->GetLayoutGeneration() : NoLayout;
    }
    /// HardBreakIndex and MapBoundary for the present MapLine.
    void SyncMapBoundary();
    /// MapBoundary of MapLine from AtHardPageBreak / AtSoftPageBreak at HardBreakIndex.
    void ClassifyMapBoundary();
    /// Maps the line at Offset and numbers it Line on page Page (an anchor whose number is known).
    /// X is the anchor's character index in its line: an offset at the end of a wrapped line is
    /// also the start of the next one, and X > 0 says it belongs to the line that ends there.
    void SetMapAnchor(std::int64_t Offset, std::int64_t Line, std::int64_t Page,
                      std::int64_t X = 0);
    /// TopLineStart made to describe the present TopLine (the map is left on TopLine).
    void LocateTopLine();
    /// GetTextPos on the map line: the offset under pixel X, Beyond the spaces past its end.
    std::int64_t TextPosOnMap(std::int64_t X, std::int64_t& Beyond);
    /// Records the next of a run of consecutive display line starts (see RecentLineStarts).
    void NoteLineStart(std::int64_t Start);
    /// A map line at the count's position takes the count's exact numbers.
    void CalibrateAtCount();
    /// The count reached a new page.
    void PageStep();
    /// The count is at the line of Len characters at ScanOffset: anchors there get its number;
    /// true when the top line was among them.
    bool CountPassesLine(std::int64_t Len);
    /// Lines counted at once from ScanOffset, where none needs a look of its own: no anchor among
    /// them, no form feed beginning one, no page boundary before the last; at most MaxLines and
    /// ending by End. The count moves on past them as CountMovesOn does; returns their number.
    std::int64_t CountRunFromScanOffset(std::int64_t End, std::int64_t MaxLines,
                                        std::int64_t& Phase, std::int64_t PerPage);
    /// Up to CountStepLines display lines and about CountStepBytes bytes counted from ScanOffset:
    /// the body of a count step.
    void CountFromScanOffset();
    /// How the line at ScanOffset begins: a hard break (a form feed; none when Plain), a soft
    /// page boundary (Phase lines into the page) or neither; sets ScanBoundary.
    void ClassifyScanStart(bool Plain, std::int64_t& Phase);
    /// The count moves on from the line of Len characters at ScanOffset to the line at N (Plain:
    /// known to begin with no form feed), numbering it and telling how it begins. Phase: lines
    /// since the last page boundary, modulo PerPage.
    void CountMovesOn(std::int64_t N, std::int64_t Len, bool Plain, std::int64_t& Phase,
                      std::int64_t PerPage);
    /// The line at ScanOffset begins with a form feed: a hard break, on a page of its own.
    void RecordHardBreak();
    /// The end of the text: the line at ScanOffset (W pixels, Len characters) is the last one.
    void CountReachesEnd(std::int64_t W, std::int64_t Len);
    /// Line numbers are exact again: repaint and report the caret. (An editor whose own edit had
    /// the count confirm numbers that were exact already repaints only what the edit changed.)
    virtual void NumbersSettled();
    /// The count moved on to the line at ScanOffset, Prev being the line before it: a checkpoint
    /// when one is due.
    void NoteCheckpoint(std::int64_t Prev) {
        if (ScanLine >= NextCheckpointLine || ScanOffset >= NextCheckpointOffset)
            RecordCheckpoint(Prev);
    }
    void RecordCheckpoint(std::int64_t Prev);
    /// Drops the checkpoints beyond the count's position (all when the layout changed unseen).
    void TrimCheckpoints();
    /// The exact page of display line Line, which the count has passed: from the checkpoint at or
    /// before it (Base) and the hard breaks between.
    std::int64_t PageFromCheckpoint(const TCheckpoint& Base, std::int64_t Line) const;
    /// The form feeds in the text from From up to (not including) To.
    std::int64_t CountFormFeeds(std::int64_t From, std::int64_t To);
    /// Measures the display lines a byte of a few samples spread over the text. Taken in idle
    /// time, at the count's first step after the samples stopped holding (SamplesHold): opening
    /// reads the first screen only.
    void SampleLineLength();
    /// True when the samples hold for the present text and layout.
    bool SamplesHold() const;
    /// The last line estimated from the lines counted and the rest of the text at the density of
    /// the samples (of the counted part while there are none).
    void SetEstimatedLastLine();
    /// The estimated offset of display line Line (for an estimated jump).
    std::int64_t EstimatedOffset(std::int64_t Line);
    /// After a re-layout placed the caret and selection: the count starts over to number them.
    void RecountAnchors();
    /// Selects from offset Start to End again after a re-layout.
    void ReapplySelection(std::int64_t Start, std::int64_t End, TSelModes Mode);

    // ---- Buffer and layout
    std::unique_ptr<TLinesBuffer> Buffer;
    TWrapModes WrapMode = opWrapScreenWidth;
    std::int64_t MaxLineLength = 0;
    bool AutoIdle = false;
    TNotifyEvent OnWrapModeChange;
    TNotifyEvent OnChange;

    // ---- Line map, anchors and count
    //
    // The line map is one display line, the map line, with its neighbours: PrevLineStart,
    // LineStart and NextLineStart are the offsets of the line before it (LineStart itself on
    // line 0), of the map line and of the line after it (where GetNextLine from LineStart ends:
    // TextSize after the last line); MapLineLength and MapLineWidth are its characters (line break
    // not counted) and pixels; MapLine is its display line number, MapPage its printed page and
    // MapBoundary how it begins; HardBreakIndex is the index in HardBreaks of the last hard break
    // at or before MapLine (-1 when none). HardBreaks holds, ascending, the numbers of the lines
    // that begin with a form feed, as far as the count has gone.
    //
    // The anchors are lines whose offset and number are both known, from which long moves of the
    // map start: the caret line (CaretLineStart and CaretPage, numbered LineNumber), the lines of
    // the selection's ends (SelStartOffset and SelStartPage with SelStart.Y, SelEndOffset and
    // SelEndPage with SelEnd.Y; the offsets are those of the ends themselves), and the top line
    // (TopLineStart, found for TopLine = TopLineStartLine).
    //
    // The count walks the text from its start: ScanOffset is the start of the next line to count
    // (the last line's once the count is complete), ScanLine its number, which is
    // exact, ScanBoundary how it begins and ScanPageCount the pages so far. LineNumbersPending
    // says that the numbers of the map line and the anchors are provisional (an estimated jump, a
    // re-layout) until the count passes their offsets; CountComplete that LastLine and PageCount
    // are exact.
    //
    // Between map operations, always:
    //   0 <= PrevLineStart <= LineStart <= NextLineStart, PrevLineStart < LineStart unless
    //   LineStart = 0, and 0 <= MapLineLength <= NextLineStart - LineStart;
    //   MapLine = 0 exactly when LineStart = 0 (line 0 is the one number never provisional);
    //   HardBreakIndex = LastHardBreakAtOrBefore(MapLine), except that line 0 of a text that
    //   begins with a form feed the count has not recorded yet has index 0 or -1;
    //   HardBreaks ascends strictly, from 0 up to ScanLine at most;
    //   0 <= ScanOffset, and ScanLine = 0 when ScanOffset = 0;
    //   pages (MapPage, CaretPage, SelStartPage, SelEndPage, ScanPageCount) and
    //   AverageLinesPerPage are at least 1; SelStartOffset <= SelEndOffset while there is a
    //   selection, and SelStart <= SelEnd too once numbers are exact; with exact numbers and a
    //   complete count, MapLine <= LastLine.
    // A change of the text or of the layout leaves the offsets behind (they still address the
    // text, which is how the caret survives a re-layout) until the map is placed again. While
    // the map was placed in the present layout (MapLayout is the buffer's layout generation):
    //   NextLineStart <= TextSize and LineStart < NextLineStart unless LineStart = TextSize;
    //   PrevLineStart, LineStart and NextLineStart are consecutive line starts and MapLineLength
    //   and MapLineWidth what GetNextLine gives for LineStart;
    //   with exact numbers a hard boundary is a form-feed line.
    // While the count runs in the present layout (CountLayout): ScanOffset <= TextSize, it is a
    // line start numbered ScanLine (below TextSize), and a hard ScanBoundary is a form feed.
    // With both and exact numbers, a count position at the map's lines has their numbers and
    // never lies between them. CheckMapInvariants asserts all this (as far as a bounded read of
    // the text goes) at the end of the map operations in debug builds.
    //
    // An open map line (MapLineOpen) is line 0 of a text still being measured, too long to
    // measure before the first paint: NextLineStart, MapLineWidth and MapLineLength (and the
    // caret's data taken from them) are not known yet, and reading or writing any of them first
    // measures the rest of the line (CloseMapLine), so that every path sees the map above. Only
    // the paint, the caret at the line's start and the idle handler take an open line as it is;
    // idle time measures it a budget at a time.
    std::int64_t PrevLineStart = 0;
    std::int64_t LineStart = 0;
    TMapLineValue NextLineStart{this};
    std::int64_t MapLine = 0;
    TMapLineValue MapLineWidth{this};
    TMapLineValue MapLineLength{this};
    std::uint64_t OpenLayout = 0; // the layout the map line was opened in
    /// Measures the rest of an open map line, which then is the map line above.
    void CloseMapLine() override {
        if (MapLineOpen)
            MeasureOpenMapLine(INT64_MAX);
    }
    /// Measures an open map line for up to Budget bytes; closes it once it is measured.
    void MeasureOpenMapLine(std::int64_t Budget);
    std::int64_t MapPage = 1;
    TPageBoundaries MapBoundary = pbNone;
    std::int64_t HardBreakIndex = -1;
    std::vector<std::int64_t> HardBreaks;
    // Checkpoints of the count: ascending, every one at or before the count's position (Line <=
    // ScanLine, Offset <= ScanOffset), found by the count in layout CheckpointLayout; a rewind of
    // the count drops those beyond it. The next is due at NextCheckpointLine or
    // NextCheckpointOffset.
    std::vector<TCheckpoint> Checkpoints;
    std::uint64_t CheckpointLayout = NoLayoutYet;
    std::int64_t NextCheckpointLine = CheckpointLines;
    std::int64_t NextCheckpointOffset = CheckpointBytes;
    std::int64_t CheckpointLineSpacing = CheckpointLines; // (closer in tests)
    std::int64_t CheckpointByteSpacing = CheckpointBytes;
    // The lowest offset a rewind was asked for while a count step ran (NoRewind: none); the step
    // rewinds when it is done, since the layout may have changed under it.
    static constexpr std::int64_t NoRewind = INT64_MAX;
    std::int64_t DeferredRewind = NoRewind;
    // The samples of the line length: display lines a byte, measured for a text of SampledSize
    // bytes laid out at SampledWidth in SampledMode; SampledSize -1 when none are valid.
    double SampledLinesPerByte = 0;
    std::int64_t SampledSize = -1;
    std::int64_t SampledWidth = 0;
    bool SampledPrinter = false;
    // Consecutive display line starts met by the last walk (ascending), so that stepping back
    // through a long paragraph walks it once; cleared whenever the text or the layout changes.
    std::vector<std::int64_t> RecentLineStarts;
    // The buffer's layout generation the map was placed in, and the one the count started or
    // resumed in from a known line start; NoLayout when not known. Kept for the checks only.
    static constexpr std::uint64_t NoLayout = ~std::uint64_t{0};
    static constexpr std::uint64_t NoLayoutYet = ~std::uint64_t{0} - 1;
    std::uint64_t MapLayout = NoLayout;
    std::uint64_t CountLayout = NoLayout;

    // ---- Anchors
    std::int64_t CaretLineStart = 0;
    std::int64_t CaretPage = 1;
    std::int64_t SelStartOffset = 0;
    std::int64_t SelStartPage = 1;
    std::int64_t SelEndOffset = 0;
    std::int64_t SelEndPage = 1;
    std::int64_t ColumnLeft = 0; // pixel edges of a column selection
    std::int64_t ColumnRight = 0;
    std::int64_t TopLineStart = 0;
    // A scroll that paints only the uncovered rows changes TopLine without painting the top row:
    // a TopLineStart found for another TopLine must not renumber it.
    std::int64_t TopLineStartLine = 0;

    // ---- Background count
    std::int64_t ScanOffset = 0;
    std::int64_t ScanLine = 0;
    TPageBoundaries ScanBoundary = pbNone;
    std::int64_t ScanPageCount = 1;
    std::int64_t AverageLinesPerPage = 1;
    bool CountComplete = true;
    bool LineNumbersPending = false;
    bool LineMeasuredInPart = false; // the last count step measured part of a long line only
    int EstimateDepth = 0; // > 0 while a count step runs: steps and rewinds are not re-entered
    std::int64_t LongestLine = 0;
    bool IdleHooked = false;
    TIdleEvent SavedOnIdle;

    // ---- Painting
    // Rows left blank by a paint that ran out of PaintLineBytes: the display line number of the
    // first (-1 when none) and the start of the line the paint stopped at. A paint measures the
    // lines starting at or before MeasuredRowStart whole, so that every paint after an idle step
    // gets further even when long lines push each other out of the buffer's keeping.
    std::int64_t PendingRow = -1;
    std::int64_t PendingLineStart = -1;
    std::int64_t MeasuredRowStart = -1;
    std::int64_t PaintBudget = PaintLineBytes; // (smaller in tests)
    /// Leaves the rows from display line Row blank, the line at Start to measure.
    void LeaveRowsPending(std::int64_t Row, std::int64_t Start);
    /// Measures the pending rows' line for one idle step; once it is measured, the rows are
    /// drawn again. False when no rows are pending.
    bool MeasurePendingRows();
    /// Has the pending rows drawn again, and none pending.
    void RedrawPendingRows();
    bool ShowLineBreaks = false;
    TPageBreakDisplayModes ShowPageBreaks = pbAlways;
    TPenStyle HardPageBreakStyle = psSolid;
    TPenStyle SoftPageBreakStyle = psDot;
    std::unique_ptr<TFont> PageBreakFont;

    // ---- Saving and printing
    TSaveMode SaveMode = smPrompt;
    TSavePromptEvent OnSaveModePrompt;
    bool RemapOnSave = false;
    TWrapModes SavedWrapMode = opWrapScreenWidth;
    std::int64_t PrintLocation = 0;
};

} // namespace kestrel
