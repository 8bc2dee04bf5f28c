// TLinesBuffer: the layer between the text buffer and the text stream that lays text out in lines.
#pragma once

#include "host/set.h"
#include "textbuff/text_buffer.h"

#include <cstdint>

namespace kestrel {

/// What the layout code has established: a canvas to measure with, the font's character widths
/// and the tab positions.
enum TLinesBufferState : std::uint8_t {
    lbCanvasAvailable,
    lbFontDataAvailable,
    lbTabDataAvailable
};
using TLinesBufferStates = TSet<TLinesBufferState>;

/// A text buffer that breaks its text into display lines.
class TLinesBuffer : public TTextBuffer {
public:
    using TTextBuffer::TTextBuffer;

    TLinesBufferStates GetState() const { return State; }

protected:
    TLinesBufferStates State; // font and tab data are re-established after a change of source
};

} // namespace kestrel
