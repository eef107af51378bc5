// Parsing one layout file with libxml2 under the loader's fixed settings: no validation, no
// network, no external DTD or entity ever read, internal entities kept as references to their
// content, libxml2's own size and depth limits on. Errors are collected for this parse only and
// never printed.
#pragma once

#include "layout/xml/CompactTree.h"
#include "layout/xml/DocumentErrors.h"

#include <QString>
#include <functional>
#include <libxml/tree.h>
#include <memory>

namespace lyremap {

struct XmlDocDeleter {
    void operator()(xmlDoc* doc) const noexcept { xmlFreeDoc(doc); }
};
// An owned libxml2 document.
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocDeleter>;

// Initialises libxml2 once per process; safe to call from anywhere, any number of times.
void ensureXmlInitialised();

// A parsed file: the compact tree of its nodes, and libxml2's document, which holds the names
// the tree points at and the document type with its declarations.
struct ParsedLayout {
    XmlDocPtr doc;
    std::shared_ptr<detail::CompactTree> tree; // never null
};

namespace detail {
// Called on the parsing thread once the root element's start tag is in the tree, with the tree
// and the parser's dictionary, which holds the tree's names, so that another thread can read
// the tree as it grows (see CompactTree). Only for documents whose DTD declares neither
// entities nor attributes: reading other trees needs libxml2's document, which a failed parse
// frees. It must not throw unless it runs out of memory, which fails the parse.
using RootHook = std::function<void(const std::shared_ptr<CompactTree>&, xmlDict*)>;
} // namespace detail

// Parses the regular file at PATH, telling ON_ROOT of the root element (see RootHook) when the
// file has 64 KiB or more.
// Anything else than a regular file (missing, a folder, a pipe, a device) and any error that
// libxml2 reports at error level or above, namespace errors included, fails with
// EDOMParseError carrying the first such error, and so does a refusal of the loader's own
// checks. Running out of memory fails with EOleException.
ParsedLayout parseLayoutFile(const QString& path, const detail::RootHook& onRoot = {});

} // namespace lyremap
