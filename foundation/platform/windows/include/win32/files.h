// File attributes and the current directory: the system's.
#pragma once

#include "win32/types.h"
