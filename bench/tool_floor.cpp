// kvrepo_tool_floor: the least work of `kvrepo items 'TYPE/*' --repo KEY
// --json`, as a whole process with pugixml and the C library alone, no code of
// the library or the tool: parse the data file, read each group folder's
// names with one directory read, keep those the group's patterns match, sort
// them, join each to its stored properties and print one JSON record per
// item with the fields the tool prints.
//
//   kvrepo_tool_floor DATAFILE TYPE KEY
#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

namespace {

// Whether `name` ends in one of the extensions of `patterns` ("*.msm;*.txt";
// "*" or "*.*" takes every name).
bool Matches(const std::string& name, const char* patterns) {
    const std::string all(patterns);
    for (std::size_t at = 0; at <= all.size();) {
        std::size_t end = all.find(';', at);
        if (end == std::string::npos)
            end = all.size();
        const std::string pattern = all.substr(at, end - at);
        at = end + 1;
        if (pattern == "*" || pattern == "*.*")
            return true;
        if (pattern.size() < 2 || pattern[0] != '*')
            continue;
        const std::string tail = pattern.substr(1);
        if (name.size() >= tail.size() &&
            strcasecmp(name.c_str() + name.size() - tail.size(), tail.c_str()) == 0)
            return true;
    }
    return false;
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Appends `text` as a JSON string.
void Quote(std::string& out, const char* text) {
    out += '"';
    for (const char* c = text; *c; ++c) {
        switch (*c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                if (static_cast<unsigned char>(*c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", *c);
                    out += escaped;
                } else {
                    out += *c;
                }
        }
    }
    out += '"';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: kvrepo_tool_floor DATAFILE TYPE KEY\n");
        return 2;
    }
    const std::string dataFile = argv[1];
    const char* type = argv[2];
    const char* key = argv[3];
    pugi::xml_document document;
    if (!document.load_file(dataFile.c_str()))
        return 1;
    const std::string root = dataFile.substr(0, dataFile.find_last_of('/') + 1);
    const pugi::xml_node typeNode = document.document_element().child(type);

    std::unordered_map<std::string, pugi::xml_node> stored;
    std::vector<std::pair<std::string, std::string>> items;  // name, folder
    for (pugi::xml_node group : typeNode.children("RepoItem")) {
        for (pugi::xml_node entry : group.children("ItemAttrib"))
            stored.emplace(entry.attribute("FileName").value(), entry);
        std::string folder = group.attribute("Name").value();
        std::replace(folder.begin(), folder.end(), '\\', '/');
        folder = root + folder;
        DIR* dir = opendir(folder.c_str());
        if (!dir)
            continue;
        while (const dirent* found = readdir(dir))
            if (found->d_type == DT_REG &&
                Matches(found->d_name, group.attribute("Wildcard").value()))
                items.emplace_back(found->d_name, folder);
        closedir(dir);
    }
    std::sort(items.begin(), items.end());

    std::string out = "[\n";
    out.reserve(items.size() * 256);
    bool first = true;
    for (const auto& [name, folder] : items) {
        const std::string fileName = Lower(name);
        const auto entry = stored.find(fileName);
        const char* display =
            entry != stored.end() ? entry->second.attribute("DisplayName").value() : name.c_str();
        out += first ? "  {\n    \"displayName\": " : ",\n  {\n    \"displayName\": ";
        first = false;
        Quote(out, display);
        out += ",\n    \"displayPath\": ";
        Quote(out, ("<KVREPOSITORY>\\" + std::string(type) + "\\" + fileName).c_str());
        out += ",\n    \"fileName\": ";
        Quote(out, fileName.c_str());
        out += ",\n    \"localCopy\": ";
        Quote(out, (folder + "/" + name).c_str());
        out += ",\n    \"repository\": ";
        Quote(out, key);
        out += "\n  }";
    }
    out += first ? "]\n" : "\n]\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
