// TBigEditor: cutting and pasting (plain text and column blocks), and the clipboard-viewer chain
// that keeps vsPasteAvailable current.
#include "kxedit/big_editor.h"

#include "fileview/viewer_scopes.h"
#include "host/clipboard.h"
#include "host/scope_guard.h"
#include "host/window_platform.h"

#include <cstring>

namespace kestrel {

void TBigEditor::CutToClipBoard() {
    if (!Buffer || SelMode == smNone)
        return;
    CopyToClipBoard();
    DeleteSelection();
}

void TBigEditor::PasteFromClipBoard() {
    TEditStream* Stream = GetEditStream();
    if (Stream == nullptr)
        return;
    // One undo takes the whole paste back: the selection it replaced, padding, every row.
    const bool Grouped = UndoGroupedByCaller();
    const TValueGuard<bool> Link(LinkUndo, true);
    const TLeaveScope CloseGroup([&] {
        if (!Grouped)
            Stream->ClearLastUndoLink();
    });
    const std::int64_t P = GetInsertPos();
    if (P < 0)
        return; // the selection could not be deleted (refused): nothing is pasted either
    TClipboard* C = Clipboard();
    C->Open();
    const TLeaveScope Close([C] { C->Close(); });
    std::int64_t Count = 0;
    std::int64_t E = P;
    TSelModes Mode = smExtend;
    if (ColumnClipFormat != 0 && C->HasFormat(ColumnClipFormat)) {
        // The column format wins over the plain text put beside it.
        E = InsertColumnText(C->GetAsHandle(ColumnClipFormat), P);
        Count = E > P ? E - P : 0;
        Mode = smNone;
    } else if (C->HasFormat(CF_TEXT)) {
        HGLOBAL Block = C->GetAsHandle(CF_TEXT);
        const TGlobalLockGuard Lock(Block);
        const auto* Text = static_cast<const char*>(Lock.Get());
        if (Text != nullptr) {
            // Never past the block, whether or not it holds its terminating zero.
            const auto N = static_cast<std::int64_t>(
                strnlen(Text, static_cast<std::size_t>(GlobalSize(Block))));
            const std::int64_t Before = GetTextSize();
            if (N > 0) {
                SyncLineMap();
                InsertAt(P, Text, N);
            }
            Count = GetTextSize() - Before;
            E = P + Count;
        }
    } else {
        throw Exception("Clipboard is empty");
    }
    if (Count <= 0) {
        Beep();
        return;
    }
    ChangedFrom(P);
    if (SelectAfterPaste) {
        SelAnchor = OffsetToPoint(P);
        SetSelection(SelAnchor, OffsetToPoint(E), Mode);
    } else {
        ResetSelection(ZeroPoint);
    }
    PlaceCaret(E);
    Redraw();
}

// ---- The clipboard-viewer chain ----------------------------------------------------------

void TBigEditor::CreateWnd() {
    TTextViewer::CreateWnd();
    NextClipboardViewer = 0;
    // The chain tells the new head at once, so vsPasteAvailable is known from the start.
    ClipboardChainWnd = GetHandle();
    const HWND Next = SetClipboardViewer(ClipboardChainWnd);
    NextClipboardViewer = Next;
}

void TBigEditor::LeaveClipboardChain() {
    if (ClipboardChainWnd != 0)
        ChangeClipboardChain(ClipboardChainWnd, NextClipboardViewer);
    ClipboardChainWnd = 0;
    NextClipboardViewer = 0;
}

void TBigEditor::WMDestroy(TMessage& Message) {
    TTextViewer::WMDestroy(Message);
    LeaveClipboardChain();
}

void TBigEditor::WMDrawClipboard(TMessage& Message) {
    if (NextClipboardViewer != 0)
        SendMessage(NextClipboardViewer, WM_DRAWCLIPBOARD, Message.WParam, Message.LParam);
    // Only plain text counts: the column format is always put beside it.
    SetState(vsPasteAvailable, IsClipboardFormatAvailable(CF_TEXT));
    Message.Result = 0;
}

void TBigEditor::WMChangeCBChain(TMessage& Message) {
    TTextViewer::WMChangeCBChain(Message);
    const auto Remove = static_cast<HWND>(Message.WParam);
    const auto Next = static_cast<HWND>(Message.LParam);
    if (Remove == NextClipboardViewer)
        NextClipboardViewer = Next;
    else if (NextClipboardViewer != 0)
        SendMessage(NextClipboardViewer, WM_CHANGECBCHAIN, Message.WParam, Message.LParam);
    Message.Result = 0;
}

} // namespace kestrel
