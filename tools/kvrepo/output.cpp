#include "output.h"

#include <algorithm>

#include "foundation/platform/console.h"

namespace kvtool {

namespace {

constexpr UINT kUtf8 = 65001;

using kv::platform::StandardStream;
using kv::platform::WriteStandardText;

// Columns line up by characters, not by UTF-8 bytes.
std::size_t Width(const std::string& utf8) {
    std::size_t width = 0;
    for (unsigned char c : utf8)
        width += (c & 0xC0) != 0x80 ? 1 : 0;
    return width;
}

nlohmann::json Utf8Json(const nlohmann::json& value) {
    if (value.is_string())
        return Utf8(value.get_ref<const std::string&>());
    if (value.is_array()) {
        nlohmann::json array = nlohmann::json::array();
        for (const auto& element : value)
            array.push_back(Utf8Json(element));
        return array;
    }
    if (value.is_object()) {
        nlohmann::json object = nlohmann::json::object();
        for (const auto& [name, element] : value.items())
            object[Utf8(name)] = Utf8Json(element);
        return object;
    }
    return value;
}

}  // namespace

void ThrowStatus(const std::string& what, long status) {
    throw Failure(what + ": " + kv::status::Describe(status));
}

std::string Utf8(const std::string& text) {
    // ASCII is the same in every code page the tool meets, and most text is.
    if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; }))
        return text;
    const _stringx wide(text);
    const int size = wide.convert(kUtf8, nullptr, 0);
    if (size <= 0)
        return std::string();
    std::string utf8(static_cast<std::size_t>(size), '\0');
    wide.convert(kUtf8, &utf8[0], size);
    // Without the terminator the conversion counts.
    while (!utf8.empty() && utf8.back() == '\0')
        utf8.pop_back();
    return utf8;
}

void Print(const std::string& text) {
    WriteStandardText(StandardStream::kOutput, Utf8(text));
}

void PrintError(const std::string& text) {
    WriteStandardText(StandardStream::kError, Utf8(text));
}

void Warn(const std::string& text) {
    PrintError(std::string(kProgram) + ": " + text + "\n");
}

void WarnNoRepositories(const std::string& listFile) {
    Warn("no repository in " + listFile +
         " has a data file yet; make one with: kvrepo create Local <folder>/Repository.xml");
}

nlohmann::json OptionalText(long status, const _stringx& value) {
    return status == 0 ? nlohmann::json(Text(value)) : nlohmann::json();
}

void PrintJson(const nlohmann::json& value) {
    WriteStandardText(
        StandardStream::kOutput,
        Utf8Json(value).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
}

void PrintTable(const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows) {
    // Cells in UTF-8 first, so that widths count characters; each cell's
    // width is counted once.
    struct Cell {
        std::string text;
        std::size_t width;
    };
    std::vector<std::vector<Cell>> lines;
    lines.reserve(rows.size() + 1);
    std::vector<std::size_t> widths(header.size());
    std::size_t bytes = 0;
    const auto add = [&](const std::vector<std::string>& cells) {
        std::vector<Cell>& line = lines.emplace_back();
        line.reserve(cells.size());
        for (const std::string& cell : cells) {
            std::string text = Utf8(cell);
            const std::size_t width = Width(text);
            if (line.size() < widths.size())
                widths[line.size()] = std::max(widths[line.size()], width);
            bytes += text.size() + 2;
            line.push_back({std::move(text), width});
        }
    };
    add(header);
    for (const auto& row : rows)
        add(row);

    std::string text;
    text.reserve(bytes + lines.size() * (widths.size() * 8 + 1));
    for (const auto& cells : lines) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            text += cells[i].text;
            if (i + 1 < cells.size())
                text.append(widths[i] - cells[i].width + 2, ' ');
        }
        text += '\n';
    }
    WriteStandardText(StandardStream::kOutput, text);
}

}  // namespace kvtool
