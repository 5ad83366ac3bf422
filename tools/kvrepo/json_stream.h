// A JSON array of flat records written to standard output as it is made, laid
// out as PrintJson lays out the same array (two-space indent, names in sorted
// order, UTF-8), so that a listing of many items needs neither a document nor
// its whole text in memory.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "foundation/stringx.h"

namespace kvtool {

// Appends `text` to `out` as a JSON string in UTF-8, escaped as PrintJson
// escapes (a lone surrogate becomes U+FFFD).
void AppendJsonString(std::string& out, const _stringx& text);

class JsonArrayWriter {
public:
    JsonArrayWriter() = default;
    JsonArrayWriter(const JsonArrayWriter&) = delete;
    JsonArrayWriter& operator=(const JsonArrayWriter&) = delete;

    // One record of (name, value) fields; the names must come in sorted
    // order, as PrintJson's objects keep them; a null value is JSON null.
    void Record(std::initializer_list<std::pair<const char*, const _stringx*>> fields);
    // Closes the array and writes what is left. False when standard output
    // refused a write.
    bool Finish();

private:
    void Flush();

    std::string m_buffer = "[";
    bool m_empty = true;
    bool m_failed = false;
};

}  // namespace kvtool
