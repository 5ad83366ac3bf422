// The project's XML component against the library's own check of a loaded
// tree, on the same bytes: the library skips its check after a load by the
// component (IKvLoadedUnderRules) only because the two never differ in what
// they let through. Shared by a test over the project's document cases and a
// fuzz target.
//
// What is compared, for each file:
//  - a file the component loads is one whose tree the check takes, loaded
//    through the naive DOM (a parser that checks nothing) and as the
//    component holds it; the component vouches for that load, and for no
//    failed one;
//  - a file the component refuses is one whose tree, loaded through the
//    naive DOM, the check refuses, or else one that breaks only what no tree
//    shows (the grammar's spelling, the encoding): that tree, written out
//    again as plain UTF-8, the component must load.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/componentloader.h"
#include "foundation/platform/comptr.h"
#include "foundation/platform/utf8.h"
#include "foundation/platform/variant.h"
#include "foundation/stringx.h"
#include "win32/msxml.h"
#include "xml/xmlrules.h"

namespace kvtest {

class DomVerdicts {
public:
    // The component module and the naive one, by path; `scratch` a file the
    // comparison may write.
    DomVerdicts(_stringx component, _stringx naive, std::filesystem::path scratch)
        : m_component(std::move(component)),
          m_naive(std::move(naive)),
          m_scratch(std::move(scratch)) {}

    // Empty when the two agree on the file at `path`, else what differs.
    std::string Compare(const _stringx& path) {
        CComPtr<IXMLDOMDocument2> strict = New(m_component), naive = New(m_naive);
        if (!strict || !naive)
            return "a document cannot be made";
        const bool taken = Load(strict, path);
        const bool vouched = xmlutils::IsLoadedUnderRules(strict);
        const bool naiveTaken =
            Load(naive, path) && xmlutils::IsAcceptableDocument(naive, xmlutils::TreeText::kByNode);
        if (taken != vouched)
            return taken ? "the component does not vouch for its load"
                         : "the component vouches for a failed load";
        if (taken) {
            if (!naiveTaken)
                return "the component takes a file whose tree the check refuses";
            if (!xmlutils::IsAcceptableDocument(strict))
                return "the check refuses the tree the component loaded";
            return "";
        }
        if (!naiveTaken)
            return "";
        std::string text;
        if (!Write(naive, text))
            return "the naive tree cannot be read";
        if (!WriteBytes(text))
            return "the written tree cannot be stored";
        if (!Load(strict, _stringx(m_scratch.string().c_str())))
            return "the check takes a tree the component refuses however it is written: " + text;
        return "";
    }

private:
    CComPtr<IXMLDOMDocument2> New(const _stringx& module) {
        CComPtr<IXMLDOMDocument2> document;
        kv::ComponentLoader::Process().CreateInstance(module, CLSID_DOMDocument40,
                                                      IID_IXMLDOMDocument2, &document);
        return document;
    }

    static bool Load(IXMLDOMDocument2* document, const _stringx& path) {
        VARIANT_BOOL loaded = VARIANT_FALSE;
        return document->load(CComVariant(path.c_str()), &loaded) == S_OK && loaded == VARIANT_TRUE;
    }

    bool WriteBytes(const std::string& text) {
        std::ofstream out(m_scratch, std::ios::binary | std::ios::trunc);
        out << text;
        return bool(out.flush());
    }

    // The tree as plain UTF-8 XML, every text escaped so that it reads back
    // as it is; false when the DOM fails to answer.
    static bool Write(IXMLDOMDocument* document, std::string& text) {
        class Writer final : public IKvTreeSink {
        public:
            explicit Writer(std::string& out) : m_out(out) {}
            bool OnNode(DOMNodeType type, UINT depth, const OLECHAR* name, UINT nameLength,
                        const OLECHAR* value, UINT valueLength) override {
                CloseTo(depth);
                const std::string n = Utf8(name, nameLength), v = Utf8(value, valueLength);
                switch (type) {
                    case NODE_ELEMENT:
                        m_out += "<" + n;
                        m_open.push_back(n);
                        m_inTag = true;
                        return true;
                    case NODE_TEXT:
                        m_out += Escaped(v, false);
                        return true;
                    case NODE_CDATA_SECTION:
                        m_out += "<![CDATA[" + v + "]]>";
                        return true;
                    case NODE_COMMENT:
                        m_out += "<!--" + v + "-->";
                        return true;
                    case NODE_PROCESSING_INSTRUCTION:
                        // The declaration is left out: the text is UTF-8.
                        if (n != "xml")
                            m_out += "<?" + n + (v.empty() ? "" : " " + v) + "?>";
                        return true;
                    default:
                        return true;  // what the check refuses anyway
                }
            }
            bool OnAttribute(const OLECHAR* name, UINT nameLength, const OLECHAR* value,
                             UINT valueLength) override {
                if (m_inTag)
                    m_out += " " + Utf8(name, nameLength) + "=\"" +
                             Escaped(Utf8(value, valueLength), true) + "\"";
                return true;
            }
            void CloseTo(std::size_t depth) {
                if (m_inTag)
                    m_out += ">";
                m_inTag = false;
                while (m_open.size() >= depth) {
                    m_out += "</" + m_open.back() + ">";
                    m_open.pop_back();
                }
            }

        private:
            static std::string Utf8(const OLECHAR* text, UINT length) {
                std::string out;
                kv::utf8::AppendFromUtf16(out, text, length);
                return out;
            }
            static std::string Escaped(const std::string& text, bool attribute) {
                std::string out;
                for (const char c : text) {
                    switch (c) {
                        case '&':
                            out += "&amp;";
                            break;
                        case '<':
                            out += "&lt;";
                            break;
                        case '>':
                            out += "&gt;";
                            break;
                        case '"':
                            out += attribute ? "&quot;" : "\"";
                            break;
                        case '\r':
                            out += "&#13;";
                            break;
                        case '\n':
                            out += attribute ? "&#10;" : "\n";
                            break;
                        case '\t':
                            out += attribute ? "&#9;" : "\t";
                            break;
                        default:
                            out += c;
                    }
                }
                return out;
            }

            std::string& m_out;
            std::vector<std::string> m_open;
            bool m_inTag = false;
        } writer(text);
        if (xmlutils::ReadDocumentTree(document, &writer, true) != S_OK)
            return false;
        writer.CloseTo(1);
        return true;
    }

    _stringx m_component, m_naive;
    std::filesystem::path m_scratch;
};

}  // namespace kvtest
