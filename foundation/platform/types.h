// The Win32 and COM types of the platform (the system's on Windows, the
// layer's own declarations on POSIX) and the library's export macros: what the
// library's public headers need of the platform, and nothing more.
#pragma once

#include "win32/types.h"

// The library is built with hidden visibility and exports exactly what carries
// KV_API; component modules export their entry points with KV_EXPORT_C.
#if defined(_WIN32)
#if defined(KVREPO_BUILDING)
#define KV_API __declspec(dllexport)
#else
#define KV_API __declspec(dllimport)
#endif
#define KV_EXPORT_C extern "C" __declspec(dllexport)
#else
#define KV_API __attribute__((visibility("default")))
#define KV_EXPORT_C extern "C" __attribute__((visibility("default")))
#endif

// For the library's functions that the platform layer calls: the layer is a
// static library linked into the library itself and into every module that
// uses it, so on Windows its calls must bind directly inside the library and
// through the import library elsewhere, which a plain declaration does.
#if defined(_WIN32) && !defined(KVREPO_BUILDING)
#define KV_LAYER_API
#else
#define KV_LAYER_API KV_API
#endif
