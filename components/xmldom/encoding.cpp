#include "components/xmldom/encoding.h"

#include <cctype>
#include <climits>

#include "components/xmldom/declaration.h"
#include "components/xmldom/singlebyte.h"
#include "components/xmldom/text.h"
#include "win32/codepage.h"

namespace kv {
namespace xmldom {

namespace {

const std::string kUtf8Bom = "\xEF\xBB\xBF";

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWith(const std::string& text, const char* prefix, std::size_t& rest) {
    const std::string head(prefix);
    if (text.compare(0, head.size(), head) != 0)
        return false;
    rest = head.size();
    return true;
}

// The number that makes up the whole rest of `text` from `at`; -1 when there
// is none (or it is implausibly long).
long TrailingNumber(const std::string& text, std::size_t at) {
    if (at >= text.size() || text.size() - at > 5)
        return -1;
    long value = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool IsUtf8(const std::string& text) {
    return text.size() <= INT_MAX &&
           (text.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                                static_cast<int>(text.size()), nullptr, 0) > 0);
}

// Whether the declaration of decoded UTF-8 text names no encoding or the one
// the bytes were recognised in: a file that says it is in another encoding
// than it is is not well formed. Nor is a file in another encoding than UTF-8
// that opens with neither a byte-order mark nor a declaration that names it.
bool DeclarationAgrees(const std::string& utf8, const FileForm& form) {
    const std::string declared = Lower(DeclaredEncoding(utf8));
    if (declared.empty())
        return form.bom || form.kind == FileForm::Kind::kUtf8;
    switch (form.kind) {
        case FileForm::Kind::kUtf8:
            return declared == "utf-8" || declared == "utf8";
        case FileForm::Kind::kUtf16LE:
            return declared == "utf-16" || declared == "utf-16le";
        case FileForm::Kind::kUtf16BE:
            return declared == "utf-16" || declared == "utf-16be";
        case FileForm::Kind::kCodePage:
            break;
    }
    return true;
}

// False for an odd number of bytes or half a surrogate pair, which the
// conversion to UTF-8 would turn into U+FFFD.
bool DecodeUtf16(const std::string& bytes, std::size_t start, bool bigEndian, std::string& utf8) {
    if ((bytes.size() - start) % 2 != 0)
        return false;
    std::basic_string<OLECHAR> text;
    text.reserve((bytes.size() - start) / 2);
    bool high = false;  // the last unit began a surrogate pair
    for (std::size_t i = start; i < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        const auto unit =
            static_cast<OLECHAR>(bigEndian ? (first << 8) | second : (second << 8) | first);
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high != low)
            return false;
        high = unit >= 0xD800 && unit <= 0xDBFF;
        text.push_back(unit);
    }
    if (high)
        return false;
    utf8 = Utf8FromUtf16(text.data(), text.size());
    return true;
}

void EncodeUtf16(const std::string& utf8, bool bigEndian, bool bom, std::string& bytes) {
    const std::basic_string<OLECHAR> text = Utf16FromUtf8(utf8.data(), utf8.size());
    bytes.clear();
    bytes.reserve(text.size() * 2 + 2);
    auto put = [&](OLECHAR unit) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        bytes.push_back(bigEndian ? high : low);
        bytes.push_back(bigEndian ? low : high);
    };
    if (bom)
        put(0xFEFF);
    for (OLECHAR unit : text)
        put(unit);
}

}  // namespace

UINT SingleByteCodePage(const std::string& encodingName) {
    const std::string name = Lower(encodingName);
    if (name == "latin1" || name == "latin-1")
        return 28591;
    if (name == "us-ascii" || name == "ascii")
        return kAsciiCodePage;
    std::size_t rest = 0;
    if (StartsWith(name, "iso-8859-", rest) || StartsWith(name, "iso_8859-", rest)) {
        const long part = TrailingNumber(name, rest);
        // ISO 8859-12 was never published.
        return part >= 1 && part <= 16 && part != 12 ? static_cast<UINT>(28590 + part) : 0;
    }
    if (StartsWith(name, "windows-", rest)) {
        // The single-byte Windows code pages: Thai and 1250-1258.
        const long page = TrailingNumber(name, rest);
        return page == 874 || (page >= 1250 && page <= 1258) ? static_cast<UINT>(page) : 0;
    }
    return 0;
}

bool DecodeDocument(const std::string& bytes, FileForm& form, std::string& utf8) {
    std::string text = bytes;
    if (!DecodeDocument(text, form))
        return false;
    utf8.swap(text);
    return true;
}

bool RecogniseForm(const std::string& bytes, FileForm& form) {
    form = FileForm();
    if (bytes.size() < 2)
        return false;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    if (bytes.compare(0, 3, kUtf8Bom) == 0) {
        form.bom = true;
        return true;
    }
    // UTF-16 with a byte-order mark, or without one when the text opens with
    // "<" (no UTF-8 file holds a zero byte).
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF)) {
        form.kind = b0 == 0xFE ? FileForm::Kind::kUtf16BE : FileForm::Kind::kUtf16LE;
        form.bom = true;
        return true;
    }
    if ((b0 == '<' && b1 == 0) || (b0 == 0 && b1 == '<')) {
        form.kind = b0 == 0 ? FileForm::Kind::kUtf16BE : FileForm::Kind::kUtf16LE;
        return true;
    }
    const std::string declared = Lower(DeclaredEncoding(bytes));
    if (declared.empty() || declared == "utf-8" || declared == "utf8")
        return true;
    form.kind = FileForm::Kind::kCodePage;
    form.codePage = SingleByteCodePage(declared);
    return form.codePage != 0;
}

bool DecodeDocument(std::string& text, FileForm& form) {
    if (!RecogniseForm(text, form))
        return false;
    std::string utf8;
    switch (form.kind) {
        case FileForm::Kind::kUtf8:
            // UTF-8, the usual form, is already the text: it is only checked.
            if (!form.bom)
                return IsUtf8(text);
            text.erase(0, kUtf8Bom.size());
            return IsUtf8(text) && DeclarationAgrees(text, form);
        case FileForm::Kind::kUtf16LE:
        case FileForm::Kind::kUtf16BE:
            if (!DecodeUtf16(text, form.bom ? 2 : 0, form.kind == FileForm::Kind::kUtf16BE, utf8))
                return false;
            text.swap(utf8);
            return DeclarationAgrees(text, form);
        case FileForm::Kind::kCodePage: {
            std::basic_string<OLECHAR> wide;
            if (!DecodeSingleByte(form.codePage, text, wide))
                return false;
            text = Utf8FromUtf16(wide.data(), wide.size());
            return true;
        }
    }
    return false;
}

bool EncodeDocument(const std::string& utf8, const FileForm& form, std::string& bytes) {
    switch (form.kind) {
        case FileForm::Kind::kUtf8:
            bytes = form.bom ? kUtf8Bom + utf8 : utf8;
            return true;
        case FileForm::Kind::kUtf16LE:
        case FileForm::Kind::kUtf16BE:
            EncodeUtf16(utf8, form.kind == FileForm::Kind::kUtf16BE, form.bom, bytes);
            return true;
        case FileForm::Kind::kCodePage:
            return EncodeSingleByte(form.codePage, Utf16FromUtf8(utf8.data(), utf8.size()), bytes);
    }
    return false;
}

}  // namespace xmldom
}  // namespace kv
