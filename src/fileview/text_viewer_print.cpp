// PLACEHOLDER-PRINT: replaced wholesale by the real implementation; must not land.
#include "fileview/text_viewer.h"

namespace kestrel {

namespace {
[[noreturn]] void NotBuilt() { throw EAbstractError("not built"); }
} // namespace

std::int64_t TTextViewer::GetLineAtTopOfPage(std::int64_t) { NotBuilt(); }
std::int64_t TTextViewer::GetPageNumber(std::int64_t) { NotBuilt(); }
void TTextViewer::PrintLine(std::int64_t, std::int64_t, std::int64_t, TPrintRange, bool&) { NotBuilt(); }
void TTextViewer::BeginPrinting(bool) { NotBuilt(); }
void TTextViewer::EndPrinting() { NotBuilt(); }

} // namespace kestrel
