// The console program runner unit.
#pragma once

#include "kxrun/run_program.h"
