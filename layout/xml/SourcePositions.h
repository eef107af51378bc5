// Where in the file the parser stands, as an editor counts: 1-based lines ending at LF (so CR
// LF is one line end), 1-based columns counting characters, a tab or a multi-byte character
// as one. The tracker follows the document's decoded (UTF-8) input buffer from callback to
// callback, so every byte is counted once; libxml2's own column counts bytes in its fast paths.
#pragma once

#include "layout/xml/CompactTree.h"

#include <libxml/parser.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lyremap::detail {

class PositionTracker {
public:
    // Follows the document input of CTXT. PREFIX is the number of characters of the first line
    // that the parser read before it switched to the encoding the file declares, which its
    // decoded buffer no longer holds.
    PositionTracker(const xmlParserCtxt* ctxt, std::uint32_t prefix);

    // Counts up to where the parser stands; called from every callback of the document's parse.
    void follow();
    // Called from the start-element callback with the COUNT written attributes the parser
    // reports (localname, prefix, URI, value, value end, for each): the position of the start
    // tag's '<', and in PLACES the position of each attribute's name, in order. Nothing (and
    // no places) when the tag is not in the buffer.
    TextPosition startTag(int count, const xmlChar* const* attributes,
                          std::vector<TextPosition>& places);
    // Called from the reference callback: the position of the '&' of the reference to an entity
    // whose name has NAMELENGTH bytes, which the parser has just read.
    TextPosition reference(std::size_t nameLength);

private:
    // Counts from where the count stands up to P, a place in the current buffer.
    bool advanceTo(const xmlChar* p);
    // Places the attribute names of the tag [OPEN, CUR) from the values the parser read in
    // place, skipping those values uncounted: they are ASCII without line ends. False when a
    // value was copied out of the buffer.
    bool placeInPlace(const xmlChar* open, const xmlChar* cur, int count,
                      const xmlChar* const* attributes, std::vector<TextPosition>& places);
    // The length of NAME, a string of the parser's dictionary.
    std::size_t lengthOf(const xmlChar* name);
    // Places the attribute names of the tag [OPEN, CUR) by reading the tag.
    void placeByReading(const xmlChar* open, const xmlChar* cur, std::vector<TextPosition>& places);

    const xmlParserCtxt* ctxt_;
    std::uint64_t offset_ = 0; // decoded bytes of the document counted so far
    std::uint32_t line_ = 1;
    std::uint32_t column_ = 1;
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
