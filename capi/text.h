// Text across the C interface: UTF-8 outside, the library's UTF-16 inside.
#pragma once

#include <string>

#include "foundation/stringx.h"

namespace kvc {

// What a text is for, which decides what it must survive: kNarrowed text
// (paths, keys, item paths, FileName values) reaches the system in the ANSI
// code page, so it must be representable there; kPath text is also made
// absolute.
enum class TextUse { kPlain, kNarrowed, kPath };

// `utf8` as the library's text. KVREPO_OK; KVREPO_E_NULL_ARGUMENT for NULL
// (unless `nullable`, which reads NULL as empty); KVREPO_E_INVALID_UTF8;
// KVREPO_E_UNREPRESENTABLE for narrowed text the ANSI code page cannot hold.
int FromUtf8(const char* utf8, TextUse use, _stringx& text, bool nullable = false);

// The library's text as UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(const _stringx& text);

// A copy of `text` as UTF-8 in memory that kvrepo_free releases; throws
// std::bad_alloc when there is none.
char* OwnedUtf8(const _stringx& text);

// `path` made absolute against the current folder, normalized; unchanged
// when empty.
_stringx AbsolutePath(const _stringx& path);

}  // namespace kvc
