// The constant runs of the SQL writers (keys, variant names, fixed map
// headers) come from the encoder's compile-time pieces.
#pragma once

#include "msgpack/constant_runs.h"
