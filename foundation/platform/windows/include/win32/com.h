// COM functions and interfaces: the system's (objbase.h, oleauto.h), which
// types.h includes.
#pragma once

#include <type_traits>

#include "win32/types.h"

namespace kv {
namespace platform {

// Whether an object implementing `Interface` answers `iid` as the automation
// interface it derives from (IDispatch, the base of the system's DOM and
// scripting interfaces).
template <class Interface>
bool IsDispatchOf(REFIID iid) {
    return std::is_base_of<IDispatch, Interface>::value && iid == IID_IDispatch;
}

}  // namespace platform
}  // namespace kv
