// Directory search: the system's FindFirstFileA family.
#pragma once

#include "win32/fileio.h"
#include "win32/files.h"
