// References in attribute values and namespace names replaced as libxml2's own tree replaces
// them when such a value is read: character references by their character, predefined entities
// by their text, entities the document declares by their replacement text, itself replaced in
// turn; an undeclared or external entity by nothing. The parser leaves these references in the
// values it reports because the loader never lets it substitute entities itself.
#pragma once

#include <libxml/tree.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace lyremap::detail {

class EntityText {
public:
    explicit EntityText(const xmlDoc* doc) : doc_(doc) {}

    // The length VALUE has once its references are replaced; nothing when entities nest too
    // deep to follow. Each entity is measured once, however often it is referenced.
    std::optional<std::int64_t> expandedLength(std::string_view value);
    // VALUE with its references replaced, appended to OUT. Call only for a value that
    // expandedLength measured.
    void expand(std::string_view value, std::string& out);

private:
    // One reference at the start of TEXT ("&...;"): how many bytes it takes, and either the
    // character it stands for (in CHARACTER) or its entity (ENTITY, null for none).
    struct Reference {
        std::size_t size = 0;
        std::string character;
        const xmlEntity* entity = nullptr;
    };
    Reference readReference(std::string_view text) const;
    std::optional<std::int64_t> measure(std::string_view value, int depth);
    void append(std::string_view value, std::string& out, int depth);

    const xmlDoc* doc_;
    std::unordered_map<const xmlEntity*, std::int64_t> lengths_;
};

} // namespace lyremap::detail
