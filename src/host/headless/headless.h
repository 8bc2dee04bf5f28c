// The headless platform: deterministic fonts, pixel surfaces, screen and printer devices.
#pragma once

#include "host/headless/font_model.h"
#include "host/headless/headless_dc.h"
#include "host/headless/headless_graphics.h"
#include "host/headless/surface.h"
#include "host/headless/window_system.h"
