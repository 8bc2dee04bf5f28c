// The headless platform: deterministic fonts, pixel surfaces, screen and printer devices,
// windows in memory, a manual clock, simulated input, an in-process clipboard, in-memory
// settings and scripted dialogs, installed together by THeadlessPlatformScope.
#pragma once

#include "host/headless/font_model.h"
#include "host/headless/headless_clipboard.h"
#include "host/headless/headless_dc.h"
#include "host/headless/headless_dialogs.h"
#include "host/headless/headless_graphics.h"
#include "host/headless/headless_input.h"
#include "host/headless/headless_platform.h"
#include "host/headless/headless_queue.h"
#include "host/headless/headless_settings.h"
#include "host/headless/surface.h"
#include "host/headless/window_system.h"
