// The host layer: what the components need of a component framework and a platform.
#pragma once

#include "host/component.h"
#include "host/device_context.h"
#include "host/exceptions.h"
#include "host/global_memory.h"
#include "host/graphics.h"
#include "host/graphics_types.h"
#include "host/object.h"
#include "host/oem.h"
#include "host/printers.h"
#include "host/set.h"
#include "host/streams.h"
#include "host/strings.h"
#include "host/sysutils.h"
