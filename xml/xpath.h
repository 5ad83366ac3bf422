// XPath text: whole paths, single steps, the step-splitting rules and the
// library's path templates.
//
// Every path the library builds is XPath 1.0 evaluated against the document
// element: steps are separated by a single "/", a path that begins with "/" or
// "//" starts at the document, and a step is an element name with at most one
// predicate of the form [@name="value"]. Names carry no namespace prefix.
#pragma once

#include <initializer_list>

#include "foundation/stringx.h"

namespace xmlutils {

// A whole path. The text is the path; everything else is _stringx.
class KV_API CKVXPath : public _stringx {
public:
    CKVXPath(const _stringx& path);
    CKVXPath(const CKVXPath& other) = default;
    CKVXPath(CKVXPath&& other) noexcept = default;
    CKVXPath& operator=(const CKVXPath& other) = default;
    CKVXPath& operator=(CKVXPath&& other) noexcept = default;
    virtual ~CKVXPath();
};

// One step of a path, such as RepoItem or Repository[@Key="A"].
class KV_API CKVXPathFragment : public _stringx {
public:
    CKVXPathFragment(const _stringx& step);
    CKVXPathFragment(const CKVXPathFragment& other) = default;
    CKVXPathFragment(CKVXPathFragment&& other) noexcept = default;
    CKVXPathFragment& operator=(const CKVXPathFragment& other) = default;
    CKVXPathFragment& operator=(CKVXPathFragment&& other) noexcept = default;
    virtual ~CKVXPathFragment();

    // The element name of the step: the text before the first "[" (the whole
    // step without one). Unless `keepPrefix` is set, a prefix up to a ":" that
    // stands before the "[" is dropped, so x:Item[@k="v"] gives Item, or x:Item
    // with the prefix kept. A ":" inside the predicate is not a prefix.
    _stringx GetElementName(bool keepPrefix) const;
};

// Splits off the last step: finds the last "/" and sets `step` to the text after
// it, returning its position; without a "/" `step` becomes the whole path and
// the result is -1. An empty path returns -1 and leaves `step` alone. The search
// is purely textual, so a "/" inside a predicate value counts as a separator.
// Throws std::length_error when the position does not fit an int.
KV_API int SplitLastStep(const _stringx& path, _stringx& step);

// Cuts the last step and the "/" before it off the path (the whole path when it
// has no "/"). "//Repositories" becomes "/", then "". An empty path stays empty.
KV_API void RemoveLastStep(_stringx& path);

// The library's path templates. Each %s takes one value, in order.
// The list of repositories in a repository-list file.
constexpr const char kXPathRepositories[] = "//Repositories";
// A repository entry by one attribute: attribute name, value.
constexpr const char kXPathRepositoryByAttrib[] = "Repository[@%s=\"%s\"]";
// The merge-module item groups of a repository data file.
constexpr const char kXPathMergeModuleItems[] = "MergeModules/RepoItem";
// A child step under a path: parent path, step.
constexpr const char kXPathChildStep[] = "%s/%s";
// The element of an item file under a type element: item type, file name.
constexpr const char kXPathItemByFileName[] = "%s/RepoItem/ItemAttrib[@FileName=\"%s\"]";
// The element of an item file under a group path: group path, file name.
constexpr const char kXPathItemAttribByFileName[] = "%s/ItemAttrib[@FileName=\"%s\"]";

// The character that FormatXPath places after the first quote of a predicate
// value that holds its own quote. It is not valid anywhere in an XPath
// expression outside a string literal.
constexpr OLECHAR kXPathBreakMarker = 0x0001;

// Fills an ASCII template: each %s takes the next value, %% gives "%", anything
// else is copied. The number of %s must equal the number of values, otherwise
// std::invalid_argument is thrown (also for a null template).
//
// Values are inserted without escaping. A value that the template places inside
// a predicate's quotes (a %s right after =" or =') and that holds that quote
// itself would end the literal early and could turn the rest of the value into
// a different, valid expression (x" or "1"="1). Such a value is kept, but
// kXPathBreakMarker is inserted right after its first such quote: that quote
// always closes the template's literal, so the marker stands outside any
// literal and the whole path fails to parse, which the document wrapper treats
// as selecting nothing. The step still begins with its element name, so element
// creation from such a path behaves as for any predicate that matches nothing.
// Values anywhere else (element names, group paths) are inserted unchanged.
KV_API CKVXPath FormatXPath(const char* templ, std::initializer_list<_stringx> values);

}  // namespace xmlutils
