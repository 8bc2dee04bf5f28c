// The ready-made components: every public class of the unit.
#pragma once

#include "kxctrls/file_editor.h"
#include "kxctrls/progress_meter.h"
#include "kxctrls/stream_viewer.h"
