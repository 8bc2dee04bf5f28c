// TMailEditor: construction, the edit scaffolding, quote strings, inserting files and quoted
// text, and re-flowing quoted paragraphs.
#include "mailedit/mail_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/clipboard.h"
#include "host/oem.h"
#include "host/scope_guard.h"
#include "host/window_platform.h"
#include "textbuff/line_scan.h"

#include <algorithm>
#include <vector>

namespace kestrel {

namespace {

constexpr std::int64_t FileBlock = 8192;
constexpr std::int64_t LineChunk = 64 * 1024; // a long source line is inserted in pieces
constexpr std::int64_t ReportEvery = 64;      // lines between progress reports of a re-flow

// Printable ASCII that is neither a letter, a digit, '_', '@' nor a space.
bool IsQuotePunctuation(std::uint8_t C) {
    return (C >= 0x21 && C <= 0x2F) || (C >= 0x3A && C <= 0x3F) || (C >= 0x5B && C <= 0x5E) ||
           C == 0x60 || (C >= 0x7B && C <= 0x7E);
}

bool IsBlank(std::uint8_t C) {
    return C == ' ' || C == TAB;
}

} // namespace

TMailEditor::TMailEditor(TComponent* AOwner) : TFileEditor(AOwner) {}

// ---- Edit scaffolding ---------------------------------------------------------------------

TMailEditor::TEditAnchor TMailEditor::AnchorBefore(std::int64_t P) {
    GotoPosition(P);
    TEditAnchor A;
    A.Start = PrevLineStart;
    A.Line = A.Start == 0 ? 0 : std::max<std::int64_t>(1, MapLine - 1);
    A.Page = MapPage;
    // The count must not stand past the change, where its offsets would no longer hold.
    if (ScanOffset > A.Start)
        ReEstimateFrom(A.Start);
    return A;
}

void TMailEditor::RelayoutAfter(const TEditAnchor& A, std::int64_t CaretAt) {
    ResetSelection(ZeroPoint);
    RelayoutFrom(std::min(A.Start, GetTextSize()), A.Line, A.Page, CaretAt);
    Redraw();
}

bool TMailEditor::RefusedAsReadOnly() {
    TEditStream* S = GetEditStream();
    if (S == nullptr)
        return true;
    if (!S->GetReadOnly())
        return false;
    // A read-only stream refuses any edit before looking at it, through its write-protect
    // handler (or EWriteProtectError).
    S->Delete(0, 0);
    return true;
}

void TMailEditor::TakeBackInsertion(std::int64_t P, std::int64_t Count) {
    TEditStream* S = GetEditStream();
    if (S == nullptr || Count <= 0)
        return;
    S->SaveChanges();
    const TUndoList& U = S->GetUndoList();
    const TUndoInfo* Top = U.GetTop();
    // Undo only when the last undo step is this insertion and nothing else (typing just before
    // it at the same place would have joined it, and must stay).
    const bool Own = Top != nullptr && Top->Pos == P && Top->InsertCount == Count && !Top->Linked &&
                     (U.GetCount() < 2 || !U.GetItem(1)->Linked);
    if (Own)
        Undo();
    else
        Delete(P, Count);
}

// ---- Quote strings ------------------------------------------------------------------------

std::string TMailEditor::GetQuoteString() {
    if (!Buffer || GetTextSize() == 0)
        return std::string();
    if (SelMode != smNone)
        GotoPosition(std::min(SelStartOffset, SelEndOffset));
    else
        SyncLineMap();
    const std::int64_t N = std::min<std::int64_t>(MapLineLength, MaxQuoteLength);
    const std::string Line = Buffer->GetString(LineStart, N);
    std::string Result;
    if (Line.empty() || IsBlank(static_cast<std::uint8_t>(Line[0])))
        return Result;
    bool InPunctuation = false;
    for (const char Ch : Line) {
        const bool Punct = IsQuotePunctuation(static_cast<std::uint8_t>(Ch));
        if (InPunctuation && !Punct)
            break;
        Result += Ch;
        InPunctuation = InPunctuation || Punct;
    }
    return Result;
}

// ---- Inserting files ----------------------------------------------------------------------

void TMailEditor::InsertFile(const std::string& FileName, bool OEMConvert) {
    if (!Buffer)
        return;
    TFileStream File(FileName, fmOpenRead | fmShareDenyWrite);
    GetEditStream()->EndUndoRecord(); // the insertion (with the selection it replaces) alone
    const std::int64_t Start = GetInsertPos();
    if (Start < 0)
        return; // the selection could not be deleted
    const TEditAnchor A = AnchorBefore(Start);
    std::int64_t P = Start;
    const TLeaveScope Finish([&] { RelayoutAfter(A, P); });
    std::vector<char> Block(FileBlock);
    for (std::int64_t Left = File.GetSize(); Left > 0;) {
        const std::int64_t Got = File.Read(Block.data(), std::min(Left, FileBlock));
        if (Got <= 0)
            break; // the file got shorter
        if (OEMConvert)
            OemToCharBuffA(Block.data(), Block.data(), Got);
        const std::int64_t Before = GetTextSize();
        Buffer->Insert(Block.data(), P, Got);
        const std::int64_t Added = GetTextSize() - Before;
        P += Added;
        Left -= Got;
        if (Added < Got)
            break; // refused, or the text is full
    }
}

void TMailEditor::InsertQuoteBuffer(TLinesBuffer* Source) {
    if (!Buffer || Source == nullptr)
        return;
    SyncLineMap();
    const std::int64_t Start = LineStart; // column 0 of the caret's line
    std::int64_t P = Start;
    if (Source->GetTextSize() > 0 && RefusedAsReadOnly())
        return;
    const TEditAnchor A = AnchorBefore(Start);
    GetEditStream()->EndUndoRecord(); // one undo step of its own

    // The source's lines, once prefixed, are to fit the width the editor's own lines fit.
    const std::int64_t SavedWidth = Source->GetMaxWidth();
    const TScopeExit RestoreWidth([Source, SavedWidth] { Source->SetMaxWidth(SavedWidth); });
    if (SavedWidth > 0 && SavedWidth != NoWrapWidth) {
        std::int64_t W = SavedWidth;
        for (const char Ch : MailQuote)
            W -= Source->WidthOf(static_cast<std::uint8_t>(Ch));
        Source->SetMaxWidth(std::max<std::int64_t>(1, W)); // 0 would not wrap at all
    }

    const TLeaveScope Finish([&] { RelayoutAfter(A, P); });
    const TBusyModeScope Busy(*this, Source->GetTextSize());
    SetEnableUpdates(false);
    const TLeaveScope Updates([this] { SetEnableUpdates(true); });

    // Inserts Count bytes at P; false when the text took fewer (read-only, or full).
    const auto Put = [&](const char* Bytes, std::int64_t Count) {
        const std::int64_t Before = GetTextSize();
        Buffer->Insert(Bytes, P, Count);
        const std::int64_t Added = GetTextSize() - Before;
        P += Added;
        return Added == Count;
    };
    const std::int64_t Size = Source->GetTextSize();
    std::vector<char> Chunk;
    for (std::int64_t Pos = 0; Pos < Size;) {
        const std::int64_t From = Pos;
        std::int64_t Width = 0;
        std::int64_t Count = 0;
        Source->GetNextLine(Pos, Width, Count);
        if (Pos <= From)
            break; // no progress: never spin
        bool Whole = Put(MailQuote.data(), static_cast<std::int64_t>(MailQuote.size()));
        for (std::int64_t Done = 0; Whole && Done < Count;) {
            const std::int64_t N = std::min(LineChunk, Count - Done);
            Chunk.resize(static_cast<std::size_t>(N));
            const std::int64_t Got = Source->CopyText(Chunk.data(), From + Done, N);
            if (Got <= 0)
                break;
            Whole = Put(Chunk.data(), Got);
            Done += Got;
        }
        if (!Whole || !Put(EditorLineBreak, 2) || !ReportProgress(Pos))
            break;
    }
}

void TMailEditor::InsertQuoteFile(const std::string& FileName) {
    if (!Buffer)
        return;
    DeleteSelection();
    auto File = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
    // The scratch buffer measures on the editor's canvas, which hands it back afterwards.
    const TScopeExit Canvas([this] { Buffer->SetCanvas(GetCanvas()); });
    TTextStream Scratch(nullptr);
    Scratch.SetCanvas(GetCanvas());
    Scratch.SetMode(Buffer->GetMode());
    Scratch.SetMaxWidth(Buffer->GetMaxWidth());
    Scratch.SetSourceStream(std::move(File));
    InsertQuoteBuffer(&Scratch);
}

void TMailEditor::PasteQuoteFromClipboard() {
    if (!Buffer)
        return;
    TClipboard* C = Clipboard();
    if (!C->HasFormat(CF_TEXT))
        return;
    DeleteSelection();
    const TScopeExit Canvas([this] { Buffer->SetCanvas(GetCanvas()); });
    TEditStream Scratch(nullptr);
    Scratch.SetCanvas(GetCanvas());
    Scratch.SetMode(Buffer->GetMode());
    Scratch.SetMaxWidth(Buffer->GetMaxWidth());
    std::int64_t Length = 0;
    {
        C->Open();
        const TScopeExit Close([C] { C->Close(); });
        if (HGLOBAL Text = C->GetAsHandle(CF_TEXT))
            Length = Scratch.InsertMem(Text, 0);
    }
    if (Length == 0) {
        MessageBeep(MB_ICONASTERISK);
        return;
    }
    InsertQuoteBuffer(&Scratch);
}

// ---- Re-flowing quoted text ---------------------------------------------------------------

void TMailEditor::ReformatQuotedText(const std::string& OldQuote, const std::string& NewQuote) {
    if (OldQuote.empty())
        throw EUserError("Old Quote String cannot be empty");
    if (!Buffer)
        return;
    // Every line the re-flow breaks must keep at least one character beyond the new quote:
    // otherwise each break would only make room for another quote, without end.
    const std::int64_t Wrap = Buffer->GetMaxWidth();
    if (Wrap > 0 && Wrap != NoWrapWidth) {
        std::int64_t QuoteWidth = 0;
        for (const char Ch : NewQuote)
            QuoteWidth += Buffer->WidthOf(static_cast<std::uint8_t>(Ch));
        std::int64_t Widest = 0;
        for (int Ch = 33; Ch < 256; ++Ch)
            Widest = std::max(Widest, Buffer->WidthOf(static_cast<std::uint8_t>(Ch)));
        if (QuoteWidth + Widest > Wrap)
            throw EUserError("New Quote String leaves no room for text");
    }
    if (RefusedAsReadOnly())
        return;
    TEditStream* Stream = GetEditStream();

    // The region, and its end as it moves with the edits before it.
    const bool HadSelection = SelMode != smNone && SelMode != smColumn;
    std::int64_t RegionStart = 0;
    std::int64_t End = GetTextSize();
    if (HadSelection) {
        RegionStart = std::min(SelStartOffset, SelEndOffset);
        End = std::max(SelStartOffset, SelEndOffset);
    } else {
        RegionStart = CaretOffset();
    }
    ResetSelection(ZeroPoint);
    const TEditAnchor A = AnchorBefore(RegionStart);
    Stream->EndUndoRecord(); // the re-flow is one undo step, joined to no edit before it
    // The line holding the region's start.
    std::int64_t L = LineStart;
    std::int64_t N = 0;
    std::int64_t Next = L;
    std::int64_t Width = 0;

    const TLeaveScope Finish([&] {
        RelayoutAfter(A, End);
        if (HadSelection)
            ReapplySelection(RegionStart, End, smExtend);
        Redraw();
    });
    const TBusyModeScope Busy(*this, End - RegionStart);
    SetEnableUpdates(false);
    const TLeaveScope Updates([this] { SetEnableUpdates(true); });
    const TValueGuard<bool> Link(LinkUndo, true);
    const TLeaveScope Close([Stream] { Stream->ClearLastUndoLink(); });

    const auto Size = [this] { return GetTextSize(); };
    const auto ReRead = [&] {
        Next = L;
        Buffer->GetNextLine(Next, Width, N);
    };
    const auto AtEnd = [&] { return Next >= Size() && L + N == Next && ByteAt(L) != FF; };
    const auto GotoNext = [&] {
        if (AtEnd())
            return false;
        L = Next;
        ReRead();
        return true;
    };
    const auto Matches = [&](std::int64_t P, const std::string& S, std::int64_t Limit) {
        if (P + static_cast<std::int64_t>(S.size()) > Limit)
            return false;
        return Buffer->GetString(P, static_cast<std::int64_t>(S.size())) == S;
    };
    const auto SpacesOnly = [&](std::int64_t P, std::int64_t Count) {
        for (std::int64_t I = 0; I < Count; ++I)
            if (ByteAt(P + I) != ' ')
                return false;
        return true;
    };
    const auto SpacesOrTabs = [&](std::int64_t P, std::int64_t Count) {
        for (std::int64_t I = 0; I < Count; ++I)
            if (!IsBlank(ByteAt(P + I)))
                return false;
        return true;
    };
    // Edits that report whether the text took them whole; anything less ends the re-flow.
    bool Failed = false;
    const auto Del = [&](std::int64_t P, std::int64_t Count) {
        const std::int64_t Before = Size();
        Stream->Delete(P, Count);
        Failed = Failed || Before - Size() != Count;
        if (End > P)
            End = std::max(P, End - (Before - Size()));
    };
    const auto Ins = [&](std::int64_t P, const std::string& S) {
        const std::int64_t Before = Size();
        Stream->Insert(S.data(), P, static_cast<std::int64_t>(S.size()));
        const std::int64_t Added = Size() - Before;
        Failed = Failed || Added != static_cast<std::int64_t>(S.size());
        if (End > P)
            End += Added;
    };
    const auto NewLength = static_cast<std::int64_t>(NewQuote.size());
    std::int64_t Lines = 0;

    ReRead();
    bool Quoted = false;
    while (!Failed) {
        // The line's old quote becomes the new one.
        Quoted = Matches(L, OldQuote, L + N);
        if (Quoted) {
            Del(L, static_cast<std::int64_t>(OldQuote.size()));
            Ins(L, NewQuote);
            ReRead();
        }
        if (L + N >= End)
            break;
        bool NewParagraph = false; // the inner loop moved on to a paragraph's first line
        while (!Failed && L + N < End && !AtEnd()) {
            if (++Lines % ReportEvery == 0 && !ReportProgress(L - RegionStart))
                return;
            if (Buffer->AtPageBreak(Next)) {
                NewParagraph = GotoNext();
                break;
            }
            const bool Hard = L + N < Next;
            if (ByteAt(L) == FF ||
                (Hard && (N == 0 || (N == NewLength && Matches(L, NewQuote, L + N))))) {
                // A form feed, an empty line or one holding the new quote alone separates
                // paragraphs.
                NewParagraph = GotoNext();
                break;
            }
            if (N > 0 && SpacesOnly(L, N)) {
                // A line of spaces is emptied and then separates paragraphs like an empty one.
                Del(L, N);
                ReRead();
                NewParagraph = GotoNext();
                break;
            }
            if (!Hard) {
                // A soft break becomes a hard one, the new quote starting the line after it. A
                // line that holds nothing but the new quote and blanks (the word after them
                // is wider than a line) would only make room for another quote: its blanks go,
                // so that the word is broken after the quote instead; the quote alone stays
                // wrapped.
                const bool QuoteOnly = Matches(L, NewQuote, L + N) || N < NewLength;
                if (QuoteOnly && N > NewLength && SpacesOrTabs(L + NewLength, N - NewLength)) {
                    Del(L + NewLength, N - NewLength);
                    ReRead();
                    continue;
                }
                if (!QuoteOnly || N > NewLength) {
                    const std::int64_t At = Next;
                    Ins(At, EditorLineBreak);
                    if (Quoted)
                        Ins(At + 2, NewQuote);
                    ReRead();
                }
                GotoNext();
                continue;
            }
            if (Next >= Size())
                break; // the line break ends the text: there is no line to join
            // A hard break inside the paragraph: the next line joins this one.
            std::int64_t I = L + N;
            Quoted = Matches(Next, OldQuote, Size());
            Del(I, Next - I + (Quoted ? static_cast<std::int64_t>(OldQuote.size()) : 0));
            if (I > L && !IsBlank(ByteAt(I - 1))) {
                Ins(I, " ");
                ++I;
            }
            ReRead();
            if (L + N > I && SpacesOnly(I, L + N - I)) {
                Del(I, L + N - I);
                ReRead();
            }
            if (I >= Size() || Buffer->LineBreakAt(I)) {
                // The joined line was empty: the paragraph ends here, and a line holding the new
                // quote alone separates it from the next.
                std::int64_t J = L + N;
                while (J > L && IsBlank(ByteAt(J - 1)))
                    --J;
                if (J < L + N) {
                    Del(J, L + N - J);
                    I = J;
                }
                Ins(I, EditorLineBreak);
                Ins(I + 2, NewQuote);
                ReRead();
                GotoNext();
                NewParagraph = GotoNext();
                break;
            }
        }
        // On with the next paragraph when its first line starts inside the region.
        if (!NewParagraph || L >= End || L >= Size())
            break;
    }
}

} // namespace kestrel
