// kvrepo_tool_floor: the least work of `kvrepo items 'TYPE/*' --repo KEY
// --json`, as a whole process with pugixml and the C library alone, no code of
// the library or the tool: parse the data file, read each group folder's
// names with one directory read, keep those the group's patterns match, sort
// them group by group, join each to its stored properties and print one JSON record per
// item with the fields the tool prints.
//
// With --table it prints the tool's table instead: the same columns, each as
// wide as its widest cell in characters.
//
// Built for Windows too (scripts/bench --windows times it under Wine), where
// it reads folders with the system's own search and joins paths with "\\".
//
//   kvrepo_tool_floor DATAFILE TYPE KEY [--table]
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "floor_names.h"

namespace {

using kvbench::Lower;
using kvbench::Matches;
using kvbench::ReadFileNames;

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

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

// Characters, not bytes, of UTF-8 text.
std::size_t Width(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text)
        width += (c & 0xC0) != 0x80;
    return width;
}

int PrintTable(const std::vector<std::pair<std::string, std::string>>& items,
               const std::unordered_map<std::string, pugi::xml_node>& stored, const char* type,
               const char* key) {
    std::vector<std::vector<std::string>> lines{
        {"DISPLAY NAME", "FILE NAME", "REPOSITORY", "DISPLAY PATH", "LOCAL COPY"}};
    lines.reserve(items.size() + 1);
    for (const auto& [name, folder] : items) {
        const std::string fileName = Lower(name);
        const auto entry = stored.find(fileName);
        lines.push_back(
            {entry != stored.end() ? entry->second.attribute("DisplayName").value() : name,
             fileName, key, "<KVREPOSITORY>\\" + std::string(type) + "\\" + fileName,
             folder + kSeparator + name});
    }
    std::size_t widths[5] = {};
    for (const auto& line : lines)
        for (std::size_t i = 0; i < 5; ++i)
            widths[i] = std::max(widths[i], Width(line[i]));
    std::string out;
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < 5; ++i) {
            out += line[i];
            if (i < 4)
                out.append(widths[i] - Width(line[i]) + 2, ' ');
        }
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool table = argc == 5 && std::strcmp(argv[4], "--table") == 0;
    if (argc != 4 && !table) {
        std::fprintf(stderr, "usage: kvrepo_tool_floor DATAFILE TYPE KEY [--table]\n");
        return 2;
    }
#ifdef _WIN32
    // Line ends as the tool writes them, "\n", and the output in large writes.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const std::string dataFile = argv[1];
    const char* type = argv[2];
    const char* key = argv[3];
    pugi::xml_document document;
    if (!document.load_file(dataFile.c_str()))
        return 1;
    const std::string root = dataFile.substr(0, dataFile.find_last_of("/\\") + 1);
    const pugi::xml_node typeNode = document.document_element().child(type);

    std::unordered_map<std::string, pugi::xml_node> stored;
    std::vector<std::pair<std::string, std::string>> items;  // name, folder
    for (pugi::xml_node group : typeNode.children("RepoItem")) {
        for (pugi::xml_node entry : group.children("ItemAttrib"))
            stored.emplace(entry.attribute("FileName").value(), entry);
        std::string folder = group.attribute("Name").value();
        std::replace(folder.begin(), folder.end(), '\\', kSeparator);
        folder = root + folder;
        std::vector<std::string> names;
        if (!ReadFileNames(folder, names))
            continue;
        // Each group's names sorted, groups in their order, as the tool lists them.
        const std::size_t first = items.size();
        for (std::string& name : names)
            if (Matches(name, group.attribute("Wildcard").value()))
                items.emplace_back(std::move(name), folder);
        std::sort(items.begin() + static_cast<std::ptrdiff_t>(first), items.end());
    }

    if (table)
        return PrintTable(items, stored, type, key);
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
        Quote(out, (folder + kSeparator + name).c_str());
        out += ",\n    \"repository\": ";
        Quote(out, key);
        out += "\n  }";
    }
    out += first ? "]\n" : "\n]\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
