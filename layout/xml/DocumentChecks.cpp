#include "layout/xml/DocumentChecks.h"

#include <QByteArray>
#include <cstring>
#include <libxml/entities.h>
#include <libxml/hash.h>
#include <libxml/valid.h>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace lyremap {

namespace {

// Entity nesting deeper than this counts as too much text; libxml2 already refuses far less.
constexpr int kMaxEntityDepth = 64;

bool isUtf8Name(const QByteArray& name) {
    return name == "UTF-8" || name == "UTF8";
}

bool isUtf16Name(const QByteArray& name) {
    return name.startsWith("UTF-16") || name.startsWith("UTF16") || name == "UCS-2" ||
           name == "ISO-10646-UCS-2" || name == "CSUNICODE";
}

// Sums the text that attribute values expand to, measuring each entity once.
class ExpansionMeter {
public:
    // Length of a node list as text, entity references expanded; nullopt when the nesting is
    // too deep to follow.
    std::optional<std::int64_t> measure(const xmlNode* list, int depth) {
        if (depth > kMaxEntityDepth)
            return std::nullopt;
        std::int64_t total = 0;
        for (const xmlNode* node = list; node != nullptr; node = node->next) {
            if (node->type == XML_ENTITY_REF_NODE) {
                const auto length =
                    entityLength(reinterpret_cast<const xmlEntity*>(node->children), depth);
                if (!length)
                    return std::nullopt;
                total += *length;
            } else if (node->content != nullptr) {
                total += static_cast<std::int64_t>(
                    std::strlen(reinterpret_cast<const char*>(node->content)));
            }
        }
        return total;
    }

private:
    std::optional<std::int64_t> entityLength(const xmlEntity* entity, int depth) {
        if (entity == nullptr || entity->type != XML_ENTITY_DECL)
            return 0;
        if (const auto known = lengths_.find(entity); known != lengths_.end())
            return known->second;
        const auto length = measure(entity->children, depth + 1);
        if (length)
            lengths_.emplace(entity, *length);
        return length;
    }

    std::unordered_map<const xmlEntity*, std::int64_t> lengths_;
};

struct NodeListFree {
    void operator()(xmlNode* list) const noexcept { xmlFreeNodeList(list); }
};
struct XmlCharFree {
    void operator()(xmlChar* text) const noexcept { xmlFree(text); }
};

bool hasReference(const xmlChar* text) {
    return text != nullptr && std::strchr(reinterpret_cast<const char*>(text), '&') != nullptr;
}

// True when two attributes of ELEMENT share local name and namespace, comparing namespace
// names with their references expanded. libxml2 compares them as written.
bool duplicateExpandedAttribute(const xmlNode* element) {
    for (const xmlAttr* a = element->properties; a != nullptr; a = a->next) {
        if (a->ns == nullptr)
            continue;
        for (const xmlAttr* b = a->next; b != nullptr; b = b->next) {
            if (b->ns == nullptr || b->ns == a->ns || !xmlStrEqual(a->name, b->name) ||
                !(hasReference(a->ns->href) || hasReference(b->ns->href)))
                continue;
            if (expandedNamespaceName(element->doc, a->ns->href) ==
                expandedNamespaceName(element->doc, b->ns->href))
                return true;
        }
    }
    return false;
}

bool declaresEntities(const xmlDoc& doc) {
    return doc.intSubset != nullptr && doc.intSubset->entities != nullptr;
}

// The next element after NODE in document order, within the tree of elements.
const xmlNode* nextElement(const xmlNode* node) {
    if (node->children != nullptr && node->type == XML_ELEMENT_NODE)
        for (const xmlNode* child = node->children; child != nullptr; child = child->next)
            if (child->type == XML_ELEMENT_NODE)
                return child;
    for (; node != nullptr && node->type == XML_ELEMENT_NODE; node = node->parent)
        for (const xmlNode* sibling = node->next; sibling != nullptr; sibling = sibling->next)
            if (sibling->type == XML_ELEMENT_NODE)
                return sibling;
    return nullptr;
}

// The line an element starts on; libxml2 keeps 65535 for every line from there on.
long elementLine(const xmlNode* element) {
    const long line = xmlGetLineNo(element);
    return line > 0 && line < 65535 ? line : 0;
}

// True when an attribute of ELEMENT lies in a namespace whose name holds a reference.
bool hasReferencedNamespace(const xmlNode* element) {
    for (const xmlAttr* a = element->properties; a != nullptr; a = a->next)
        if (a->ns != nullptr && hasReference(a->ns->href))
            return true;
    return false;
}

} // namespace

QByteArray expandedNamespaceName(const xmlDoc* doc, const xmlChar* href) {
    if (!hasReference(href))
        return QByteArray(reinterpret_cast<const char*>(href));
    auto* document = const_cast<xmlDoc*>(doc);
    const std::unique_ptr<xmlNode, NodeListFree> list(xmlStringGetNodeList(document, href));
    const std::unique_ptr<xmlChar, XmlCharFree> text(xmlNodeListGetString(document, list.get(), 1));
    return QByteArray(text ? reinterpret_cast<const char*>(text.get()) : "");
}

std::int64_t attributeExpansionLimit(std::int64_t fileSize) {
    constexpr std::int64_t kFloor = 10'000'000;
    return std::max(kFloor, 10 * fileSize);
}

std::optional<DocumentProblem> checkByteOrderMark(const unsigned char* head, std::size_t size,
                                                  const xmlDoc& doc) {
    if (doc.encoding == nullptr || size < 2)
        return std::nullopt;
    const QByteArray declared = QByteArray(reinterpret_cast<const char*>(doc.encoding)).toUpper();
    std::string markEncoding;
    bool contradicts = false;
    if (size >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
        contradicts = !isUtf8Name(declared);
    } else if (head[0] == 0xFE && head[1] == 0xFF) {
        markEncoding = "UTF-16BE";
        contradicts = !isUtf16Name(declared);
    } else if (head[0] == 0xFF && head[1] == 0xFE) {
        markEncoding = "UTF-16LE";
        contradicts = !isUtf16Name(declared);
    }
    if (!contradicts)
        return std::nullopt;
    return DocumentProblem{
        QStringLiteral("Die Kodierung %1 in der XML-Deklaration widerspricht der "
                       "Byte-Order-Markierung am Anfang der Datei")
            .arg(QString::fromUtf8(declared)),
        1, markEncoding};
}

std::optional<DocumentProblem> checkAttributeExpansion(const xmlDoc& doc, std::int64_t fileSize) {
    if (!declaresEntities(doc))
        return std::nullopt;
    const std::int64_t limit = attributeExpansionLimit(fileSize);
    ExpansionMeter meter;
    std::int64_t total = 0;
    const xmlNode* root = xmlDocGetRootElement(const_cast<xmlDoc*>(&doc));
    const auto tooMuch = [&](const xmlNode* element) {
        return DocumentProblem{
            QStringLiteral("Die Entitäten in Attributwerten ergeben mehr als %1 Zeichen")
                .arg(limit),
            elementLine(element),
            {}};
    };
    for (const xmlNode* element = root; element != nullptr; element = nextElement(element)) {
        bool referencesInNamespaces = false;
        for (const xmlNs* ns = element->nsDef; ns != nullptr; ns = ns->next) {
            if (!hasReference(ns->href))
                continue;
            referencesInNamespaces = true;
            const std::unique_ptr<xmlNode, NodeListFree> list(
                xmlStringGetNodeList(const_cast<xmlDoc*>(&doc), ns->href));
            const auto length = meter.measure(list.get(), 0);
            total = length ? total + *length : limit + 1;
            if (total > limit)
                return tooMuch(element);
        }
        for (const xmlAttr* attribute = element->properties; attribute != nullptr;
             attribute = attribute->next) {
            const auto length = meter.measure(attribute->children, 0);
            total = length ? total + *length : limit + 1;
            if (total > limit)
                return tooMuch(element);
        }
        if ((referencesInNamespaces || hasReferencedNamespace(element)) &&
            duplicateExpandedAttribute(element))
            return DocumentProblem{
                QStringLiteral("Das Element %1 hat zwei gleichnamige Attribute "
                               "im selben Namensraum")
                    .arg(QString::fromUtf8(reinterpret_cast<const char*>(element->name))),
                elementLine(element),
                {}};
    }
    return std::nullopt;
}

std::optional<DocumentProblem>
checkDefaultExpansion(const xmlDoc& doc, const detail::CompactTree* tree, std::int64_t fileSize) {
    const xmlDtd* dtd = doc.intSubset;
    if (dtd == nullptr || dtd->attributes == nullptr)
        return std::nullopt;
    // Default text per element name, from the declarations that supply a value.
    std::unordered_map<std::string, std::int64_t> perElement;
    xmlHashScan(
        static_cast<xmlHashTablePtr>(dtd->attributes),
        [](void* payload, void* data, const xmlChar*) {
            const auto* declaration = static_cast<const xmlAttribute*>(payload);
            if (declaration == nullptr || declaration->elem == nullptr ||
                declaration->defaultValue == nullptr ||
                declaration->def == XML_ATTRIBUTE_REQUIRED ||
                declaration->def == XML_ATTRIBUTE_IMPLIED)
                return;
            auto& sums = *static_cast<std::unordered_map<std::string, std::int64_t>*>(data);
            sums[reinterpret_cast<const char*>(declaration->elem)] += static_cast<std::int64_t>(
                std::strlen(reinterpret_cast<const char*>(declaration->defaultValue)));
        },
        &perElement);
    if (perElement.empty())
        return std::nullopt;

    const std::int64_t limit = attributeExpansionLimit(fileSize);
    // Names come from the parser's dictionary, so each distinct name is looked up once.
    std::unordered_map<const xmlChar*, std::int64_t> byName;
    const auto defaultsOf = [&](const xmlChar* name, const xmlChar* prefix) {
        const auto [it, fresh] = byName.try_emplace(name, 0);
        if (fresh) {
            std::string qualified = reinterpret_cast<const char*>(name);
            if (prefix != nullptr)
                qualified = reinterpret_cast<const char*>(prefix) + (':' + qualified);
            if (const auto found = perElement.find(qualified); found != perElement.end())
                it->second = found->second;
        }
        return it->second;
    };
    std::int64_t total = 0;
    if (tree != nullptr) {
        // Compact names are already qualified.
        for (std::uint32_t i = 0; i < tree->nodes.size() && total <= limit; ++i)
            if (const auto& node = tree->nodes[i]; node.kind == detail::CompactKind::Element)
                total += defaultsOf(node.name, nullptr);
    } else {
        const xmlNode* root = xmlDocGetRootElement(const_cast<xmlDoc*>(&doc));
        for (const xmlNode* element = root; element != nullptr && total <= limit;
             element = nextElement(element))
            total += defaultsOf(element->name, element->ns ? element->ns->prefix : nullptr);
    }
    if (total <= limit)
        return std::nullopt;
    return DocumentProblem{
        QStringLiteral("Die Vorgabewerte der Attribute ergeben mehr als %1 Zeichen").arg(limit),
        0,
        {}};
}

} // namespace lyremap
