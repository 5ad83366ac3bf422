// COM functions and interfaces: the system's (objbase.h, oleauto.h), which
// types.h includes.
#pragma once

#include "win32/types.h"
