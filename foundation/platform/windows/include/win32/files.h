// File attributes and the current directory: the system's, the attribute
// query counted by the layer (foundation/platform/windows/filecalls.h).
#pragma once

#include "win32/types.h"
#include "foundation/platform/windows/filecalls.h"

#define GetFileAttributesA KvGetFileAttributesA
