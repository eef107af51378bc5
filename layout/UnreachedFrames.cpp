#include "layout/UnreachedFrames.h"

#include "layout/Conversion.h"

namespace lyremap {

namespace {

bool isElement(const Node& node) {
    return node.nodeType() == NodeType::Element;
}

bool isFrame(const Node& node) {
    return isElement(node) && nameTestUtf8(node.NodeNameUtf8(), u"frame");
}

bool isWidget(const Node& node) {
    return isElement(node) && nameTestUtf8(node.NodeNameUtf8(), u"widget");
}

// The frames in NODE's subtree, NODE included, counted without recursion: nesting may be deep.
int framesIn(const Node& node) {
    int frames = isFrame(node) ? 1 : 0;
    std::vector<ChildCursor> pending;
    pending.emplace_back(node);
    while (!pending.empty()) {
        ChildCursor& cursor = pending.back();
        if (cursor.atEnd()) {
            pending.pop_back();
            continue;
        }
        const Node child = cursor.node();
        cursor.next();
        frames += isFrame(child) ? 1 : 0;
        if (child.HasChildNodes())
            pending.emplace_back(child);
    }
    return frames;
}

} // namespace

QString unreachedReason(const UnreachedElement& unreached, const Node& root) {
    const Node& element = unreached.element;
    const QString name = element.NodeName();
    const bool frame = isFrame(element);
    if (!frame && !isWidget(element)) {
        if (const qsizetype colon = name.indexOf(u':'); colon >= 0) {
            const std::string_view local = element.NodeNameUtf8().substr(std::size_t(colon) + 1);
            if (nameTestUtf8(local, u"frame") || nameTestUtf8(local, u"widget"))
                return QStringLiteral("\"%1\" has a prefix, so it is neither widget nor frame and "
                                      "is never walked")
                    .arg(name);
        }
        return QStringLiteral("\"%1\" is neither widget nor frame, so nothing in it is walked")
            .arg(name);
    }
    const QString what = frame ? QStringLiteral("frame") : QStringLiteral("widget");
    const QString fate = frame ? QStringLiteral("drawn") : QStringLiteral("walked");
    QString where;
    if (unreached.parent == root)
        where = QStringLiteral("directly under the root");
    else if (unreached.parent.nodeType() == NodeType::EntityReference)
        where = QStringLiteral("inside an entity reference");
    else if (isFrame(unreached.parent))
        where = QStringLiteral("inside a frame");
    else
        where = QStringLiteral("inside \"%1\"").arg(unreached.parent.NodeName());
    return QStringLiteral("\"%1\" %2 is never %3").arg(name, where, fate);
}

void addUnreachedFrames(const Node& child, const Node& parent,
                        std::vector<UnreachedElement>& found) {
    // Entity references nest only as deep as the parser lets entities nest, but a stack of
    // cursors costs no more than recursion and fears no depth.
    struct Level {
        Node reference;
        ChildCursor next;
    };
    std::vector<Level> references;
    const auto look = [&](const Node& node, const Node& in) {
        if (isElement(node)) {
            if (const int frames = framesIn(node); frames > 0)
                found.push_back(UnreachedElement{node, in, frames});
        } else if (node.nodeType() == NodeType::EntityReference && node.HasChildNodes()) {
            references.push_back(Level{node, ChildCursor(node)});
        }
    };
    look(child, parent);
    while (!references.empty()) {
        Level& level = references.back();
        if (level.next.atEnd()) {
            references.pop_back();
            continue;
        }
        // Copies: looking may move LEVEL.
        const Node node = level.next.node();
        const Node reference = level.reference;
        level.next.next();
        look(node, reference);
    }
}

} // namespace lyremap
