// UsageError and kUsageStatus, which the preparation calls throw too, are defined in lib/.
#pragma once

#include "lib/usage_error.h"
