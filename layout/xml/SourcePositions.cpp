#include "layout/xml/SourcePositions.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>

namespace lyremap::detail {

namespace {

bool isSpace(xmlChar c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Moves POSITION over [FROM, TO) one byte at a time.
void stepBytes(std::uint32_t& line, std::uint32_t& column, const xmlChar* from, const xmlChar* to) {
    for (; from < to; ++from) {
        if (*from == '\n') {
            ++line;
            column = 1;
        } else {
            column += (*from & 0xC0) != 0x80; // UTF-8 lead bytes start characters
        }
    }
}

// The number of bytes of WORD whose bit 7 is set, when no other bit is: one multiplication
// adds the eight bytes up (no population-count instruction is assumed).
unsigned highBits(std::uint64_t word) {
    return static_cast<unsigned>(((word >> 7) * 0x0101010101010101u) >> 56);
}

// Moves POSITION over [FROM, TO), where [FROM, END) may be read. Eight bytes at a time: each
// word's line ends and UTF-8 continuation bytes are found as bit masks, and a word read past
// TO (but not past END) has the bytes beyond TO masked off, so a short stretch (the white
// space between tags, a name with its '=') costs one word.
// The position is passed and returned by value, in registers: one written to memory in halves
// and read back whole would stall.
inline TextPosition step(TextPosition position, const xmlChar* from, const xmlChar* to,
                         const xmlChar* end) {
    std::uint32_t line = position.line;
    std::uint32_t column = position.column;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kHigh = 0x8080808080808080u;
        constexpr std::uint64_t kLow = 0x7F7F7F7F7F7F7F7Fu;
        constexpr std::uint64_t kLineEnds = 0x0A0A0A0A0A0A0A0Au;
        while (from < to && end - from >= 8) {
            std::uint64_t word;
            std::memcpy(&word, from, sizeof word);
            const auto count = static_cast<unsigned>(std::min<std::ptrdiff_t>(to - from, 8));
            const std::uint64_t kept =
                count == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * count)) - 1;
            // Bit 7 of each byte 10xxxxxx, and of each byte that is exactly '\n'.
            const std::uint64_t continuation = word & ~(word << 1) & kHigh & kept;
            const std::uint64_t x = word ^ kLineEnds;
            const std::uint64_t lineEnds = ~(((x & kLow) + kLow) | x | kLow) & kept;
            if (lineEnds == 0) {
                column += count - highBits(continuation);
            } else {
                line += highBits(lineEnds);
                // The bytes after the last line end start the new line.
                const int last = (63 - std::countl_zero(lineEnds)) / 8;
                const std::uint64_t after = last == 7 ? 0 : continuation >> (8 * (last + 1));
                column = 1 + (count - 1 - static_cast<unsigned>(last)) - highBits(after);
            }
            from += count;
        }
    }
    stepBytes(line, column, from, to);
    return TextPosition{line, column};
}

// True when [FROM, TO) holds neither a line end nor a byte of a multi-byte character, so that
// its columns are its byte offsets: most tags are written so.
bool plainLine(const xmlChar* from, const xmlChar* to) {
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    std::uint64_t found = 0;
    for (; to - from >= 8; from += 8) {
        std::uint64_t word;
        std::memcpy(&word, from, sizeof word);
        const std::uint64_t x = word ^ (kOnes * '\n');
        found |= (word | ((x - kOnes) & ~x)) & kHigh; // a high bit, or a byte that is '\n'
    }
    for (; from < to; ++from)
        found |= (*from & 0x80) | (*from == '\n');
    return found == 0;
}

} // namespace

PositionTracker::PositionTracker(const xmlParserCtxt* ctxt, std::uint32_t prefix)
    : ctxt_(ctxt), prefix_(prefix) {}

bool PositionTracker::advanceTo(const xmlChar* p) {
    const xmlParserInput* input = ctxt_->input;
    if (ctxt_->inputNr < 1 || input != ctxt_->inputTab[0] || input->base == nullptr ||
        p < input->base || p > input->end)
        return false; // inside a parameter entity of the DTD, or no buffer yet
    const std::uint64_t base = input->consumed;
    if (!started_) {
        started_ = true;
        const std::string_view start(
            reinterpret_cast<const char*>(input->base),
            std::size_t(std::min<std::ptrdiff_t>(input->end - input->base, 5)));
        // A UTF-8 byte-order mark is no character of the first line. A buffer that does not
        // start with the XML declaration lost the bytes read before an encoding switch.
        if (base == 0 && start.starts_with("\xEF\xBB\xBF"))
            offset_ = 3;
        else if (base == 0 && !start.starts_with("<?xml"))
            column_ += prefix_;
    }
    const std::uint64_t target = base + static_cast<std::uint64_t>(p - input->base);
    if (target <= offset_)
        return true;
    TextPosition here{line_, column_};
    if (offset_ < base) {
        // The parser discarded text it read in one go without a callback (a long comment,
        // say): resynchronise on libxml2's line count, and count the lost bytes as
        // characters when they lie on the same line.
        const auto* cur = std::min(input->cur, input->end);
        const std::uint32_t newlines =
            cur > input->base
                ? static_cast<std::uint32_t>(std::count(input->base, cur, xmlChar('\n')))
                : 0;
        const auto lineAtCur = static_cast<std::uint32_t>(std::max(1, input->line));
        const std::uint32_t lineAtBase = lineAtCur > newlines ? lineAtCur - newlines : 1;
        if (lineAtBase > here.line)
            here = TextPosition{lineAtBase, 1};
        else
            here.column += static_cast<std::uint32_t>(base - offset_);
        offset_ = base;
    }
    here = step(here, input->base + (offset_ - base), p, input->end);
    line_ = here.line;
    column_ = here.column;
    offset_ = target;
    return true;
}

void PositionTracker::follow() {
    if (ctxt_->input != nullptr)
        advanceTo(std::min(ctxt_->input->cur, ctxt_->input->end));
}

TextPosition PositionTracker::startTag(int count, const xmlChar* const* attributes,
                                       std::vector<TextPosition>& places) {
    places.clear();
    const xmlParserInput* input = ctxt_->input;
    if (input == nullptr || input->cur == nullptr || input->base == nullptr)
        return {};
    // The parser stands at the end of the tag; a start tag holds no literal '<'.
    const xmlChar* cur = std::min(input->cur, input->end);
    const auto* open = static_cast<const xmlChar*>(
        cur > input->base ? memrchr(input->base, '<', std::size_t(cur - input->base)) : nullptr);
    if (open == nullptr || !advanceTo(open))
        return {};
    const TextPosition tag{line_, column_};
    if (!placeInPlace(open, cur, count, attributes, places)) {
        places.clear();
        placeByReading(open, cur, places);
    }
    // The tag is counted: go on from its end.
    offset_ += static_cast<std::uint64_t>(cur - open);
    return tag;
}

bool PositionTracker::placeInPlace(const xmlChar* open, const xmlChar* cur, int count,
                                   const xmlChar* const* attributes,
                                   std::vector<TextPosition>& places) {
    // The place is kept in locals, not in a struct a lambda updates: the places are written
    // out as whole records, and a record read right after one of its halves was stored stalls.
    std::uint32_t line = line_;
    std::uint32_t column = column_;
    const xmlChar* counted = open;
    const bool plain = plainLine(open, cur);
    const auto move = [plain, cur](std::uint32_t& line, std::uint32_t& column, const xmlChar* from,
                                   const xmlChar* to) {
        if (plain) {
            column += static_cast<std::uint32_t>(to - from);
            return;
        }
        const TextPosition at = step(TextPosition{line, column}, from, to, cur);
        line = at.line;
        column = at.column;
    };
    for (int i = 0; i < count; ++i) {
        const xmlChar* const* a = attributes + 5 * i;
        const xmlChar* value = a[3];
        const xmlChar* valueEnd = a[4];
        if (value <= counted || valueEnd < value || valueEnd >= cur)
            return false;
        // Back from the value over its quote, white space, '=' and white space to the name.
        const xmlChar* p = value - 2;
        while (p > counted && isSpace(*p))
            --p;
        if (*p != '=')
            return false;
        --p;
        while (p > counted && isSpace(*p))
            --p;
        std::size_t length = lengthOf(a[0]);
        if (a[1] != nullptr)
            length += lengthOf(a[1]) + 1;
        const xmlChar* name = p + 1 - length;
        if (name <= counted)
            return false;
        move(line, column, counted, name);
        places.push_back(TextPosition{line, column});
        move(line, column, name, value);
        column += static_cast<std::uint32_t>(valueEnd - value);
        counted = valueEnd;
    }
    move(line, column, counted, cur);
    line_ = line;
    column_ = column;
    return true;
}

std::size_t PositionTracker::lengthOf(const xmlChar* name) {
    // Names are the parser's dictionary copies: a few distinct ones, each at one address.
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(name));
    KnownLength& slot = lengths_[(address * 0x9E3779B97F4A7C15u) >> 58];
    if (slot.name != name)
        slot = KnownLength{name, std::strlen(reinterpret_cast<const char*>(name))};
    return slot.length;
}

void PositionTracker::placeByReading(const xmlChar* open, const xmlChar* cur,
                                     std::vector<TextPosition>& places) {
    // One pass over the tag: its name, then name="value" pairs.
    enum class State { TagName, Between, Name, AfterName, BeforeValue, Value };
    State state = State::TagName;
    xmlChar quote = 0;
    const xmlChar* name = nullptr;
    TextPosition namePosition;
    std::uint32_t line = line_;
    std::uint32_t column = column_ + 1;
    for (const xmlChar* p = open + 1; p < cur; ++p) {
        const xmlChar c = *p;
        switch (state) {
        case State::TagName:
        case State::Between:
            if (isSpace(c))
                state = State::Between;
            else if (state == State::Between && c != '/' && c != '>') {
                state = State::Name;
                name = p;
                namePosition = TextPosition{line, column};
            }
            break;
        case State::Name:
        case State::AfterName:
            if (state == State::Name && (isSpace(c) || c == '=')) {
                const std::string_view written(reinterpret_cast<const char*>(name),
                                               std::size_t(p - name));
                if (written != "xmlns" && !written.starts_with("xmlns:"))
                    places.push_back(namePosition);
                state = State::AfterName;
            }
            if (c == '=')
                state = State::BeforeValue;
            break;
        case State::BeforeValue:
            if (c == '"' || c == '\'') {
                quote = c;
                state = State::Value;
            }
            break;
        case State::Value:
            if (c == quote)
                state = State::Between;
            break;
        }
        if (c == '\n') {
            ++line;
            column = 1;
        } else {
            column += (c & 0xC0) != 0x80;
        }
    }
    line_ = line;
    column_ = column;
}

TextPosition PositionTracker::reference(std::size_t nameLength) {
    const xmlParserInput* input = ctxt_->input;
    if (input == nullptr || input->cur == nullptr || input->base == nullptr)
        return {};
    const xmlChar* cur = std::min(input->cur, input->end);
    if (std::size_t(cur - input->base) < nameLength + 2)
        return {};
    const xmlChar* ampersand = cur - nameLength - 2;
    if (*ampersand != '&' || !advanceTo(ampersand))
        return {};
    return TextPosition{line_, column_};
}

std::uint32_t declaredEncodingPrefix(const unsigned char* head, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(head), size);
    if (!text.starts_with("<?xml"))
        return 0;
    const std::size_t end = text.find("?>");
    const std::size_t encoding = text.substr(0, end).find("encoding");
    if (encoding == std::string_view::npos)
        return 0;
    const std::size_t open = text.find_first_of("\"'", encoding);
    if (open == std::string_view::npos)
        return 0;
    const std::size_t close = text.find(text[open], open + 1);
    return close == std::string_view::npos ? 0 : static_cast<std::uint32_t>(close + 1);
}

} // namespace lyremap::detail
