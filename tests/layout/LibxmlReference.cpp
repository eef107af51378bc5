#include "LibxmlReference.h"

#include "layout/Conversion.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/valid.h>
#include <limits>
#include <memory>

namespace lyremap::test {

namespace {

QString text(const xmlChar* value) {
    return value != nullptr ? QString::fromUtf8(reinterpret_cast<const char*>(value)) : QString();
}

struct Freed {
    void operator()(xmlChar* value) const { xmlFree(value); }
    void operator()(xmlNode* list) const { xmlFreeNodeList(list); }
};

// True when TEXT holds nothing but the four white-space characters of XML.
bool isBlank(const xmlChar* value) {
    for (const xmlChar* c = value; c != nullptr && *c != 0; ++c)
        if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n')
            return false;
    return true;
}

// Children as the DOM sees them: an entity reference's are the entity's, a DTD has none,
// libxml2's declaration nodes and white-space-only text are none.
QList<const xmlNode*> children(const xmlNode* node) {
    const xmlNode* first = node->children;
    if (node->type == XML_ENTITY_REF_NODE)
        first = node->children != nullptr ? node->children->children : nullptr;
    if (node->type == XML_DTD_NODE)
        first = nullptr;
    QList<const xmlNode*> list;
    for (const xmlNode* child = first; child != nullptr; child = child->next) {
        switch (child->type) {
        case XML_TEXT_NODE:
            if (!isBlank(child->content))
                list << child;
            break;
        case XML_ELEMENT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_ENTITY_REF_NODE:
        case XML_PI_NODE:
        case XML_COMMENT_NODE:
        case XML_DTD_NODE:
            list << child;
            break;
        default:
            break;
        }
    }
    return list;
}

QString qualified(const xmlNode* node) {
    if (node->type == XML_ELEMENT_NODE && node->ns != nullptr && node->ns->prefix != nullptr)
        return text(node->ns->prefix) + u':' + text(node->name);
    return text(node->name);
}

QString expanded(const xmlDoc* doc, const xmlChar* value) {
    auto* document = const_cast<xmlDoc*>(doc);
    const std::unique_ptr<xmlNode, Freed> list(xmlStringGetNodeList(document, value));
    const std::unique_ptr<xmlChar, Freed> result(xmlNodeListGetString(document, list.get(), 1));
    return text(result.get());
}

std::optional<QString> attributeValue(const xmlNode* node, const QString& name) {
    if (node->type != XML_ELEMENT_NODE)
        return std::nullopt;
    for (const xmlAttr* a = node->properties; a != nullptr; a = a->next) {
        const QString written = a->ns != nullptr && a->ns->prefix != nullptr
                                    ? text(a->ns->prefix) + u':' + text(a->name)
                                    : text(a->name);
        if (written == name) {
            const std::unique_ptr<xmlChar, Freed> value(
                xmlNodeGetContent(reinterpret_cast<const xmlNode*>(a)));
            return text(value.get());
        }
    }
    for (const xmlNs* ns = node->nsDef; ns != nullptr; ns = ns->next)
        if ((ns->prefix == nullptr ? QStringLiteral("xmlns")
                                   : QStringLiteral("xmlns:") + text(ns->prefix)) == name)
            return expanded(node->doc, ns->href);
    const xmlDtd* dtd = node->doc->intSubset;
    if (dtd == nullptr || name.contains(QChar(0)))
        return std::nullopt;
    const qsizetype colon = name.indexOf(u':');
    const QByteArray local = (colon < 0 ? name : name.mid(colon + 1)).toUtf8();
    const QByteArray prefix = name.left(colon < 0 ? 0 : colon).toUtf8();
    const xmlAttribute* declared = xmlGetDtdQAttrDesc(
        const_cast<xmlDtd*>(dtd), BAD_CAST qualified(node).toUtf8().constData(),
        BAD_CAST local.constData(), colon < 0 ? nullptr : BAD_CAST prefix.constData());
    if (declared == nullptr || declared->defaultValue == nullptr ||
        declared->def == XML_ATTRIBUTE_REQUIRED || declared->def == XML_ATTRIBUTE_IMPLIED)
        return std::nullopt;
    return text(declared->defaultValue);
}

NodeFacts factsOf(const xmlNode* node, const QStringList& names) {
    NodeFacts facts;
    facts.children = int(children(node).size());
    // The DOM's number of each kind, and the fixed names of those that have no name.
    static const QHash<int, std::pair<int, const char*>> kinds{
        {XML_ELEMENT_NODE, {1, nullptr}},
        {XML_TEXT_NODE, {3, "#text"}},
        {XML_CDATA_SECTION_NODE, {4, "#cdata-section"}},
        {XML_ENTITY_REF_NODE, {5, nullptr}},
        {XML_PI_NODE, {7, nullptr}},
        {XML_COMMENT_NODE, {8, "#comment"}},
        {XML_DOCUMENT_NODE, {9, "#document"}},
        {XML_DTD_NODE, {10, nullptr}}};
    const auto [type, fixed] = kinds.value(node->type, {0, nullptr});
    facts.type = type;
    facts.name = fixed != nullptr ? QString::fromLatin1(fixed) : qualified(node);
    facts.localName = fixed != nullptr ? facts.name : text(node->name);
    if (node->type == XML_ELEMENT_NODE && node->ns != nullptr)
        facts.namespaceUri = expanded(node->doc, node->ns->href);
    for (const QString& name : names)
        if (const auto value = attributeValue(node, name))
            facts.attributes << name + QStringLiteral("=\"") + *value + u'"';
    return facts;
}

void dumpNode(const xmlNode* node, const QStringList& names, int depth, QStringList& out) {
    out << factsOf(node, names).line(depth);
    if (depth > 300)
        return;
    for (const xmlNode* child : children(node))
        dumpNode(child, names, depth + 1, out);
}

void ignore(void*, const char*, ...) {}

// The first error that the loader counts as a refusal.
void collect(void* refusal, xmlErrorPtr error) {
    auto& first = *static_cast<QString*>(refusal);
    const bool refuses =
        error->level == XML_ERR_FATAL ||
        (error->level >= XML_ERR_ERROR &&
         (error->domain == XML_FROM_NAMESPACE || error->code == XML_ERR_UNDECLARED_ENTITY ||
          error->code == XML_WAR_UNDECLARED_ENTITY));
    if (refuses && first.isEmpty())
        first = QString::fromUtf8(error->message);
    while (first.endsWith(u'\n') || first.endsWith(u'\r'))
        first.chop(1);
}

// Draws the frames and nested widgets of WIDGET as the walk does, recursively.
void drawWidget(const xmlNode* widget, std::int32_t X, std::int32_t Y, const QLocale& locale,
                QStringList& out) {
    const auto integer = [&](const xmlNode* frame, const QString& name) -> std::optional<qint64> {
        try {
            return attributeToInteger(attributeValue(frame, name), locale);
        } catch (const EConversionError&) {
            return std::nullopt;
        }
    };
    const auto inRange = [](std::optional<qint64> v) {
        return v && *v >= std::numeric_limits<std::int32_t>::min() &&
               *v <= std::numeric_limits<std::int32_t>::max();
    };
    for (const xmlNode* frame : children(widget)) {
        if (!nameTest(qualified(frame), u"frame"))
            continue;
        const auto sum = [&](std::int32_t base, const QString& name, std::int32_t fallback) {
            const auto value = integer(frame, name);
            const auto total = value ? std::optional<qint64>(base + *value) : std::nullopt;
            return inRange(total) ? std::int32_t(*total) : fallback;
        };
        const std::int32_t left = sum(X, QStringLiteral("x"), X);
        const std::int32_t top = sum(Y, QStringLiteral("y"), Y);
        const auto wrapped = [](std::int32_t base) {
            return std::int32_t(std::uint32_t(base) + 24u);
        };
        const std::int32_t right = sum(left, QStringLiteral("width"), wrapped(left));
        const std::int32_t bottom = sum(top, QStringLiteral("height"), wrapped(top));
        const bool solid =
            nameTest(attributeValue(frame, QStringLiteral("border")).value_or(QString()), u"yes");
        out << QStringLiteral("%1 %2 %3 %4 %5")
                   .arg(solid ? QStringLiteral("solid") : QStringLiteral("dotted"))
                   .arg(left)
                   .arg(top)
                   .arg(right)
                   .arg(bottom);
        X = left;
        Y = top;
    }
    for (const xmlNode* child : children(widget))
        if (nameTest(qualified(child), u"widget"))
            drawWidget(child, X, Y, locale, out);
}

const xmlNode* rootOf(const xmlDoc* doc) {
    for (const xmlNode* child : children(reinterpret_cast<const xmlNode*>(doc)))
        if (child->type == XML_ELEMENT_NODE && (qualified(child) == u"widget_description" ||
                                                text(child->name) == u"widget_description"))
            return child;
    return nullptr;
}

} // namespace

QStringList attributeNamesIn(const QByteArray& bytes) {
    static const QRegularExpression name(QStringLiteral("([A-Za-z_:][-A-Za-z0-9_.:]*)\\s*="));
    QSet<QString> names{QStringLiteral("xmlns"), QStringLiteral("x"), QStringLiteral("border"),
                        QStringLiteral("missing")};
    auto it = name.globalMatch(QString::fromLatin1(bytes));
    while (it.hasNext() && names.size() < 60)
        names.insert(it.next().captured(1));
    QStringList sorted(names.begin(), names.end());
    sorted.sort();
    return sorted;
}

QString NodeFacts::line(int depth) const {
    QString out = QString(depth * 2, u' ') + QString::number(type) + u' ' + name +
                  QStringLiteral(" local=") + localName + QStringLiteral(" ns=") + namespaceUri;
    for (const QString& attribute : attributes)
        out += u' ' + attribute;
    return out + QStringLiteral(" children=") + QString::number(children);
}

LibxmlReference::LibxmlReference(const QString& path) {
    xmlParserCtxt* ctxt = xmlNewParserCtxt();
    xmlSetStructuredErrorFunc(&refusal_, &collect);
    xmlSetGenericErrorFunc(nullptr, &ignore);
    xmlDoc* doc = xmlCtxtReadFile(ctxt, QFile::encodeName(path).constData(), nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    xmlSetGenericErrorFunc(nullptr, nullptr);
    xmlFreeParserCtxt(ctxt);
    if (doc != nullptr && refusal_.isEmpty())
        doc_ = doc;
    else
        xmlFreeDoc(doc);
    if (doc_ == nullptr && refusal_.isEmpty())
        refusal_ = QStringLiteral("not read");
}

LibxmlReference::~LibxmlReference() {
    xmlFreeDoc(static_cast<xmlDoc*>(doc_));
}

QStringList LibxmlReference::dump(const QStringList& names) const {
    QStringList out;
    const auto* doc = static_cast<const xmlDoc*>(doc_);
    dumpNode(reinterpret_cast<const xmlNode*>(doc), names, 0, out);
    const xmlNode* root = rootOf(doc);
    out << (root != nullptr ? QStringLiteral("root: ") + qualified(root)
                            : QStringLiteral("no root"));
    return out;
}

QStringList LibxmlReference::drawing(const QLocale& locale, const QString& status) const {
    QStringList out{QStringLiteral("ResetMap")};
    if (const xmlNode* root = rootOf(static_cast<const xmlDoc*>(doc_)))
        for (const xmlNode* child : children(root))
            if (nameTest(qualified(child), u"widget"))
                drawWidget(child, 0, 0, locale, out);
    return out << QStringLiteral("RefreshMap") << status;
}

} // namespace lyremap::test
