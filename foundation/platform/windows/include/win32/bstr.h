// BSTR: the system's allocator (oleauto.h).
#pragma once

#include "win32/types.h"
