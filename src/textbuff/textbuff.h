// The text unit: storage containers (buffer, stream, segment lists, undo list, edit stream),
// line layout and search.
#pragma once

#include "textbuff/edit_stream.h"
#include "textbuff/line_scan.h"
#include "textbuff/lines_buffer.h"
#include "textbuff/segment_list.h"
#include "textbuff/text_buffer.h"
#include "textbuff/text_search.h"
#include "textbuff/text_stream.h"
#include "textbuff/text_types.h"
#include "textbuff/undo_list.h"
