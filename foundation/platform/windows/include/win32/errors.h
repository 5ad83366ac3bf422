// The thread's last error, system message texts and local memory: the system's.
#pragma once

#include "win32/types.h"
