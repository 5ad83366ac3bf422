#include "floors.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "floor_names.h"
#include "system.h"
#include "win32/fileio.h"

namespace fs = std::filesystem;

namespace kvbench {

namespace {

// Enough to read every element and attribute, and to keep the declaration
// when the document is saved again.
constexpr unsigned kParse = pugi::parse_default | pugi::parse_declaration;

class StringWriter final : public pugi::xml_writer {
public:
    explicit StringWriter(std::string& text) : m_text(text) {}
    void write(const void* data, std::size_t size) override {
        m_text.append(static_cast<const char*>(data), size);
    }

private:
    std::string& m_text;
};

// A data file names folders with Windows separators.
fs::path FolderOf(const fs::path& dataFile, std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    return dataFile.parent_path() / name;
}

bool WriteFile(const fs::path& path, const std::string& bytes, bool durable) {
    if (durable)
        return WriteFileDurably(path.string(), bytes);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

std::size_t ListFloor(const fs::path& dataFile, const char* type) {
    pugi::xml_document document;
    if (!document.load_file(dataFile.c_str(), kParse))
        return 0;
    std::size_t listed = 0;
    std::vector<std::string> names;
    std::unordered_map<std::string_view, pugi::xml_node> stored;
    std::string lower;
    for (pugi::xml_node group : document.document_element().child(type).children("RepoItem")) {
        stored.clear();
        for (pugi::xml_node entry : group.children("ItemAttrib"))
            stored.emplace(entry.attribute("FileName").value(), entry);
        names.clear();
        const char* patterns = group.attribute("Wildcard").value();
        if (!ReadFileNames(FolderOf(dataFile, group.attribute("Name").value()).string(), names))
            continue;
        names.erase(
            std::remove_if(names.begin(), names.end(),
                           [&](const std::string& name) { return !Matches(name, patterns); }),
            names.end());
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            lower.assign(name);
            for (char& c : lower)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            const auto found = stored.find(lower);
            // Each item carries its display name: the stored one, or its file's.
            listed += *(found != stored.end() ? found->second.attribute("DisplayName").value()
                                              : name.c_str()) != '\0';
        }
    }
    return listed;
}

bool CommitFloor(const fs::path& dataFile, const fs::path& sourceItem, const std::string& fileName,
                 bool durable) {
    pugi::xml_document document;
    if (!document.load_file(dataFile.c_str(), kParse))
        return false;
    pugi::xml_node group = document.document_element().child("MergeModules").child("RepoItem");
    pugi::xml_node element = group.append_child("ItemAttrib");
    element.append_attribute("FileName") = fileName.c_str();
    element.append_attribute("DisplayName") = fileName.c_str();
    element.append_attribute("Version") = "1.0.0";

    std::string text;
    StringWriter writer(text);
    document.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    const fs::path folder = dataFile.parent_path();
    const fs::path temporary = folder / ".floor-save.tmp";
    std::error_code error;
    if (!WriteFile(temporary, text, durable))
        return false;
    fs::rename(temporary, dataFile, error);
    if (error || (durable && !SyncFolder(folder.string())))
        return false;

    std::ifstream in(sourceItem, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    const fs::path target = folder / "MergeModules" / fileName;
    const fs::path copy = folder / "MergeModules" / ".floor-copy.tmp";
    if (!in || !WriteFile(copy, content, durable))
        return false;
    fs::rename(copy, target, error);
    return !error;
}

std::size_t ParseFloor(const fs::path& dataFile) {
    pugi::xml_document document;
    if (!document.load_file(dataFile.c_str(), kParse))
        return 0;
    std::size_t elements = 0;
    for (pugi::xml_node child : document.document_element().children())
        elements += child.type() == pugi::node_element;
    return elements;
}

std::size_t RepositoriesFloor(const fs::path& listFile) {
    pugi::xml_document document;
    if (!document.load_file(listFile.c_str(), kParse))
        return 0;
    static const std::string placeholder = "##TestingRepositoriesDir##";
    const std::string folder = listFile.parent_path().string();
    std::size_t present = 0;
    for (pugi::xml_node entry : document.child("Repositories").children()) {
        std::string path = entry.attribute("Path").value();
        const auto at = path.find(placeholder);
        if (at != std::string::npos)
            path.replace(at, placeholder.size(), folder);
        std::error_code error;
        present += !path.empty() && fs::is_regular_file(path, error);
    }
    return present;
}

}  // namespace kvbench
