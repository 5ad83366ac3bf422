// Helpers of the XML tests: fixture files in a temporary folder, reading them
// back, and a status sink that records what it is told.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Backend/inc/XMLIntercessor.h"
#include "foundation/repostatus.h"
#include "loader_test_util.h"
#include "test_util.h"

namespace kvtest {

inline std::string WriteText(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Records every message; answers overwrite questions with yes.
class RecordingStatus : public IRepoStatus {
public:
    long OnError(const _stringx& text) override {
        messages.push_back(U8(text));
        return 0;
    }
    long OnStatus(const _stringx&) override { return 0; }
    std::vector<std::string> messages;
};

// The text of one attribute in a map, or "<none>".
inline std::string Attr(const XmlAttribMap& map, const char16_t* name) {
    const auto found = map.find(_stringx(name));
    if (found == map.end())
        return "<none>";
    CComVariant text(found->second);
    text.ChangeType(VT_BSTR);
    return U8(_stringx(text.bstrVal));
}

}  // namespace kvtest
