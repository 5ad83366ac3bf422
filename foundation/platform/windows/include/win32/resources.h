// String resources: the system's LoadStringA over the module's string table
// (compiled in from a resource script).
#pragma once

#include "win32/types.h"
