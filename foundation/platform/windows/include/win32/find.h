// Directory search: the system's FindFirstFileA family, the first call
// counted by the layer (foundation/platform/windows/filecalls.h).
#pragma once

#include "win32/fileio.h"
#include "win32/files.h"

#define FindFirstFileA KvFindFirstFileA
