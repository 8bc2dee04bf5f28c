// The editor: every public class of the unit.
#pragma once

#include "kxedit/big_editor.h"
