#include "layout/xml/SourcePositions.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace lyremap::detail {

namespace {

bool isSpace(xmlChar c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::uint32_t distance(const xmlChar* from, const xmlChar* to) {
    const auto bytes = static_cast<std::uint64_t>(to - from);
    return bytes <= UINT32_MAX ? static_cast<std::uint32_t>(bytes) : 0;
}

} // namespace

PositionTracker::PositionTracker(const xmlParserCtxt* ctxt, std::uint32_t prefix, LineIndex& lines)
    : ctxt_(ctxt), lines_(lines), prefix_(prefix) {}

std::uint64_t PositionTracker::offsetOf(const xmlChar* p) const {
    return ctxt_->input->consumed + static_cast<std::uint64_t>(p - ctxt_->input->base);
}

bool PositionTracker::countBuffer() {
    const xmlParserInput* input = ctxt_->input;
    if (ctxt_->inputNr < 1 || input != ctxt_->inputTab[0] || input->base == nullptr ||
        input->end < input->base)
        return false; // inside a parameter entity of the DTD, or no buffer yet
    const std::uint64_t base = input->consumed;
    if (!started_) {
        started_ = true;
        const std::string_view start(
            reinterpret_cast<const char*>(input->base),
            std::size_t(std::min<std::ptrdiff_t>(input->end - input->base, 5)));
        // A UTF-8 byte-order mark is no character of the first line. A buffer that does not
        // start with the XML declaration lost the bytes read before an encoding switch.
        if (base == 0 && start.starts_with("\xEF\xBB\xBF")) {
            counted_ = 3;
            lines_.startFirstLine(3, 1);
        } else if (base == 0 && !start.starts_with("<?xml")) {
            lines_.startFirstLine(0, 1 + prefix_);
        }
    }
    if (counted_ < base) {
        // The parser discarded text it read in one go without a callback (a long comment,
        // say): take its lines from libxml2's count. Text that stays on one line counts as
        // one character a byte.
        const auto* cur = std::min(input->cur, input->end);
        const std::uint32_t newlines =
            cur > input->base
                ? static_cast<std::uint32_t>(std::count(input->base, cur, xmlChar('\n')))
                : 0;
        const auto lineAtCur = static_cast<std::uint32_t>(std::max(1, input->line));
        const std::uint32_t lineAtBase = lineAtCur > newlines ? lineAtCur - newlines : 1;
        const std::uint32_t line = lines_.lineEnds() + 1;
        lines_.skipTo(base, lineAtBase > line ? lineAtBase - line : 0);
        counted_ = base;
    }
    const std::uint64_t end = offsetOf(input->end);
    if (end > counted_) {
        lines_.count(input->base + (counted_ - base), input->end, counted_);
        counted_ = end;
    }
    return true;
}

void PositionTracker::follow() {
    if (ctxt_->input != nullptr)
        countBuffer();
}

std::uint64_t PositionTracker::startTag(int count, const xmlChar* const* attributes,
                                        std::vector<std::uint32_t>& distances) {
    distances.clear();
    tagOpen_ = nullptr;
    const xmlParserInput* input = ctxt_->input;
    if (input == nullptr || input->cur == nullptr || input->base == nullptr)
        return 0;
    // The parser stands at the end of the tag; a start tag holds no literal '<'.
    const xmlChar* cur = std::min(input->cur, input->end);
    const auto* open = static_cast<const xmlChar*>(
        cur > input->base ? memrchr(input->base, '<', std::size_t(cur - input->base)) : nullptr);
    if (open == nullptr || !countBuffer())
        return 0;
    tagOpen_ = open;
    tagEnd_ = cur;
    if (!measureInPlace(open, cur, count, attributes, distances)) {
        distances.clear();
        measureByReading(open, cur, distances);
    }
    return offsetOf(open) + 1;
}

bool PositionTracker::measureInPlace(const xmlChar* open, const xmlChar* cur, int count,
                                     const xmlChar* const* attributes,
                                     std::vector<std::uint32_t>& distances) {
    const xmlChar* counted = open;
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
        distances.push_back(distance(open, name));
        counted = valueEnd;
    }
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

void PositionTracker::declarations(int count, const xmlChar* const* namespaces,
                                   std::vector<std::uint32_t>& distances) {
    distances.assign(std::size_t(std::max(count, 0)), 0);
    if (tagOpen_ == nullptr || count <= 0)
        return;
    std::vector<std::uint32_t> attributes;
    std::vector<Declaration> written;
    measureByReading(tagOpen_, tagEnd_, attributes, &written);
    for (int i = 0; i < count; ++i) {
        const std::string_view prefix = namespaces[2 * i] != nullptr
                                            ? reinterpret_cast<const char*>(namespaces[2 * i])
                                            : std::string_view();
        for (const Declaration& declaration : written)
            if (declaration.prefix == prefix)
                distances[std::size_t(i)] = declaration.distance;
    }
}

void PositionTracker::measureByReading(const xmlChar* open, const xmlChar* cur,
                                       std::vector<std::uint32_t>& distances,
                                       std::vector<Declaration>* declarations) {
    // One pass over the tag: its name, then name="value" pairs.
    enum class State { TagName, Between, Name, AfterName, BeforeValue, Value };
    State state = State::TagName;
    xmlChar quote = 0;
    const xmlChar* name = nullptr;
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
            }
            break;
        case State::Name:
        case State::AfterName:
            if (state == State::Name && (isSpace(c) || c == '=')) {
                const std::string_view written(reinterpret_cast<const char*>(name),
                                               std::size_t(p - name));
                if (written != "xmlns" && !written.starts_with("xmlns:"))
                    distances.push_back(distance(open, name));
                else if (declarations != nullptr)
                    declarations->push_back(
                        Declaration{written.substr(std::min<std::size_t>(written.size(), 6)),
                                    distance(open, name)});
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
    }
}

std::uint64_t PositionTracker::reference(std::size_t nameLength) {
    const xmlParserInput* input = ctxt_->input;
    if (input == nullptr || input->cur == nullptr || input->base == nullptr)
        return 0;
    const xmlChar* cur = std::min(input->cur, input->end);
    if (std::size_t(cur - input->base) < nameLength + 2)
        return 0;
    const xmlChar* ampersand = cur - nameLength - 2;
    if (*ampersand != '&' || !countBuffer())
        return 0;
    return offsetOf(ampersand) + 1;
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
