// The uuencode unit: the "sum -r" checksum, the encoder and the decoder.
#pragma once

#include "uuencode/sum_check.h"
#include "uuencode/uu_base.h"
#include "uuencode/uu_decoder.h"
#include "uuencode/uu_encoder.h"
