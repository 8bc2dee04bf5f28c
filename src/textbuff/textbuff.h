// The text unit: storage containers (buffer, stream, segment lists, undo list, edit stream).
#pragma once

#include "textbuff/lines_buffer.h"
#include "textbuff/text_buffer.h"
#include "textbuff/text_stream.h"
#include "textbuff/text_types.h"
