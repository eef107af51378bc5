// Where the document's elements, attributes and references stand in its decoded (UTF-8) input,
// as offsets into the text, while the tracker counts that text into a LineIndex, which turns
// them into lines and columns. The tracker follows the input buffer from callback to callback
// and counts every byte that reaches it once; text the parser reads and discards between two
// callbacks is skipped by its number of lines.
#pragma once

#include "layout/xml/LineIndex.h"

#include <libxml/parser.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lyremap::detail {

class PositionTracker {
public:
    // Follows the document input of CTXT, counting into LINES. PREFIX is the number of
    // characters of the first line that the parser read before it switched to the encoding the
    // file declares, which its decoded buffer no longer holds.
    PositionTracker(const xmlParserCtxt* ctxt, std::uint32_t prefix, LineIndex& lines);

    // Counts what the parser's buffer holds; called from every callback of the document's parse.
    void follow();
    // Called from the start-element callback with the COUNT written attributes the parser
    // reports (localname, prefix, URI, value, value end, for each): 1 + the offset of the start
    // tag's '<', and in DISTANCES how far each attribute's name stands from it, in order.
    // 0 (and no distances) when the tag is not in the buffer.
    std::uint64_t startTag(int count, const xmlChar* const* attributes,
                           std::vector<std::uint32_t>& distances);
    // Called after startTag for an element with COUNT namespace declarations (prefix, URI, for
    // each, as the parser reports them): in DISTANCES how far each one's name stands from the
    // tag's '<', 0 for one the tag does not hold (a default from the DTD).
    void declarations(int count, const xmlChar* const* namespaces,
                      std::vector<std::uint32_t>& distances);
    // Called from the reference callback: 1 + the offset of the '&' of the reference to an
    // entity whose name has NAMELENGTH bytes, which the parser has just read; 0 for none.
    std::uint64_t reference(std::size_t nameLength);

private:
    // Counts the buffer up to its end; false when the parser reads something other than the
    // document's own input (a parameter entity of the DTD) or has no buffer yet.
    bool countBuffer();
    // The offset of P, a place in the buffer.
    std::uint64_t offsetOf(const xmlChar* p) const;
    // Measures the attribute names of the tag [OPEN, CUR) back from the values the parser read
    // in place. False when a value was copied out of the buffer.
    bool measureInPlace(const xmlChar* open, const xmlChar* cur, int count,
                        const xmlChar* const* attributes, std::vector<std::uint32_t>& distances);
    // The length of NAME, a string of the parser's dictionary.
    std::size_t lengthOf(const xmlChar* name);
    // Measures the names of the tag [OPEN, CUR) by reading the tag: those of its attributes
    // into DISTANCES, and, when DECLARATIONS is given, those of its namespace declarations
    // into it, with the prefix each declares (empty for the default namespace).
    struct Declaration {
        std::string_view prefix;
        std::uint32_t distance = 0;
    };
    static void measureByReading(const xmlChar* open, const xmlChar* cur,
                                 std::vector<std::uint32_t>& distances,
                                 std::vector<Declaration>* declarations = nullptr);

    const xmlParserCtxt* ctxt_;
    LineIndex& lines_;
    std::uint64_t counted_ = 0;        // decoded bytes of the document counted so far
    const xmlChar* tagOpen_ = nullptr; // the tag startTag placed, while its callback runs
    const xmlChar* tagEnd_ = nullptr;
    bool started_ = false;
    std::uint32_t prefix_;
    struct KnownLength {
        const xmlChar* name = nullptr;
        std::size_t length = 0;
    };
    KnownLength lengths_[64]; // recently measured names, by a hash of their address
};

// The number of characters before the end of the encoding declaration's value in HEAD, the
// file's first bytes: what the parser reads before it switches to a declared encoding.
std::uint32_t declaredEncodingPrefix(const unsigned char* head, std::size_t size);

} // namespace lyremap::detail
