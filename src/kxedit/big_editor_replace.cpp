// TBigEditor: replacing from the find/replace dialog's options: the selected match one at a time,
// or every occurrence as one edit with progress, cancel and a single undo step.
#include "kxedit/big_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/scope_guard.h"

#include <algorithm>
#include <cctype>

namespace kestrel {

namespace {

// Progress of a replace-all is reported for a match once this share of the run has passed since
// the last report (every match when they are sparse); the search reports between matches.
constexpr std::int64_t ReportsPerRun = 1024;
// A caret farther than this from the first replacement is placed by an estimated jump.
constexpr std::int64_t FarCaret = 64 * 1024;

bool SameText(const std::string& A, const std::string& B, bool MatchCase) {
    if (A.size() != B.size())
        return false;
    if (MatchCase)
        return A == B;
    // The search folds ASCII letters only; so does this comparison.
    for (std::size_t I = 0; I < A.size(); ++I) {
        const auto X = static_cast<unsigned char>(A[I]);
        const auto Y = static_cast<unsigned char>(B[I]);
        if (X != Y && !(X < 128 && Y < 128 && std::tolower(X) == std::tolower(Y)))
            return false;
    }
    return true;
}

} // namespace

bool TBigEditor::Replace(TFindDialog* Dialog, const std::string& FindText,
                         const std::string& ReplaceText, TFindOptions Options) {
    // Both texts are expanded before anything changes: a bad escape raises EUserError here.
    std::string R = ExpandString(ReplaceText);
    (void)ExpandString(FindText);
    ReplaceStr = std::move(R);
    return Find(Dialog, FindText, Options);
}

bool TBigEditor::FindNext(TFindDialog* Dialog) {
    if (!Buffer)
        return false;
    if (FindOptions.Contains(frReplaceAll)) {
        if (State.Contains(vsSearching)) {
            Beep(); // one run at a time
            return false;
        }
        const std::int64_t Caret = CaretOffset();
        const std::int64_t Total = FindOptions.Contains(frDown) ? GetTextSize() - Caret : Caret;
        const TStateFlagScope Searching(*this, vsSearching);
        const TBusyModeScope Busy(*this, Total);
        const TLeaveScope Reshow([this] {
            SetCharNumber(CharNumber);
            SetLineNumber(LineNumber);
        });
        ReplaceAll(FindOptions);
        return true;
    }
    if (FindOptions.Contains(frReplace) && SelMode != smNone && !State.Contains(vsSearching) &&
        GetSelectionSize() == static_cast<std::int64_t>(FindStr.size()) &&
        SameText(GetSelection(), FindStr, FindOptions.Contains(frMatchCase))) {
        const std::int64_t Before = GetTextSize();
        const std::int64_t P = GetInsertPos();
        if (P >= 0 && GetTextSize() < Before) {
            if (!ReplaceStr.empty()) {
                SyncLineMap();
                InsertAt(P, ReplaceStr.data(), static_cast<std::int64_t>(ReplaceStr.size()));
            }
            PlaceCaret(P + static_cast<std::int64_t>(ReplaceStr.size()));
        }
    }
    return TTextViewer::FindNext(Dialog);
}

void TBigEditor::ReplaceAll(TFindOptions Options) {
    TEditStream* Stream = GetEditStream();
    if (Stream == nullptr || FindStr.empty())
        return;
    const bool Down = Options.Contains(frDown);
    const auto Len = static_cast<std::int64_t>(FindStr.size());
    const std::int64_t Size = GetTextSize();
    const std::int64_t Start =
        SelMode != smNone ? (Down ? SelStartOffset : SelEndOffset) : CaretOffset();

    // The occurrences in the text as it is, in search order. A replacement is never searched:
    // forwards the next search starts after the match, backwards at the byte before it; the
    // run stops when that position leaves the text (a match at its last or first byte).
    TMatchList Matches;
    const std::int64_t Stride = std::max<std::int64_t>(1, std::abs(ProgressTotal) / ReportsPerRun);
    std::int64_t LastReport = Start;
    bool Go = true;
    std::int64_t P = Down ? Start : Start - 1; // backwards: the text before the caret
    while (Go && (Down ? P < Size : P >= 0)) {
        std::int64_t Q = P;
        if (!Buffer->Search(Q, FindStr, Options)) {
            // Stopped short of the text's end: cancelled through the search's own report.
            Go = Down ? Q >= Size : Q < 0;
            break;
        }
        if (Down ? Q < P : Q + Len - 1 > P)
            break; // (never behind the position: a match is found once)
        Matches.Add(Q);
        if (std::abs(Q - LastReport) >= Stride || Matches.Size() == 1) {
            Go = ReportProgress(Down ? Q - Start : Start - Q);
            LastReport = Q;
        }
        P = Down ? Q + Len : Q - 1;
    }
    // No more than MaxTextSize leaves room for.
    const std::int64_t Step = static_cast<std::int64_t>(ReplaceStr.size()) - Len;
    const std::int64_t Max = Buffer->GetMaxTextSize();
    if (Max > 0 && Step > 0) {
        const std::int64_t Room = std::max<std::int64_t>(0, Max - Size) / Step;
        if (Matches.Size() > Room)
            Matches.Truncate(Room);
    }
    const std::int64_t Count = Matches.Size();

    std::int64_t CaretAt = std::clamp<std::int64_t>(P, 0, Size);
    const bool Refused = Stream->GetReadOnly(); // told by the stream's write protection
    if (Count > 0) {
        if (!Down)
            Matches.Reverse(); // found from the end: ascending now
        const std::int64_t First = Matches.Get(0);
        const std::int64_t End = Matches.Get(Count - 1) + Len;
        // The caret: after the last replacement (forwards), before the last one reached
        // (backwards), or where the last search stopped.
        if (Down)
            CaretAt = !Go ? End + Count * Step : Size + Count * Step;
        else
            CaretAt = !Go ? std::max<std::int64_t>(0, First - 1) : 0;
        // The line before the first change keeps its start: the layout is redone from there.
        GotoPosition(First);
        GotoPrevLine();
        const std::int64_t AnchorStart = LineStart;
        const std::int64_t AnchorLine = MapLine;
        const std::int64_t AnchorPage = MapPage;
        Matches.Shift(-First);
        {
            const TLeaveScope Close([Stream] { Stream->ClearLastUndoLink(); });
            Stream->ReplaceMatches(First, End - First, std::move(Matches), Len, ReplaceStr);
        }
        ResetSelection(ZeroPoint);
        RelayoutFrom(AnchorStart, AnchorLine, AnchorPage, First);
    }
    if (std::abs(CaretAt - LineStart) > FarCaret && GetTextSize() > 0) {
        // Far from the map: reached by an estimated jump, numbered for now (the count corrects
        // the number), not by a walk over every line in between.
        JumpTo(CaretAt, std::max<std::int64_t>(
                            1, static_cast<std::int64_t>(static_cast<double>(LastLine) *
                                                         (static_cast<double>(CaretAt) /
                                                          static_cast<double>(GetTextSize())))));
    }
    PlaceCaret(CaretAt);
    Redraw();
    if (OnReplaceAll)
        OnReplaceAll(this, Refused ? 0 : Count);
}

} // namespace kestrel
