// TTextViewer: the selection as text and on the clipboard (plain and column blocks), saving as
// stored or with line breaks, loading, search from the caret, words, bookmarks, paragraph
// selection with the mouse and the window text messages.
#include "fileview/text_viewer.h"

#include "fileview/viewer_scopes.h"
#include "host/clipboard.h"
#include "host/safe_save.h"
#include "host/scope_guard.h"
#include "textbuff/text_stream.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace kestrel {

namespace {

// A match farther than this from the map line is reached by an estimated jump.
constexpr std::int64_t FarMatch = 4096;
// Lines written between two progress reports of a line-break save.
constexpr std::int64_t SaveReportLines = 100;

bool IsWordChar(std::uint8_t C) {
    return WordChars.Contains(C);
}

} // namespace

// ---- Selection ---------------------------------------------------------------------------

void TTextViewer::SetSelection(const TLongPoint& Start, const TLongPoint& End, TSelModes Mode) {
    // The ends' offsets and pages change together, once both are found: until then the old ends
    // stay anchors the map may walk from, each with its own page.
    std::int64_t S = SelStartOffset;
    std::int64_t SPage = SelStartPage;
    std::int64_t E = SelEndOffset;
    std::int64_t EPage = SelEndPage;
    const bool Column = Mode == smColumn;
    if (!Column) {
        ColumnLeft = 0;
        ColumnRight = 0;
    }
    // Entering column mode measures both edges even where the ends stay put: the edges of the
    // previous (stream) selection were zero.
    const bool Measure = Column && SelMode != smColumn;
    if (!(Start == SelStart) || Measure) {
        if (SelMode != smColumn && Start == ZeroPoint) {
            S = 0;
            SPage = 1;
            if (Column)
                ColumnLeft = 0;
        } else {
            S = TextOffset(Start);
            SPage = MapPage;
            if (Column)
                ColumnLeft = Buffer->GetDistanceBetween(LineStart, S);
        }
    }
    if (!(End == SelEnd) || Measure) {
        if (SelMode != smColumn && End == ZeroPoint) {
            E = 0;
            EPage = 1;
            if (Column)
                ColumnRight = 0;
        } else {
            E = TextOffset(End);
            EPage = MapPage;
            if (Column)
                ColumnRight = Buffer->GetDistanceBetween(LineStart, E);
        }
    }
    SelStartOffset = S;
    SelStartPage = SPage;
    SelEndOffset = E;
    SelEndPage = EPage;
    TLinesViewer::SetSelection(Start, End, Mode);
}

void TTextViewer::CountUpTo(std::int64_t Line) {
    while (!CountComplete && ScanLine < Line && CountStep()) {
    }
}

void TTextViewer::ColumnSpan(std::int64_t& A, std::int64_t& B) {
    A = LineStart;
    B = LineStart;
    std::int64_t W = 0;
    Buffer->GetCharAt(A, ColumnLeft, W);
    Buffer->GetCharAt(B, ColumnRight, W);
    if (A > B)
        std::swap(A, B);
    const std::int64_t Limit = LineStart + MapLineLength;
    A = std::clamp(A, LineStart, Limit);
    B = std::clamp(B, LineStart, Limit);
}

std::int64_t TTextViewer::ForEachColumnRow(
    const std::function<void(std::int64_t Pos, std::int64_t Count)>& Row) {
    std::int64_t Total = 0;
    const std::int64_t Rows = SelEnd.Y - SelStart.Y + 1;
    if (Rows <= 0)
        return 0;
    LocateLine(SelStart.Y, false);
    for (std::int64_t R = 0; R < Rows; ++R) {
        std::int64_t A = 0;
        std::int64_t B = 0;
        ColumnSpan(A, B);
        if (Row)
            Row(A, B - A);
        Total += B - A + 2;
        if (R + 1 < Rows && !GotoNextLine())
            break; // the block ends with the text
    }
    return Total;
}

std::int64_t TTextViewer::GetSelectionSize() {
    if (SelMode == smColumn) {
        // The rows' line numbers are exact once the count has passed the last one.
        CountUpTo(SelEnd.Y);
        return ForEachColumnRow(nullptr);
    }
    return std::max<std::int64_t>(0, SelEndOffset - SelStartOffset);
}

std::string TTextViewer::GetSelection() {
    switch (SelMode) {
    case smNone:
        return {};
    case smColumn: {
        CountUpTo(SelEnd.Y);
        std::string Result;
        ForEachColumnRow([&](std::int64_t Pos, std::int64_t Count) {
            Result += Buffer->GetString(Pos, Count);
            Result.append(CrLf, 2);
        });
        return Result;
    }
    default:
        return Buffer->GetString(SelStartOffset, GetSelectionSize());
    }
}

std::string TTextViewer::GetString(std::int64_t Line, std::int64_t CharIndex, std::int64_t Count) {
    LocateLine(Line, false);
    return Buffer->GetString(LineStart + std::clamp<std::int64_t>(CharIndex, 0, MapLineLength),
                             Count);
}

void TTextViewer::CopySelection(HGLOBAL Mem) {
    Buffer->CopyToMem(Mem, SelStartOffset, GetSelectionSize());
}

std::int64_t TTextViewer::CopyColumnText(HGLOBAL Mem) {
    if (SelMode != smColumn)
        throw EInternalError("Not in Column Selection Mode");
    const TGlobalLockGuard Lock(Mem);
    auto* Out = static_cast<std::uint8_t*>(Lock.Get());
    if (Out == nullptr)
        return 0;
    // Never past the block, whatever size it was given.
    const std::int64_t Capacity = GlobalSize(Mem);
    std::int64_t Written = 0;
    ForEachColumnRow([&](std::int64_t Pos, std::int64_t Count) {
        const std::int64_t N = std::min(Count, Capacity - Written);
        if (N > 0)
            Written += Buffer->CopyText(Out + Written, Pos, N);
        const std::int64_t M = std::min<std::int64_t>(2, Capacity - Written);
        if (M > 0) {
            std::memcpy(Out + Written, CrLf, static_cast<std::size_t>(M));
            Written += M;
        }
    });
    return Written;
}

void TTextViewer::CopyToClipBoard() {
    TClipboard* C = Clipboard();
    C->Open();
    const TScopeExit Close([C] { C->Close(); });
    const std::int64_t Size = GetSelectionSize() + 1; // a zero byte ends the text
    TGlobalHandleGuard Text(GlobalAlloc(GHND, Size));
    if (Text.Get() == nullptr)
        throw EOutOfMemory("Out of memory");
    const TBusyModeScope Busy(*this, Size);
    if (SelMode == smColumn) {
        CopyColumnText(Text.Get());
        TGlobalHandleGuard Column(GlobalAlloc(GHND, Size));
        if (Column.Get() == nullptr)
            throw EOutOfMemory("Out of memory");
        CopyColumnText(Column.Get());
        C->SetAsHandle(ColumnClipFormat, Column.Get());
        Column.Release();
    } else {
        CopySelection(Text.Get());
    }
    C->SetAsHandle(CF_TEXT, Text.Get());
    Text.Release();
}

// ---- Saving and loading ------------------------------------------------------------------

void TTextViewer::CopyToStream(TStream* Stream) {
    Buffer->CopyToStream(Stream, 0, Buffer->GetTextSize());
}

void TTextViewer::SaveFileSafely(const std::string& FileName,
                                 const std::function<void(TStream*)>& Write) {
    kestrel::SaveFileSafely(FileName, Write);
}

bool TTextViewer::WriteLineBreakText(TStream* Stream) {
    const std::int64_t Size = Buffer->GetTextSize();
    // The cached offsets as they will be in the written file; applied only once every line is
    // written, so that an aborted or failed save leaves the viewer on its own text.
    struct TRemap {
        std::int64_t* Field;
        std::int64_t Value;
        bool Moved;
    };
    std::array<TRemap, 6> Remaps{{{&PrevLineStart, 0, false},
                                  {&LineStart, 0, false},
                                  {&NextLineStart.Ref(), 0, false},
                                  {&ScanOffset, 0, false},
                                  {&CaretLineStart, 0, false},
                                  {&TopLineStart, 0, false}}};
    std::int64_t NewStart = SelStartOffset;
    std::int64_t NewEnd = SelEndOffset;
    std::int64_t Out = 0; // bytes written so far: the offset the next line gets in the file
    std::int64_t P = 0;
    std::int64_t K = 0;
    for (;;) {
        const std::int64_t Q = P;
        std::int64_t W = 0;
        std::int64_t Len = 0;
        Buffer->GetNextLine(P, W, Len);
        if (RemapOnSave) {
            for (TRemap& R : Remaps)
                if (!R.Moved && *R.Field == Q) {
                    R.Value = Out;
                    R.Moved = true;
                }
            if (Q <= SelStartOffset && SelStartOffset <= Q + Len)
                NewStart = Out + (SelStartOffset - Q);
            if (Q <= SelEndOffset && SelEndOffset <= Q + Len)
                NewEnd = Out + (SelEndOffset - Q);
        }
        const bool Last = Q + Len >= Size;
        if (Q < Size && ByteAt(Q) == FF) {
            const std::uint8_t B = FF;
            Stream->WriteBuffer(&B, 1);
            Out += 1;
        } else {
            Buffer->CopyToStream(Stream, Q, Len);
            Out += Len;
            if (!Last) {
                Stream->WriteBuffer(CrLf, 2);
                Out += 2;
            }
        }
        if (Last || P <= Q)
            break;
        if (K == 0 && !ReportProgress(Q))
            return false;
        K = (K + 1) % SaveReportLines;
    }
    if (RemapOnSave) {
        MapLayout = CountLayout = NoLayout; // the offsets address the file written
        for (TRemap& R : Remaps) {
            if (R.Moved)
                *R.Field = R.Value;
            else if (*R.Field >= Size) // the end of the text is the end of the file
                *R.Field = Out;
        }
    }
    SelStartOffset = NewStart;
    SelEndOffset = NewEnd;
    return true;
}

void TTextViewer::SaveAs(const std::string& FileName) {
    TSaveMode Mode = SaveMode;
    if (OnSaveModePrompt)
        OnSaveModePrompt(this, Mode);
    if (Mode == smParagraph) {
        TLinesViewer::SaveAs(FileName);
        return;
    }
    // A line-break save (smPrompt left unanswered counts as one).
    const std::array<std::int64_t, 8> Saved{PrevLineStart,  LineStart,      NextLineStart,
                                            ScanOffset,     CaretLineStart, TopLineStart,
                                            SelStartOffset, SelEndOffset};
    const TBusyModeScope Busy(*this, Buffer->GetTextSize());
    const TScopeFail Restore([&] {
        PrevLineStart = Saved[0];
        LineStart = Saved[1];
        NextLineStart = Saved[2];
        ScanOffset = Saved[3];
        CaretLineStart = Saved[4];
        TopLineStart = Saved[5];
        SelStartOffset = Saved[6];
        SelEndOffset = Saved[7];
    });
    SaveFileSafely(FileName, [this](TStream* Stream) {
        if (!WriteLineBreakText(Stream))
            throw EAbort("Operation aborted");
    });
}

void TTextViewer::SaveSelection(const std::string& FileName) {
    if (SelMode == smNone)
        throw EUserError("no text selected");
    // Written straight from the text: a selection of any size costs no block of its size.
    const std::int64_t Size = GetSelectionSize();
    const TBusyModeScope Busy(*this, Size);
    SaveFileSafely(FileName, [&](TStream* Stream) {
        if (SelMode == smColumn) {
            ForEachColumnRow([&](std::int64_t Pos, std::int64_t Count) {
                Buffer->CopyToStream(Stream, Pos, Count);
                Stream->WriteBuffer(CrLf, 2);
            });
        } else {
            Buffer->CopyToStream(Stream, SelStartOffset, Size);
        }
    });
}

void TTextViewer::LoadFromStream(TStream* Stream) {
    auto* Text = dynamic_cast<TTextStream*>(Buffer.get());
    if (Text == nullptr)
        throw EInvalidCast("Invalid class typecast");
    Clear();
    auto Copy = std::make_unique<TMemoryStream>();
    Copy->CopyFrom(Stream, 0);
    Copy->SetPosition(0);
    Text->SetSourceStream(std::move(Copy));
    const bool Empty = Buffer->GetTextSize() == 0;
    CountComplete = Empty;
    SetState(vsEmpty, Empty);
    GotoStartOftext();
    Redraw();
}

// ---- Search ------------------------------------------------------------------------------

bool TTextViewer::Search(const std::string& Text, TFindOptions Options) {
    if (Text.empty())
        return false;
    std::int64_t O = 0;
    if (SelMode != smNone)
        O = Options.Contains(frDown) ? TextOffset(SelEnd)
                                     : std::max<std::int64_t>(0, TextOffset(SelStart) - 1);
    else
        O = TextOffset(LongPoint(CharNumber, LineNumber));
    if (!Buffer->Search(O, Text, Options))
        return false;

    const std::int64_t Size = Buffer->GetTextSize();
    if (std::abs(O - LineStart) > FarMatch && Size > 0) {
        // Far away: show it at once with a provisional number that the count corrects later.
        JumpTo(O, static_cast<std::int64_t>(static_cast<double>(LastLine) *
                                            (static_cast<double>(O) / static_cast<double>(Size))));
    }
    const std::int64_t End = O + static_cast<std::int64_t>(Text.size());
    SelAnchor = OffsetToPoint(O);
    SetSelection(SelAnchor, OffsetToPoint(End), smExtend);
    FocusAt(End, false);
    Redraw();
    return true;
}

std::string TTextViewer::GetInitialFindStr() {
    const TLongPoint S = FindWordStart(LongPoint(CharNumber, LineNumber));
    const TLongPoint E = FindWordEnd(S);
    const std::int64_t From = TextOffset(S);
    const std::int64_t N = std::min<std::int64_t>(TextOffset(E) - From, 255);
    if (N > 0)
        return Buffer->GetString(From, N);
    return FindStr.substr(0, 255);
}

void TTextViewer::HandleSearchStatus(std::int64_t Done, bool& Cancelled) {
    Cancelled = !ReportProgress(Done);
}

// ---- Words -------------------------------------------------------------------------------

TLongPoint TTextViewer::FindWordStart(const TLongPoint& P) {
    std::int64_t O = TextOffset(P);
    if (O >= Buffer->GetTextSize())
        O = Buffer->GetTextSize() - 1;
    while (O >= 0 && !IsWordChar(ByteAt(O)))
        --O;
    while (O >= 0 && IsWordChar(ByteAt(O)))
        --O;
    return OffsetToPoint(O + 1);
}

TLongPoint TTextViewer::FindWordEnd(const TLongPoint& P) {
    std::int64_t O = TextOffset(P);
    const std::int64_t Size = Buffer->GetTextSize();
    while (O < Size && IsWordChar(ByteAt(O)))
        ++O;
    return OffsetToPoint(O);
}

TLongPoint TTextViewer::FindNextWord(const TLongPoint& P) {
    std::int64_t O = TextOffset(FindWordEnd(P));
    const std::int64_t Size = Buffer->GetTextSize();
    while (O < Size && (ByteAt(O) == TAB || ByteAt(O) == SPACE))
        ++O;
    return OffsetToPoint(O);
}

// ---- Bookmarks ---------------------------------------------------------------------------

std::int64_t TTextViewer::AllocBookmark() {
    SyncLineMap();
    return Buffer->GetBookMarkHandle(LineStart + CharNumber);
}

void TTextViewer::DeleteBookmark(std::int64_t Index) {
    Buffer->DeleteBookMark(Index);
}

void TTextViewer::GotoBookMark(std::int64_t Index) {
    const std::int64_t O = Buffer->GetBookMark(Index);
    if (O >= 0)
        FocusAt(O, false);
    else if (BeepOn)
        MessageBeep(0);
    Redraw();
}

// ---- Mouse and window messages -----------------------------------------------------------

void TTextViewer::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (ClickState == mcQuad) {
        // The paragraph that holds the caret's character, also when the caret stands at its
        // very start (the paragraph search looks at the character before the offset).
        std::int64_t O = TextOffset(LongPoint(CharNumber, LineNumber));
        O = std::min(O + 1, Buffer->GetTextSize());
        Buffer->GetStartOfParagraph(O);
        const TLongPoint S = OffsetToPoint(O);
        while (LineStart + MapLineLength == NextLineStart)
            if (!GotoNextLine())
                break;
        const TLongPoint E = OffsetToPoint(NextLineStart);
        SetSelection(S, E, smExtend);
        Redraw();
    }
    TLinesViewer::MouseUp(Button, Shift, X, Y);
}

void TTextViewer::WMGetText(TMessage& Message) {
    constexpr std::int64_t Most = std::numeric_limits<std::int64_t>::max();
    const std::int64_t Given = Message.WParam > static_cast<WPARAM>(Most)
                                   ? Most
                                   : static_cast<std::int64_t>(Message.WParam);
    auto* Out = reinterpret_cast<std::uint8_t*>(Message.LParam);
    const std::int64_t Size = Buffer != nullptr ? Buffer->GetTextSize() : 0;
    const std::int64_t N = std::max<std::int64_t>(0, std::min(Given - 1, Size));
    if (Out == nullptr) {
        Message.Result = 0;
        return;
    }
    if (N > 0)
        Buffer->CopyText(Out, 0, N);
    if (Given > 0)
        Out[N] = 0;
    Message.Result = N;
}

void TTextViewer::WMGetTextLength(TMessage& Message) {
    Message.Result = GetTextSize();
}

} // namespace kestrel
