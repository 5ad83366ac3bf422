// Helpers shared by the tests.
#pragma once

#include <ostream>
#include <string>

#include "foundation/stringx.h"

// Lets gtest print _stringx values in failure messages.
inline void PrintTo(const _stringx& s, std::ostream* os) {
    *os << '"' << s.narrow() << '"';
}

// UTF-8 text of a _stringx, for comparisons against literals.
inline std::string U8(const _stringx& s) {
    return s.narrow();
}
