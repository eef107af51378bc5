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

bool isUtf8Name(const QByteArray& name) {
    return name == "UTF-8" || name == "UTF8";
}

bool isUtf16Name(const QByteArray& name) {
    return name.startsWith("UTF-16") || name.startsWith("UTF16") || name == "UCS-2" ||
           name == "ISO-10646-UCS-2" || name == "CSUNICODE";
}

} // namespace

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

std::optional<DocumentProblem>
checkDefaultExpansion(const xmlDoc& doc, const detail::CompactTree& tree, std::int64_t fileSize) {
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
    // Element names are already qualified.
    for (std::uint32_t i = 0; i < tree.nodes.size() && total <= limit; ++i)
        if (const auto& node = tree.nodes[i]; node.kind() == detail::CompactKind::Element)
            total += defaultsOf(BAD_CAST tree.names[node.name].data(), nullptr);
    if (total <= limit)
        return std::nullopt;
    return DocumentProblem{
        QStringLiteral("Die Vorgabewerte der Attribute ergeben mehr als %1 Zeichen").arg(limit),
        0,
        {}};
}

} // namespace lyremap
