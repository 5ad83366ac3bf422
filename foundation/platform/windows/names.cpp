// How Windows compares file names.

#include "foundation/platform/text.h"

namespace kv {
namespace platform {

bool SameFileName(const OLECHAR* a, std::size_t aLength, const OLECHAR* b, std::size_t bLength) {
    return CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE) ==
           CSTR_EQUAL;
}

}  // namespace platform
}  // namespace kv
