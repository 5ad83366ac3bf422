#include "output.h"

#include <algorithm>
#include <iostream>

#include "status_text.h"

namespace kvtool {

void ThrowStatus(const std::string& what, long status) {
    throw Failure(what + ": " + DescribeStatus(status));
}

void Warn(const std::string& text) {
    std::cerr << kProgram << ": " << text << std::endl;
}

nlohmann::json OptionalText(long status, const _stringx& value) {
    return status == 0 ? nlohmann::json(Text(value)) : nlohmann::json();
}

void PrintJson(const nlohmann::json& value) {
    std::cout << value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

namespace {
// Columns line up by characters, not by UTF-8 bytes.
std::size_t Width(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text)
        width += (c & 0xC0) != 0x80 ? 1 : 0;
    return width;
}
}  // namespace

void PrintTable(const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths(header.size());
    for (std::size_t i = 0; i < header.size(); ++i)
        widths[i] = Width(header[i]);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], Width(row[i]));

    auto print = [&widths](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            line += cells[i];
            if (i + 1 < cells.size())
                line += std::string(widths[i] - Width(cells[i]) + 2, ' ');
        }
        std::cout << line << '\n';
    };
    print(header);
    for (const auto& row : rows)
        print(row);
}

}  // namespace kvtool
