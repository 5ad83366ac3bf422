// The VARIANT functions: the system's. The library's own text form of
// variants (locale-independent) is CComVariant's, foundation/platform/variant.h.
#pragma once

#include "win32/types.h"
