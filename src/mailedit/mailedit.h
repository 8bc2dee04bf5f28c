// The mail unit: the mail editor.
#pragma once

#include "mailedit/mail_editor.h"
