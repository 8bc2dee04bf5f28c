// PLACEHOLDER-TEXT: replaced wholesale by the real implementation; must not land.
#include "fileview/text_viewer.h"

namespace kestrel {

namespace {
[[noreturn]] void NotBuilt() { throw EAbstractError("not built"); }
} // namespace

void TTextViewer::SetSelection(const TLongPoint&, const TLongPoint&, TSelModes) { NotBuilt(); }
std::int64_t TTextViewer::GetSelectionSize() { NotBuilt(); }
std::string TTextViewer::GetSelection() { NotBuilt(); }
std::string TTextViewer::GetString(std::int64_t, std::int64_t, std::int64_t) { NotBuilt(); }
void TTextViewer::CopySelection(HGLOBAL) { NotBuilt(); }
std::int64_t TTextViewer::CopyColumnText(HGLOBAL) { NotBuilt(); }
void TTextViewer::CopyToClipBoard() { NotBuilt(); }
void TTextViewer::CopyToStream(TStream*) { NotBuilt(); }
void TTextViewer::SaveAs(const std::string&) { NotBuilt(); }
void TTextViewer::SaveSelection(const std::string&) { NotBuilt(); }
void TTextViewer::LoadFromStream(TStream*) { NotBuilt(); }
bool TTextViewer::Search(const std::string&, TFindOptions) { NotBuilt(); }
std::string TTextViewer::GetInitialFindStr() { NotBuilt(); }
void TTextViewer::HandleSearchStatus(std::int64_t, bool&) { NotBuilt(); }
TLongPoint TTextViewer::FindWordStart(const TLongPoint&) { NotBuilt(); }
TLongPoint TTextViewer::FindWordEnd(const TLongPoint&) { NotBuilt(); }
TLongPoint TTextViewer::FindNextWord(const TLongPoint&) { NotBuilt(); }
std::int64_t TTextViewer::AllocBookmark() { NotBuilt(); }
void TTextViewer::DeleteBookmark(std::int64_t) { NotBuilt(); }
void TTextViewer::GotoBookMark(std::int64_t) { NotBuilt(); }
void TTextViewer::MouseUp(TMouseButton B, TShiftState S, int X, int Y) { TLinesViewer::MouseUp(B, S, X, Y); }
void TTextViewer::WMGetText(TMessage&) { NotBuilt(); }
void TTextViewer::WMGetTextLength(TMessage&) { NotBuilt(); }
bool TTextViewer::WriteLineBreakText(TStream*) { NotBuilt(); }
void TTextViewer::SaveFileSafely(const std::string&, const std::function<void(TStream*)>&) { NotBuilt(); }

} // namespace kestrel
