// The Win32 and COM types: the system's own. OLECHAR is wchar_t here and
// OLESTR("x") the system's wide literal. What the POSIX layer adds to the
// system's set (code pages by number) is defined where missing.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

// OLESTR('x') as well as OLESTR("x"), as the POSIX layer allows.
#undef OLESTR
#define OLESTR(s) L##s
