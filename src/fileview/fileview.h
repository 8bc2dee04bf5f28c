// The viewer framework: every public class of the unit.
#pragma once

#include "fileview/flicker_free.h"
#include "fileview/key_manager.h"
#include "fileview/lines_viewer.h"
#include "fileview/scroll_bar.h"
#include "fileview/text_viewer.h"
#include "fileview/viewer_scopes.h"
