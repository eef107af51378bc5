#include "layout/xml/EntityText.h"

#include <libxml/entities.h>
#include <libxml/parserInternals.h>

namespace lyremap::detail {

namespace {

// Entity nesting deeper than this counts as too much text; libxml2 already refuses far less.
constexpr int kMaxEntityDepth = 64;

std::string_view contentOf(const xmlEntity* entity) {
    return entity->content != nullptr
               ? std::string_view(reinterpret_cast<const char*>(entity->content))
               : std::string_view();
}

// The UTF-8 bytes of code point VALUE; nothing for 0, which libxml2 drops.
std::string utf8Of(std::uint32_t value) {
    xmlChar bytes[8] = {};
    if (value == 0 || value > 0x10FFFF)
        return {};
    const int size = xmlCopyCharMultiByte(bytes, static_cast<int>(value));
    return std::string(reinterpret_cast<const char*>(bytes), size > 0 ? std::size_t(size) : 0);
}

} // namespace

EntityText::Reference EntityText::readReference(std::string_view text) const {
    const std::size_t end = text.find(';');
    if (text.size() < 3 || text[0] != '&' || end == std::string_view::npos)
        return Reference{1, "&", nullptr}; // not a reference: the '&' stands for itself
    const std::string_view body = text.substr(1, end - 1);
    Reference reference{end + 1, {}, nullptr};
    if (body.starts_with('#')) {
        const bool hex = body.size() > 1 && body[1] == 'x';
        std::uint32_t value = 0;
        for (const char c : body.substr(hex ? 2 : 1)) {
            const int digit = c >= '0' && c <= '9'          ? c - '0'
                              : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                            : -1;
            if (digit < 0 || value > 0x10FFFF)
                return reference;
            value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
        }
        reference.character = utf8Of(value);
        return reference;
    }
    const std::string name(body);
    const xmlEntity* entity =
        xmlGetDocEntity(const_cast<xmlDoc*>(doc_), reinterpret_cast<const xmlChar*>(name.c_str()));
    if (entity != nullptr && entity->etype == XML_INTERNAL_PREDEFINED_ENTITY)
        reference.character = contentOf(entity);
    else
        reference.entity = entity;
    return reference;
}

std::optional<std::int64_t> EntityText::measure(std::string_view value, int depth) {
    if (depth > kMaxEntityDepth)
        return std::nullopt;
    std::int64_t total = 0;
    for (std::size_t at = value.find('&'), from = 0;; at = value.find('&', from)) {
        total +=
            static_cast<std::int64_t>((at == std::string_view::npos ? value.size() : at) - from);
        if (at == std::string_view::npos)
            return total;
        const Reference reference = readReference(value.substr(at));
        from = at + reference.size;
        total += static_cast<std::int64_t>(reference.character.size());
        if (reference.entity == nullptr)
            continue;
        auto known = lengths_.find(reference.entity);
        if (known == lengths_.end()) {
            const auto length = measure(contentOf(reference.entity), depth + 1);
            if (!length)
                return std::nullopt;
            known = lengths_.emplace(reference.entity, *length).first;
        }
        total += known->second;
    }
}

std::optional<std::int64_t> EntityText::expandedLength(std::string_view value) {
    return measure(value, 0);
}

void EntityText::append(std::string_view value, std::string& out, int depth) {
    if (depth > kMaxEntityDepth)
        return;
    for (std::size_t at = value.find('&'), from = 0;; at = value.find('&', from)) {
        out.append(
            value.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos)
            return;
        const Reference reference = readReference(value.substr(at));
        from = at + reference.size;
        out += reference.character;
        if (reference.entity != nullptr)
            append(contentOf(reference.entity), out, depth + 1);
    }
}

void EntityText::expand(std::string_view value, std::string& out) {
    append(value, out, 0);
}

} // namespace lyremap::detail
