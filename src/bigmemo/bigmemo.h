// The memo-compatible editor: every public class of the unit.
#pragma once

#include "bigmemo/big_memo.h"
