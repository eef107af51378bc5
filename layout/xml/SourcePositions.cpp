#include "layout/xml/SourcePositions.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace lyremap::detail {

namespace {

// Characters (UTF-8 lead bytes) in [FROM, TO).
std::uint32_t charactersIn(const xmlChar* from, const xmlChar* to) {
    std::uint32_t count = 0;
    for (; from < to; ++from)
        count += (*from & 0xC0) != 0x80;
    return count;
}

bool isSpace(xmlChar c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Moves POSITION over [FROM, TO).
void step(TextPosition& position, const xmlChar* from, const xmlChar* to) {
    const void* last = from < to ? memrchr(from, '\n', std::size_t(to - from)) : nullptr;
    if (last == nullptr) {
        position.column += charactersIn(from, to);
        return;
    }
    position.line += static_cast<std::uint32_t>(std::count(from, to, xmlChar('\n')));
    const auto* after = static_cast<const xmlChar*>(last) + 1;
    position.column = 1 + charactersIn(after, to);
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
        // start with the XML declaration lost the part read before an encoding switch.
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
        const auto lineAtBase = static_cast<std::uint32_t>(std::max(1, input->line)) - newlines;
        if (lineAtBase > here.line)
            here = TextPosition{lineAtBase, 1};
        else
            here.column += static_cast<std::uint32_t>(base - offset_);
        offset_ = base;
    }
    step(here, input->base + (offset_ - base), p);
    line_ = here.line;
    column_ = here.column;
    offset_ = target;
    return true;
}

void PositionTracker::follow() {
    if (ctxt_->input != nullptr)
        advanceTo(std::min(ctxt_->input->cur, ctxt_->input->end));
}

TextPosition PositionTracker::startTag(std::vector<TextPosition>& attributes) {
    attributes.clear();
    const xmlParserInput* input = ctxt_->input;
    if (input == nullptr || input->cur == nullptr || input->base == nullptr)
        return {};
    // The parser stands at the end of the tag; a start tag holds no literal '<'.
    const xmlChar* cur = std::min(input->cur, input->end);
    const xmlChar* open = cur;
    while (open > input->base && *open != '<')
        --open;
    if (*open != '<' || !advanceTo(open))
        return {};
    const TextPosition tag{line_, column_};

    // Tokenise the tag: its name, then name="value" pairs.
    TextPosition at = tag;
    const xmlChar* p = open;
    const auto skip = [&](auto&& keep) {
        const xmlChar* from = p;
        while (p < cur && keep(*p))
            ++p;
        step(at, from, p);
    };
    skip([](xmlChar c) { return c == '<'; });
    skip([](xmlChar c) { return !isSpace(c) && c != '/' && c != '>'; });
    while (true) {
        skip(isSpace);
        if (p >= cur || *p == '/' || *p == '>')
            break;
        const xmlChar* name = p;
        const TextPosition namePosition = at;
        skip([](xmlChar c) { return !isSpace(c) && c != '='; });
        const std::string_view written(reinterpret_cast<const char*>(name), std::size_t(p - name));
        if (written != "xmlns" && !written.starts_with("xmlns:"))
            attributes.push_back(namePosition);
        skip([](xmlChar c) { return isSpace(c) || c == '='; });
        if (p >= cur)
            break;
        const xmlChar quote = *p;
        const xmlChar* from = p;
        const void* close = std::memchr(p + 1, quote, std::size_t(cur - p - 1));
        p = close != nullptr ? static_cast<const xmlChar*>(close) + 1 : cur;
        step(at, from, p);
    }
    return tag;
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
