// The platform layer: everything the library needs from Win32, COM and the host
// framework, under their own names. Code outside foundation/platform includes
// this (or one of its headers) and never a system header.
#pragma once

#include "foundation/platform/wintypes.h"
#include "foundation/platform/bstr.h"
#include "foundation/platform/codepage.h"
#include "foundation/platform/com.h"
#include "foundation/platform/console.h"
#include "foundation/platform/errors.h"
#include "foundation/platform/fileio.h"
#include "foundation/platform/find.h"
#include "foundation/platform/files.h"
#include "foundation/platform/framework.h"
#include "foundation/platform/module.h"
#include "foundation/platform/registry.h"
#include "foundation/platform/resources.h"
#include "foundation/platform/scripting.h"
#include "foundation/platform/variant.h"
#include "foundation/platform/xmldom.h"
