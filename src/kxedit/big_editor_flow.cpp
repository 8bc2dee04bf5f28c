// TBigEditor::FlowText: joins the hard lines of each paragraph into one line, so that soft
// wrapping flows it to the window or margin width.
#include "kxedit/big_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/scope_guard.h"

#include <algorithm>

namespace kestrel {

namespace {

// Line breaks joined between two progress reports.
constexpr std::int64_t FlowReportLines = 256;

} // namespace

void TBigEditor::FlowText() {
    TEditStream* Stream = GetEditStream();
    if (Stream == nullptr)
        return;
    std::int64_t Cur = CaretOffset();
    const TSelModes Mode = SelMode;
    std::int64_t Start = Cur;
    std::int64_t End = GetTextSize();
    if (Mode != smNone) {
        Start = std::min(SelStartOffset, SelEndOffset);
        End = std::max(SelStartOffset, SelEndOffset);
    }
    Start = std::clamp<std::int64_t>(Start, 0, GetTextSize());
    End = std::clamp<std::int64_t>(End, Start, GetTextSize());
    // The line before the region's first keeps its start: the layout is redone from there.
    GotoPosition(Start);
    GotoPrevLine();
    const std::int64_t AnchorStart = LineStart;
    const std::int64_t AnchorLine = MapLine;
    const std::int64_t AnchorPage = MapPage;
    ChangedFrom(AnchorStart);
    UndoCaretPos = Cur; // an undo puts the caret back here

    {
        const TBusyModeScope Busy(*this, End - Start);
        const TValueGuard<bool> Link(LinkUndo, true);
        const TLeaveScope Close([Stream] { Stream->ClearLastUndoLink(); });
        const TScopeExit ResetCaret([this] { UndoCaretPos = 0; });
        // P: the start of the region's last hard line. The line break that ends the region
        // stays (it would join the line after it).
        std::int64_t P = End;
        if (P > Start)
            Buffer->GetStartOfParagraph(P);
        P = std::max(P, Start);
        std::int64_t Steps = 0;
        while (P > Start) {
            // K: where the line break before P begins (none after a form feed).
            std::int64_t K = P;
            if (ByteAt(P - 1) == LF) {
                K = P - 1;
                if (K > 0 && ByteAt(K - 1) == CR)
                    --K;
            }
            // A break next to an empty line or a form feed separates paragraphs; so does one at
            // the very start of the text or before the region.
            const std::uint8_t First = ByteAt(P);
            if (K < P && K >= Start && K > 0 && ByteAt(K - 1) != LF && ByteAt(K - 1) != FF &&
                First != CR && First != LF && First != FF) {
                const std::int64_t N = P - K;
                const std::int64_t Before = GetTextSize();
                Buffer->Delete(K, N);
                if (GetTextSize() == Before)
                    break; // refused
                End -= N;
                P -= N;
                if (Cur >= K + N)
                    Cur -= N;
                else if (Cur > K)
                    Cur = K;
                const std::uint8_t Last = ByteAt(K - 1);
                if (Last != ' ' && Last != '-') {
                    Buffer->InsertSpaces(K, 1);
                    if (GetTextSize() == Before - N + 1) {
                        ++End;
                        ++P;
                        if (Cur > K)
                            ++Cur;
                    }
                }
                if (++Steps % FlowReportLines == 0 && !ReportProgress(End - P))
                    break;
            }
            // The hard line before: P always moves back.
            std::int64_t Q = P;
            Buffer->GetStartOfParagraph(Q);
            P = std::min(Q, P - 1);
        }
    }

    ResetSelection(ZeroPoint);
    RelayoutFrom(AnchorStart, AnchorLine, AnchorPage, Cur);
    if (Mode != smNone) {
        SelAnchor = OffsetToPoint(Start);
        SetSelection(SelAnchor, OffsetToPoint(End), Mode);
    }
    PlaceCaret(Cur);
    if (LineWidth > LongestLine) {
        SetLongestLine(LineWidth);
        ShowCurrentCharacter();
    }
    Redraw();
}

} // namespace kestrel
