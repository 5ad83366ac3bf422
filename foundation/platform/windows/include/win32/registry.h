// Registry reading: the system's.
#pragma once

#include "win32/types.h"
