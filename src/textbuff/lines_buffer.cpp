// TLinesBuffer: metrics, tab stops, line scanning across windows and text output.
#include "textbuff/lines_buffer.h"

#include "host/device_context.h"
#include "host/exceptions.h"
#include "host/printers.h"
#include "host/scope_guard.h"
#include "textbuff/byte_scan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

namespace kestrel {

namespace {

constexpr TLinesBufferStates AllStates{lbCanvasAvailable, lbFontDataAvailable, lbTabDataAvailable};
constexpr const char* FontInfoMessage = "Unable to access Font Information when required";
constexpr const char* TabRangeMessage =
    "Invalid access to tab stop array - index greater than MaxTabStops";

// The printer's context and a copy of Font selected into it at the printer's resolution (same
// point size); restores the printer's font when it ends. Without a printer (or a platform) the
// context is nullptr.
class TPrinterFontScope {
public:
    explicit TPrinterFontScope(TFont* Font) {
        if (!GraphicsPlatformInstalled())
            return;
        try {
            FDC = Printer()->GetHandle();
        } catch (const EPrinter&) {
            FDC = nullptr;
            return;
        }
        TFont Copy;
        Copy.Assign(Font);
        Copy.SetPixelsPerInch(FDC->GetDeviceCaps(LOGPIXELSY));
        Copy.SetSize(Font->GetSize());
        FOld = FDC->SelectFont(Copy.GetDesc());
    }
    ~TPrinterFontScope() {
        if (FDC != nullptr)
            FDC->SelectFont(FOld);
    }
    TPrinterFontScope(const TPrinterFontScope&) = delete;
    TPrinterFontScope& operator=(const TPrinterFontScope&) = delete;

    HDC Get() const { return FDC; }

private:
    HDC FDC = nullptr;
    TFontDesc FOld;
};

// The 256 advance widths of DC's font: the exact query where the platform has it, else the
// legacy one corrected for the overhang it includes.
bool MeasureWidths(HDC DC, std::array<std::int64_t, 256>& Widths, std::int64_t& Average) {
    TTextMetric Metrics;
    if (!DC->GetTextMetrics(Metrics))
        return false;
    int Raw[256];
    const bool Exact = !GraphicsPlatformInstalled() || GraphicsPlatform().HasExactCharWidths();
    if (!(Exact ? DC->GetCharWidth32(0, 255, Raw) : DC->GetCharWidth(0, 255, Raw)))
        return false;
    for (int I = 0; I < 256; ++I) {
        std::int64_t W = Raw[I];
        if (!Exact && W > Metrics.tmOverhang)
            W -= Metrics.tmOverhang;
        Widths[static_cast<std::size_t>(I)] = W;
    }
    Average = Metrics.tmAveCharWidth;
    return true;
}

std::int64_t DefaultTabOf(HDC DC) {
    return std::max<std::int64_t>(1, DC->GetTabbedTextExtent("\t", 1, 0, nullptr).cx);
}

// Runs Action, then gives back the context a control's canvas obtained for it (also when Action
// raises), so that no screen context stays held between calls.
template <typename F> void ReleasingCanvas(TCanvas* Canvas, F Action) {
    const TScopeExit Release([Canvas] { Canvas->ReleaseHandle(); });
    Action();
}

// The advance of a tab that starts a line.
std::int64_t FirstTabAdvance(const TScanMetrics& M) {
    for (std::int64_t I = 0; I < M.TabCount; ++I)
        if (M.TabPositions[I] > 0)
            return M.TabPositions[I];
    return std::max<std::int64_t>(1, M.DefaultTabWidth);
}

} // namespace

TLinesBuffer::TLinesBuffer(TComponent* AOwner) : TTextBuffer(AOwner) {}

TLinesBuffer::~TLinesBuffer() {
    if (Canvas != nullptr)
        Canvas->GetFont()->SetOnChange(nullptr);
}

// ---- state and metrics

void TLinesBuffer::SetCanvas(TCanvas* Value) {
    if (Canvas != nullptr)
        Canvas->GetFont()->SetOnChange(nullptr);
    State = TLinesBufferStates();
    Canvas = Value;
    if (Canvas != nullptr) {
        State = TLinesBufferStates{lbCanvasAvailable};
        Canvas->GetFont()->SetOnChange([this](TObject* Sender) { HandleFontChange(Sender); });
    }
}

void TLinesBuffer::HandleFontChange(TObject*) {
    State.Exclude(lbFontDataAvailable).Exclude(lbTabDataAvailable);
}

void TLinesBuffer::SetMode(TlbModes Value) {
    Mode = Value;
    HandleFontChange(this);
}

void TLinesBuffer::SetOutputDevice(TOutputDevice Value) {
    OutputDevice = Value;
    HandleFontChange(this);
}

bool TLinesBuffer::RequiredState(TLinesBufferStates Flags) {
    const TLinesBufferStates Missing = Flags - State;
    if (Missing.Empty())
        return true;
    if (Missing.Contains(lbCanvasAvailable) || Canvas == nullptr)
        return false;
    bool Result = true;
    ReleasingCanvas(Canvas, [&] {
        HDC DC;
        try {
            DC = Canvas->GetHandle(); // selects the canvas font
        } catch (const Exception&) {
            Result = false; // no context to measure with now
            return;
        }
        if (Missing.Contains(lbFontDataAvailable) ||
            (Missing.Contains(lbTabDataAvailable) && !State.Contains(lbFontDataAvailable)))
            Result = UpdateFontInfo(DC, Canvas->GetFont());
        if (Result && Missing.Contains(lbTabDataAvailable))
            Result = UpdateTabs(DC);
    });
    return Result;
}

bool TLinesBuffer::UpdateFontInfo(HDC DC, TFont* Font) {
    if (Font == nullptr || DC == nullptr)
        return false;
    std::int64_t Average = 0;
    if (!MeasureWidths(DC, DisplayWidths, Average))
        return false;
    TTextMetric Metrics;
    DC->GetTextMetrics(Metrics);
    DisplayAveCharWidth = std::max<std::int64_t>(1, Average);
    CharHeight = Metrics.tmHeight;
    MaxCharWidth = Metrics.tmMaxCharWidth;

    bool Printing = false;
    if (Mode == lbPrinter || OutputDevice == odPrinter) {
        TPrinterFontScope Printer(Font);
        if (Printer.Get() != nullptr && MeasureWidths(Printer.Get(), PrinterWidths, Average)) {
            PrinterAveCharWidth = std::max<std::int64_t>(1, Average);
            Printing = true;
        }
    }
    ActualWidths = Printing ? PrinterWidths : DisplayWidths;
    ActualAveCharWidth = Printing ? PrinterAveCharWidth : DisplayAveCharWidth;
    DisplayUniform = UniformWidthOf(DisplayWidths.data());
    ActualUniform = UniformWidthOf(ActualWidths.data());
    State.Include(lbFontDataAvailable);
    ++LayoutGeneration;
    return true;
}

bool TLinesBuffer::UpdateTabs(HDC DC) {
    if (DC == nullptr)
        return false;
    const int DpiX = DC->GetDeviceCaps(LOGPIXELSX);
    for (std::int64_t I = 0; I < TabCount; ++I)
        DisplayTabPositions[static_cast<std::size_t>(I)] =
            std::llround(static_cast<double>(DpiX) * TabStops[static_cast<std::size_t>(I)]);
    DisplayDefaultTab = DefaultTabOf(DC);

    // Tabs follow the widths: printer tabs wherever printer widths lay the text out, so that
    // widths and tab positions are in the same pixels.
    bool Printing = false;
    if (Mode == lbPrinter || OutputDevice == odPrinter) {
        TPrinterFontScope Printer(Canvas != nullptr ? Canvas->GetFont() : nullptr);
        if (HDC P = Printer.Get()) {
            const int PDpiX = P->GetDeviceCaps(LOGPIXELSX);
            for (std::int64_t I = 0; I < TabCount; ++I)
                PrinterTabPositions[static_cast<std::size_t>(I)] = std::llround(
                    static_cast<double>(PDpiX) * TabStops[static_cast<std::size_t>(I)]);
            PrinterDefaultTab = DefaultTabOf(P);
            Printing = true;
        }
    }
    ActualTabPositions = Printing ? PrinterTabPositions : DisplayTabPositions;
    ActualDefaultTab = Printing ? PrinterDefaultTab : DisplayDefaultTab;
    State.Include(lbTabDataAvailable);
    ++LayoutGeneration;
    return true;
}

void TLinesBuffer::EstablishState(TLinesBufferStates Flags) {
    if (!RequiredState(Flags))
        throw EFontInfoError(FontInfoMessage);
}

void TLinesBuffer::SetTabCount(std::int64_t Value) {
    TabCount = std::clamp<std::int64_t>(Value, 0, MaxTabStops);
    State.Exclude(lbTabDataAvailable);
}

void TLinesBuffer::SetTabStop(std::int64_t Index, float Value) {
    if (Index < 0 || Index >= MaxTabStops)
        throw ERangeError(TabRangeMessage);
    TabStops[static_cast<std::size_t>(Index)] = Value;
    State.Exclude(lbTabDataAvailable);
}

float TLinesBuffer::GetTabStop(std::int64_t Index) const {
    if (Index < 0 || Index >= TabCount)
        throw ERangeError(TabRangeMessage);
    return TabStops[static_cast<std::size_t>(Index)];
}

std::int64_t TLinesBuffer::WidthOf(std::uint8_t Ch) {
    if (!RequiredState({lbCanvasAvailable, lbFontDataAvailable}))
        return 1;
    return std::max<std::int64_t>(1, DisplayWidths[Ch]);
}

std::int64_t TLinesBuffer::GetDisplayCharWidth() {
    if (!RequiredState({lbCanvasAvailable, lbFontDataAvailable}))
        throw EInternalError("Average Char Width not available");
    return DisplayAveCharWidth;
}

std::int64_t TLinesBuffer::GetPrinterCharWidth() {
    if (!RequiredState({lbCanvasAvailable, lbFontDataAvailable}))
        throw EInternalError("The Printer's Average Char Width is not available");
    return PrinterAveCharWidth;
}

std::int64_t TLinesBuffer::GetActualCharWidth() {
    if (!RequiredState({lbCanvasAvailable, lbFontDataAvailable}))
        throw EInternalError("Actual Char Width not available");
    return ActualAveCharWidth;
}

// ---- scanning across windows

std::int64_t TLinesBuffer::ScanRange(std::int64_t Pos, std::int64_t Limit,
                                     const std::uint8_t*& Buffer) {
    if (Pos >= TextSize || Limit <= 0)
        return 0;
    Buffer = GetText(Pos);
    std::int64_t N = std::min<std::int64_t>({ValidEnd - Buffer + 1, Limit, 0xFFFF});
    assert(N > 0 && "the window holds the byte asked for");
    // A CR at the end of the range whose LF may follow in the next one: scan it with its LF.
    if (Buffer[N - 1] == CR && Pos + N < TextSize) {
        if (N > 1)
            return N - 1;
        // The window ends with this CR: scan it from a copy, with the LF when one follows.
        CrLfPair[0] = CR;
        CrLfPair[1] = ByteAt(Pos + 1); // moves the window
        Buffer = CrLfPair;
        return Limit >= 2 && CrLfPair[1] == LF ? 2 : 1;
    }
    return N;
}

bool TLinesBuffer::GetNextLine(std::int64_t& Pos, std::int64_t& Width, std::int64_t& Count) {
    Count = 0;
    Width = 0;
    if (Pos < 0)
        Pos = 0;
    if (Pos >= TextSize)
        return false;
    DemandState(AllStates);
    if (const TLineProgress* L = KeptLine(Pos)) {
        Pos = L->Pos;
        Width = L->Width;
        Count = L->Count;
        return L->Ended;
    }
    if (ActualUniform > 0 && DisplayAveCharWidth == ActualAveCharWidth) {
        // Most lines end in the window that holds their start: the fast route, when it can.
        const std::uint8_t* Buffer = GetText(Pos);
        const std::int64_t N = std::min(ValidEnd - Buffer + 1, TextSize - Pos);
        const std::int64_t Taken =
            ScanUniformLine(Buffer, N, MaxWidth, ActualMetrics(), Width, Count);
        if (Taken > 0) {
            Pos += Taken;
            return true;
        }
    }
    return ScanLineAcrossWindows(Pos, Width, Count);
}

const TLinesBuffer::TLineProgress* TLinesBuffer::KeptLongLine(std::int64_t Pos) const {
    if (!LongLines)
        return nullptr;
    for (const bool Second : {false, true}) {
        const TLineProgress& L = (*LongLines)[LongLineSlot(Pos, Second)];
        if (L.Start == Pos && L.Layout == LayoutGeneration)
            return &L;
    }
    return nullptr;
}

void TLinesBuffer::KeepLongLine(TLineProgress& P) {
    if (!LongLines)
        LongLines = std::make_unique<TKeptLongLines>();
    TLineProgress& A = (*LongLines)[LongLineSlot(P.Start, false)];
    TLineProgress& B = (*LongLines)[LongLineSlot(P.Start, true)];
    const auto Free = [&](const TLineProgress& L) {
        return L.Start == P.Start || L.Start < 0 || L.Layout != LayoutGeneration;
    };
    TLineProgress& To = Free(A) ? A : Free(B) ? B : A.Kept < B.Kept ? A : B;
    // The marks move (the kept line is found before P from now on), not copied.
    std::vector<TLineMark> Marks = std::move(P.Marks);
    P.Marks.clear();
    To = P;
    To.Marks = std::move(Marks);
    To.Layout = LayoutGeneration;
    To.Kept = ++LongLinesKept;
}

const TLinesBuffer::TLineProgress* TLinesBuffer::KeptLine(std::int64_t Pos) const {
    if (const TLineProgress* L = KeptLongLine(Pos))
        return L;
    if (Measuring.Start == Pos && Measuring.Layout == LayoutGeneration && Measuring.Done)
        return &Measuring;
    return nullptr;
}

bool TLinesBuffer::MayWrapWithin(std::int64_t Bytes) {
    if (MaxWidth == 0 || MaxWidth == NoWrapWidth)
        return false;
    DemandState(AllStates);
    const std::int64_t Advance = MaxAdvance(ActualMetrics());
    return Advance <= 0 || MaxWidth < 0 || Bytes > MaxWidth / Advance;
}

std::int64_t TLinesBuffer::LengthAround(std::int64_t From, std::int64_t To, std::int64_t Reach) {
    From = std::clamp<std::int64_t>(From, 0, TextSize);
    To = std::clamp<std::int64_t>(To, From, TextSize);
    std::int64_t Start = From;
    const std::int64_t Low = std::max<std::int64_t>(0, From - Reach);
    while (Start > Low) {
        const std::uint8_t* P = GetText(Start - 1) + 1; // the window's bytes before Start
        const std::uint8_t* Begin = std::max<const std::uint8_t*>(ValidStart, P - (Start - Low));
        if (const std::uint8_t* Q = bytescan::FindEitherBack(Begin, P, LF, FF)) {
            Start -= P - (Q + 1);
            break;
        }
        Start -= P - Begin;
    }
    std::int64_t End = To;
    const std::int64_t High = std::min(TextSize, To + Reach);
    while (End < High) {
        const std::uint8_t* P = GetText(End);
        const auto N = static_cast<std::size_t>(std::min(ValidEnd + 1 - P, High - End));
        const auto* Feed = static_cast<const std::uint8_t*>(std::memchr(P, LF, N));
        const auto* Form = static_cast<const std::uint8_t*>(std::memchr(P, FF, N));
        const std::uint8_t* Q = Feed == nullptr   ? Form
                                : Form == nullptr ? Feed
                                                  : std::min(Feed, Form);
        if (Q != nullptr) {
            End += Q + 1 - P;
            break;
        }
        End += static_cast<std::int64_t>(N);
    }
    return std::max<std::int64_t>(1, End - Start);
}

bool TLinesBuffer::MeasureLine(std::int64_t Pos, std::int64_t& Budget) {
    if (Pos < 0 || Pos >= TextSize)
        return true;
    DemandState(AllStates);
    if (KeptLine(Pos) != nullptr)
        return true;
    // A line break soon after Pos ends the line there or before: GetNextLine's fast route
    // takes it at no cost worth sparing.
    const std::uint8_t* Buffer = GetText(Pos);
    const std::int64_t N = std::min({ValidEnd - Buffer + 1, TextSize - Pos, Budget, ShortLine});
    if (N > 0 && std::memchr(Buffer, LF, static_cast<std::size_t>(N)) != nullptr)
        return true;
    if (Measuring.Start != Pos || Measuring.Layout != LayoutGeneration)
        Measuring = TLineProgress{.Start = Pos, .Pos = Pos, .Layout = LayoutGeneration};
    const std::int64_t From = Measuring.Pos;
    ContinueLineScan(Measuring, Budget);
    Budget -= std::max<std::int64_t>(0, Measuring.Pos - From);
    if (!Measuring.Done)
        return false;
    std::int64_t Next = Pos, Width = 0, Count = 0;
    TakeMeasuredLine(Measuring, Next, Width, Count);
    return true;
}

void TLinesBuffer::ContinueLineScan(TLineProgress& P, std::int64_t Budget) {
    const TScanMetrics M = ActualMetrics();
    const std::int64_t From = P.Pos;
    for (;;) {
        const std::uint8_t* Buffer = nullptr;
        const std::int64_t Size = ScanRange(P.Pos, TextSize - P.Pos, Buffer);
        if (Size == 0) { // the text's unterminated last line
            P.Done = true;
            P.Ended = false;
            return;
        }
        if (P.Pos > P.Start && Buffer[0] == FF) { // the form-feed line follows this one
            P.Done = true;
            P.Ended = true;
            return;
        }
        if (P.Pos > P.Start)
            NoteLineMark(P);
        std::uint16_t Index = 0, Chars = 0, BreakCount = 0;
        std::int64_t BreakWidth = 0;
        bool Overflow = false;
        if (!ScanForEol(Buffer, Index, static_cast<std::uint16_t>(Size - 1), MaxWidth, true, Chars,
                        P.Width, M, BreakWidth, BreakCount, Overflow)) {
            P.Count += Chars;
            if (BreakCount > 0) {
                P.BreakPos = P.Pos + BreakCount;
                P.BreakWidth = BreakWidth;
            }
            P.Pos += Size;
            if (P.Pos - From >= Budget)
                return;
            continue;
        }
        P.Done = true;
        P.Ended = true;
        if (Overflow && P.Count > 0 && P.BreakPos >= 0) {
            // The word began in an earlier window: break after that window's last space.
            P.Count = P.BreakPos - P.Start;
            P.Width = P.BreakWidth;
            P.Pos = P.BreakPos;
        } else if (Overflow && P.Count == 0 && Chars == 0) {
            // Not even the first character fits: the line takes it anyway, so that every line
            // moves on.
            P.Count = 1;
            P.Width = Buffer[0] == TAB ? FirstTabAdvance(M) : M.CharWidths[Buffer[0]];
            P.Pos += 1;
            // A line break right after it ends this line, as it would a line that fits.
            if (P.Pos < TextSize && ByteAt(P.Pos) == LF)
                P.Pos += 1;
            else if (P.Pos + 1 < TextSize && ByteAt(P.Pos) == CR && ByteAt(P.Pos + 1) == LF)
                P.Pos += 2;
            else if (P.Pos >= TextSize)
                P.Ended = false; // the text's unterminated last line
        } else {
            P.Count += Chars;
            P.Pos += Index;
        }
        return;
    }
}

void TLinesBuffer::NoteLineMark(TLineProgress& P) const {
    // Only where a scan from the mark gives what one from the start does: no width to keep to
    // (no break opportunity to carry) and widths in display pixels, as the scans from marks are.
    if ((MaxWidth != 0 && MaxWidth != NoWrapWidth) || DisplayAveCharWidth != ActualAveCharWidth)
        return;
    if (P.MarkEvery == 0)
        P.MarkEvery = MarkSpacing;
    if (P.Pos - (P.Marks.empty() ? P.Start : P.Marks.back().Pos) < P.MarkEvery)
        return;
    if (P.Marks.size() >= MaxMarks) { // every other one goes, twice as far apart from now on
        for (std::size_t I = 1; 2 * I < P.Marks.size(); ++I)
            P.Marks[I] = P.Marks[2 * I];
        P.Marks.resize((P.Marks.size() + 1) / 2);
        P.MarkEvery *= 2;
    }
    P.Marks.push_back({P.Pos, P.Width});
}

const TLinesBuffer::TLineMark* TLinesBuffer::LineMarkBefore(std::int64_t Start, std::int64_t Limit,
                                                            bool ByWidth) const {
    const TLineProgress* L = KeptLine(Start);
    if (L == nullptr || L->Marks.empty())
        return nullptr;
    const auto It =
        ByWidth ? std::lower_bound(L->Marks.begin(), L->Marks.end(), Limit,
                                   [](const TLineMark& M, std::int64_t W) { return M.Width < W; })
                : std::upper_bound(L->Marks.begin(), L->Marks.end(), Limit,
                                   [](std::int64_t P, const TLineMark& M) { return P < M.Pos; });
    return It == L->Marks.begin() ? nullptr : &*(It - 1);
}

bool TLinesBuffer::TakeMeasuredLine(TLineProgress& P, std::int64_t& Pos, std::int64_t& Width,
                                    std::int64_t& Count) {
    if (DisplayAveCharWidth != ActualAveCharWidth)
        P.Width = GetDistanceBetween(P.Start, P.Start + P.Count); // report display pixels
    if (P.Pos - P.Start >= LongLineBytes)
        KeepLongLine(P);
    Pos = P.Pos;
    Width = P.Width;
    Count = P.Count;
    return P.Ended;
}

template <typename F>
bool TLinesBuffer::ScanWindows(std::int64_t Pos, std::int64_t End, std::int64_t MaxWidth,
                               bool WordWrap, const TScanMetrics& M, F&& Visit, std::int64_t From) {
    TWindowScan S;
    S.Width = From;
    for (bool First = true;; First = false) {
        S.Size = ScanRange(Pos, End - Pos, S.Buffer);
        if (S.Size == 0)
            return false;
        if (!First && S.Buffer[0] == FF) // the form-feed line follows this one
            return true;
        S.Index = S.Chars = S.BreakCount = 0;
        S.BreakWidth = 0;
        S.Ended = ScanForEol(S.Buffer, S.Index, static_cast<std::uint16_t>(S.Size - 1), MaxWidth,
                             WordWrap, S.Chars, S.Width, M, S.BreakWidth, S.BreakCount, S.Overflow);
        Visit(std::as_const(S));
        if (S.Ended)
            return false;
        Pos += S.Size;
    }
}

bool TLinesBuffer::ScanLineAcrossWindows(std::int64_t& Pos, std::int64_t& Width,
                                         std::int64_t& Count) {
    // A line MeasureLine has begun goes on from where it stopped.
    if (Measuring.Start == Pos && Measuring.Layout == LayoutGeneration && !Measuring.Done) {
        ContinueLineScan(Measuring, INT64_MAX);
        return TakeMeasuredLine(Measuring, Pos, Width, Count);
    }
    TLineProgress P{.Start = Pos, .Pos = Pos, .Layout = LayoutGeneration};
    ContinueLineScan(P, INT64_MAX);
    return TakeMeasuredLine(P, Pos, Width, Count);
}

std::int64_t TLinesBuffer::CountLines(std::int64_t& Pos, std::int64_t MaxLines, std::int64_t End) {
    if (Pos < 0)
        Pos = 0;
    std::int64_t Lines = 0;
    End = std::min(End, TextSize);
    if (Pos >= End || MaxLines <= 0)
        return 0;
    DemandState(AllStates);
    const TScanMetrics M = ActualMetrics();
    // A range no longer than this never wraps: its lines end only at line feeds and form feeds.
    const std::int64_t Advance = MaxAdvance(M);
    const std::int64_t Unwrapped = MaxWidth == 0                 ? NoWrapWidth
                                   : MaxWidth > 0 && Advance > 0 ? MaxWidth / Advance
                                                                 : 0;
    while (Lines < MaxLines && Pos < End) {
        // The lines that end in the window holding Pos, by the fast routes.
        const std::uint8_t* Buffer = GetText(Pos);
        const std::int64_t N = std::min(ValidEnd - Buffer + 1, End - Pos);
        std::int64_t Taken = 0, Counted = 0;
        if (N <= Unwrapped)
            Counted = CountLineFeeds(Buffer, N, MaxLines - Lines, Taken);
        else if (M.UniformWidth > 0)
            Counted = CountUniformLines(Buffer, N, MaxWidth, M, MaxLines - Lines, Taken);
        Lines += Counted;
        Pos += Taken;
        if (Counted > 0)
            continue;
        // A line the fast routes leave (one crossing windows, a form feed, spaces past the
        // width): the general scan.
        std::int64_t Width = 0, Count = 0, Next = Pos;
        const bool Ended = GetNextLine(Next, Width, Count);
        if (Next > End)
            break; // it ends beyond End
        Pos = Next;
        if (Ended || Count > 0)
            ++Lines;
        if (!Ended)
            break;
    }
    return Lines;
}

std::int64_t TLinesBuffer::CountPlainLines(std::int64_t& Pos, std::int64_t End,
                                           std::int64_t MaxLines, std::int64_t Known,
                                           std::int64_t& Widest) {
    End = std::min(End, TextSize);
    if (Pos < 0 || Pos >= End || MaxLines <= 0)
        return 0;
    DemandState(AllStates);
    // The condition of GetNextLine's fast route, whose widths are those of the actual set.
    if (ActualUniform <= 0 || DisplayAveCharWidth != ActualAveCharWidth)
        return 0;
    const TScanMetrics M = ActualMetrics();
    const std::int64_t Advance = MaxAdvance(M);
    const std::int64_t Unwrapped = MaxWidth == 0                 ? NoWrapWidth
                                   : MaxWidth > 0 && Advance > 0 ? MaxWidth / Advance
                                                                 : 0;
    const bool Wrapping = MaxWidth != 0 && MaxWidth != NoWrapWidth;
    std::int64_t Lines = 0;
    while (Lines < MaxLines && Pos < End) {
        const std::uint8_t* Buffer = GetText(Pos);
        const std::int64_t N = std::min(ValidEnd - Buffer + 1, End - Pos);
        std::int64_t Taken = 0, Counted = 0;
        if (N <= Unwrapped) {
            Counted = CountLineFeedsWide(Buffer, N, M, MaxLines - Lines, Known, Taken, Widest);
        } else if (!Wrapping || Known >= MaxWidth) {
            TCountExtras Extras{true, 0};
            Counted = CountUniformLines(Buffer, N, MaxWidth, M, MaxLines - Lines, Taken, &Extras);
            Widest = std::max(Widest, Extras.Wide);
        }
        Lines += Counted;
        Pos += Taken;
        if (Counted == 0 || Pos >= TextSize)
            break;
    }
    return Lines;
}

std::int64_t TLinesBuffer::ScanPlainLines(std::int64_t Pos, std::int64_t MaxLines, TLineSpan* Lines,
                                          std::int64_t Known) {
    if (Pos < 0 || Pos >= TextSize || MaxLines <= 0)
        return 0;
    DemandState(AllStates);
    // The condition of GetNextLine's fast route, whose widths are those of the actual set.
    if (ActualUniform <= 0 || DisplayAveCharWidth != ActualAveCharWidth)
        return 0;
    const std::uint8_t* Buffer = GetText(Pos);
    const std::int64_t N = std::min(ValidEnd - Buffer + 1, TextSize - Pos);
    const std::int64_t Stored =
        ScanUniformLines(Buffer, N, MaxWidth, ActualMetrics(), MaxLines, Known, Lines);
    for (std::int64_t I = 0; I < Stored; ++I)
        Lines[I].Next += Pos;
    return Stored;
}

bool TLinesBuffer::GetCharAt(std::int64_t& Pos, std::int64_t From, std::int64_t X,
                             std::int64_t& Width) {
    Width = From;
    if (X <= From)
        return true;
    if (Pos < 0 || Pos >= TextSize)
        return false;
    DemandState(AllStates);
    // Far along a long line: from its last mark that the width passes (before a line's end,
    // every byte is a character).
    if (From == 0)
        if (const TLineMark* M = LineMarkBefore(Pos, X, true)) {
            Pos = M->Pos;
            Width = From = M->Width;
        }
    std::int64_t Total = 0;
    ScanWindows(
        Pos, TextSize, X, false, DisplayMetrics(),
        [&](const TWindowScan& S) {
            Total += S.Chars;
            Width = S.Width;
        },
        From);
    Pos += Total;
    return true;
}

std::int64_t TLinesBuffer::GetDistanceBetween(std::int64_t From, std::int64_t To) {
    std::int64_t W = 0;
    To = std::min(To, TextSize);
    From = std::max<std::int64_t>(0, From);
    if (From >= To)
        return 0;
    DemandState(AllStates);
    // The whole of a kept line (the caret at the end of a long line): its width.
    // (Not the line being measured: its width may be in actual pixels still.)
    if (const TLineProgress* L = KeptLongLine(From); L != nullptr && To == From + L->Count)
        return L->Width;
    // Far along a long line: from its last mark before To.
    std::int64_t Start = From;
    if (const TLineMark* M = LineMarkBefore(From, To, false)) {
        Start = M->Pos;
        W = M->Width;
    }
    ScanWindows(
        Start, To, NoWrapWidth, false, DisplayMetrics(), [&](const TWindowScan& S) { W = S.Width; },
        W);
    return W;
}

void TLinesBuffer::GetStartOfParagraph(std::int64_t& Pos) {
    if (Pos <= 0)
        return;
    DemandState({lbCanvasAvailable, lbFontDataAvailable});
    Pos = SkipBackOverLineBreak(std::min(TextSize, Pos));
    // SkipBackOverLineBreak never moves 1: a paragraph starting there after a break at 0 has the
    // one at 0 before it.
    if (Pos == 1 && (ByteAt(0) == LF || ByteAt(0) == FF)) {
        Pos = 0;
        return;
    }
    while (Pos > 0) {
        const std::uint8_t* P = GetText(Pos);
        const std::int64_t Index = P - ValidStart;
        const std::int64_t Base = Pos - Index;
        if (const std::uint8_t* Found = bytescan::FindEitherBack(ValidStart, P, LF, FF)) {
            Pos = Base + (Found - ValidStart) + 1;
            break;
        }
        if (Base <= 0) {
            Pos = 0;
            break;
        }
        const std::uint8_t Before = ByteAt(Base - 1);
        if (Before == LF || Before == FF) {
            Pos = Base;
            break;
        }
        Pos = Base - 1;
    }
    Pos = std::max<std::int64_t>(0, Pos);
}

std::string TLinesBuffer::GetString(std::int64_t Pos, std::int64_t Count) {
    if (Pos < 0 || Pos >= TextSize || Count <= 0)
        return {};
    std::string Result(static_cast<std::size_t>(std::min(Count, TextSize - Pos)), '\0');
    Result.resize(static_cast<std::size_t>(
        CopyText(Result.data(), Pos, static_cast<std::int64_t>(Result.size()))));
    return Result;
}

bool TLinesBuffer::AtPageBreak(std::int64_t Pos) {
    return Pos >= 0 && Pos < TextSize && ByteAt(Pos) == FF;
}

// ---- output

void TLinesBuffer::DrawRuns(HDC DC, std::int64_t X, std::int64_t Y, std::int64_t Pos,
                            std::int64_t Count, bool Tabbed,
                            const std::array<std::int64_t, MaxTabStops>& Tabs,
                            std::int64_t TabOrigin) {
    int TabPixels[MaxTabStops];
    for (std::size_t I = 0; I < MaxTabStops; ++I)
        TabPixels[I] = ClampToInt(Tabs[I]);
    const int Stops = static_cast<int>(TabCount);
    TRect Clip;
    if (!DC->GetClipBox(Clip))
        Clip = Rect(ClampToInt(-CoordinateLimit), 0, ClampToInt(CoordinateLimit), 0);
    Count = std::min(Count, TextSize - Pos);
    const std::int64_t FarLeft = -CoordinateLimit;
    while (Count > 0 && X < Clip.Right) {
        const std::uint8_t* P = GetText(Pos);
        const std::int64_t N = std::min<std::int64_t>({Count, ValidEnd - P + 1, 0xFFFF});
        const auto* Text = reinterpret_cast<const char*>(P);
        const int Len = static_cast<int>(N);
        std::int64_t Advance;
        if (Tabbed) {
            // Tab stops count from the line's origin in every run. A run too far left for the
            // platform's coordinates is measured, not drawn.
            if (X >= FarLeft)
                Advance = DC->TabbedTextOut(static_cast<int>(X), ClampToInt(Y), Text, Len, Stops,
                                            Stops > 0 ? TabPixels : nullptr, ClampToInt(TabOrigin))
                              .cx;
            else
                Advance = GetDistanceBetween(Pos, Pos + N);
        } else {
            TSize Size;
            DC->GetTextExtentPoint32(Text, Len, Size);
            Advance = Size.cx;
            if (X + Advance > Clip.Left)
                DC->TextOut(ClampToInt(X), ClampToInt(Y), Text, Len);
        }
        X += Advance;
        Pos += N;
        Count -= N;
    }
}

void TLinesBuffer::TextOut(std::int64_t X, std::int64_t Y, std::int64_t Pos, std::int64_t Count) {
    DemandState(AllStates);
    TCanvas* Target = OutputDevice == odPrinter ? Printer()->GetCanvas() : Canvas;
    ReleasingCanvas(Canvas, [&] {
        DrawRuns(Target->GetHandle(), X, Y, Pos, Count, false, DisplayTabPositions, 0);
    });
}

void TLinesBuffer::TabbedTextOut(std::int64_t X, std::int64_t Y, std::int64_t Pos,
                                 std::int64_t Count, std::int64_t TabOrigin) {
    DemandState(AllStates);
    const bool ToPrinter = OutputDevice == odPrinter;
    TCanvas* Target = ToPrinter ? Printer()->GetCanvas() : Canvas;
    ReleasingCanvas(Canvas, [&] {
        DrawRuns(Target->GetHandle(), X, Y, Pos, Count, true,
                 ToPrinter ? PrinterTabPositions : DisplayTabPositions, TabOrigin);
    });
}

void TLinesBuffer::NoFlickerTabbedTextOut(std::int64_t X, std::int64_t Y, std::int64_t Pos,
                                          std::int64_t Count, std::int64_t TabOrigin) {
    if (Count > NoFlickerLimit) {
        TabbedTextOut(X, Y, Pos, Count, TabOrigin);
        return;
    }
    DemandState(AllStates);
    ReleasingCanvas(Canvas, [&] {
        const std::int64_t W = GetDistanceBetween(Pos, Pos + Count);
        HDC DC = Canvas->GetHandle();
        TRect Clip;
        if (W <= 0 || CharHeight <= 0 || !DC->GetClipBox(Clip) || X >= Clip.Right ||
            X + W <= Clip.Left)
            return; // nothing to show
        const int Width = static_cast<int>(W), Height = ClampToInt(CharHeight);
        auto Mem = CreateCompatibleDC(DC);
        auto Bitmap = CreateCompatibleBitmap(DC, Width, Height);
        HBITMAP Old = Mem->SelectBitmap(Bitmap.get());
        const TScopeExit Restore([&] { Mem->SelectBitmap(Old); });
        TFont* Font = Canvas->GetFont();
        Mem->SelectFont(Font->GetDesc());
        Mem->SetTextColor(ColorToRGB(Font->GetColor()));
        const TColor Back = DC->GetBkColor();
        Mem->SetBkColor(Back);
        Mem->FillRect(Rect(0, 0, Width, Height), TBrushDesc{bsSolid, Back});
        DrawRuns(Mem.get(), 0, 0, Pos, Count, true, DisplayTabPositions, TabOrigin - X);
        DC->BitBlt(ClampToInt(X), ClampToInt(Y), Width, Height, Mem.get(), 0, 0, SRCCOPY);
    });
}

// ---- changes

void TLinesBuffer::DoOnChange() {
    ++LayoutGeneration;
    TTextBuffer::DoOnChange();
}

// ---- search status

bool TLinesBuffer::DoSearchStatus(std::int64_t Done) {
    bool Cancelled = false;
    if (OnSearchStatus)
        OnSearchStatus(Done, Cancelled);
    return Cancelled;
}

} // namespace kestrel
