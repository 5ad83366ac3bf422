// The meaning of the library's status codes, for one-line error messages.
#pragma once

#include <string>

namespace kvtool {

// "status -103 (an XML data file was not opened or did not parse)", "system
// error 5 (Access is denied.)" or "HRESULT 0x80070005 (Access is denied.)":
// the code together with what it means, never the bare number.
std::string DescribeStatus(long status);

}  // namespace kvtool
