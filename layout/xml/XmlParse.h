// Parsing one layout file with libxml2 under the loader's fixed settings: no validation, no
// network, no external DTD or entity ever read, internal entities kept as references to their
// content, libxml2's own size and depth limits on. Errors are collected for this parse only and
// never printed.
#pragma once

#include "layout/xml/CompactTree.h"
#include "layout/xml/DocumentErrors.h"

#include <QString>
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
    std::unique_ptr<detail::CompactTree> tree; // never null
};

// Parses the regular file at PATH. Anything else (missing, a folder, a pipe, a device) and any
// error that libxml2 reports at error level or above, namespace errors included, fails with
// EDOMParseError carrying the first such error, and so does a refusal of the loader's own
// checks. Running out of memory fails with EOleException.
ParsedLayout parseLayoutFile(const QString& path);

} // namespace lyremap
