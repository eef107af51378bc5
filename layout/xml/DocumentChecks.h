// Checks on a parsed document for what libxml2 lets through but the loader refuses: an encoding
// declaration that contradicts the file's byte-order mark, and attribute defaults that make
// attribute values far more text than the file holds. (The tree builder bounds the text that
// entity references add to attribute values while it stores them.)
#pragma once

#include "layout/xml/CompactTree.h"

#include <QString>
#include <cstdint>
#include <libxml/tree.h>
#include <optional>
#include <string>

namespace lyremap {

// Why a document is refused, and where.
struct DocumentProblem {
    QString reason;
    long line = 0;        // 1-based line in the file, 0 when none applies
    std::string encoding; // libxml2's name of the file's encoding, empty for UTF-8
};

// The most text that entity references in attribute values may add up to: ten times the file,
// and never less than ten million bytes.
std::int64_t attributeExpansionLimit(std::int64_t fileSize);

// A byte-order mark names the encoding: UTF-8, or UTF-16 in either byte order. A declaration
// naming another encoding is refused. HEAD is the file's first bytes (at least 3 when present).
std::optional<DocumentProblem> checkByteOrderMark(const unsigned char* head, std::size_t size,
                                                  const xmlDoc& doc);

// The text that defaults declared in the file's own DTD add to its elements, summed over the
// document, must stay within attributeExpansionLimit(FILESIZE): one long default given to many
// short elements would make reading them cost far more than the file. Every element counts
// each default declared for its name, given or not; an entity's elements count once. Costs
// nothing without declared defaults.
std::optional<DocumentProblem>
checkDefaultExpansion(const xmlDoc& doc, const detail::CompactTree& tree, std::int64_t fileSize);

} // namespace lyremap
