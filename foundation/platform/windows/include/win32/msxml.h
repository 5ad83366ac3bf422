// The XML document object model: the system's interfaces (msxml2.h).
#pragma once

#include "win32/types.h"
#include <msxml2.h>
