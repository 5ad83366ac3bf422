// The byte form of a document file: how it is recognised and decoded to the
// UTF-8 text the parser reads, and how a serialised document is written back
// in the same form.
#pragma once

#include <string>

#include "foundation/platform/types.h"

namespace kv {
namespace xmldom {

struct FileForm {
    enum class Kind { kUtf8, kUtf16LE, kUtf16BE, kCodePage };
    Kind kind = Kind::kUtf8;
    bool bom = false;   // a byte-order mark leads the file (Unicode forms only)
    UINT codePage = 0;  // the single-byte code page of kCodePage
};

// The form a file's bytes claim, without looking further: a byte-order mark,
// UTF-16 without a mark (the text opens with "<" and a zero byte), otherwise
// the encoding the declaration names, UTF-8 by default. False for fewer than
// two bytes or an encoding that is not supported.
bool RecogniseForm(const std::string& bytes, FileForm& form);

// Whether two forms are one encoding, a byte-order mark or none.
inline bool IsSameEncoding(const FileForm& a, const FileForm& b) {
    return a.kind == b.kind && (a.kind != FileForm::Kind::kCodePage || a.codePage == b.codePage);
}

// Recognises the form of a file's bytes (RecogniseForm) and gives its text as
// UTF-8 without the mark. False for an empty file, an encoding that is
// not supported, bytes that are not valid in the encoding, a Unicode file
// whose declaration names another encoding than its bytes are in (UTF-16 that
// says "UTF-8", or the reverse after a UTF-8 mark), or UTF-16 with neither a
// byte-order mark nor a declaration that names its encoding.
bool DecodeDocument(const std::string& bytes, FileForm& form, std::string& utf8);
// The same in place: `text` holds the file's bytes and becomes the UTF-8 text
// (a UTF-8 file, the usual form, is only checked, not copied). Its content is
// unspecified when this fails.
bool DecodeDocument(std::string& text, FileForm& form);

// The bytes of serialised UTF-8 document text written in `form`. Characters a
// single-byte code page lacks become character references where markup
// allows them. False when the code page cannot be converted.
bool EncodeDocument(const std::string& utf8, const FileForm& form, std::string& bytes);

// The single-byte code page of an encoding name from a declaration, matched
// without regard to case: "windows-NNNN" is code page NNNN, "iso-8859-N"
// 28590 + N, "latin1" 28591, "us-ascii" 20127; 0 for anything else (and for
// the Windows code pages that need more than one byte per character).
UINT SingleByteCodePage(const std::string& encodingName);

}  // namespace xmldom
}  // namespace kv
