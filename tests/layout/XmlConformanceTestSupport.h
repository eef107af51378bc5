// What the loader's conformance and hostile-file tests share: loading with the refusal text,
// looking for the external marker in a tree, watching a folder for reads, peak memory, and the
// pieces entity bombs are built from.
#pragma once

#include "TestSupport.h"
#include "XmlAttackFiles.h"
#include "layout/xml/XmlDocument.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <malloc.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <optional>
#include <vector>

namespace lyremap::test {

using namespace Qt::StringLiterals;

inline constexpr qint64 kHangGuardMs = 5000;

// ---------------------------------------------------------------------------------------------
// Loading and looking at the result

// Loads PATH into DOC; nullopt when it loads, else the failure text. Only EDOMParseError counts
// as a refused file; any other exception escapes and fails the test.
inline std::optional<QString> loadFailure(XmlDocument& doc, const QString& path) {
    try {
        doc.LoadFromFile(path);
        return std::nullopt;
    } catch (const EDOMParseError& failure) {
        return failure.message();
    }
}

inline int topLevelElements(const XmlDocument& doc) {
    const auto& children = doc.DocumentNode().ChildNodes();
    int elements = 0;
    for (int i = 0; i < children.Count(); ++i)
        elements += children.Item(i).nodeType() == NodeType::Element ? 1 : 0;
    return elements;
}

// The text external files carry; it must never show up in a loaded tree.
inline constexpr auto kMarker = "LYREMAP-EXTERNAL-MARKER"_L1;
// External content as a parsed entity: an element and an attribute that would hold the marker.
inline constexpr auto kMarkerContent = "<leak marker='LYREMAP-EXTERNAL-MARKER'>x</leak>"_L1;

// Where the marker shows in the tree below NODE (entity references walked into): the path of
// the first node named after it or holding it in its "marker" attribute, else empty.
inline QString markerPlace(const Node& node, const QString& path = {}) {
    const QString here = path + u'/' + node.NodeName();
    if (node.NodeName() == u"leak" || node.NodeName().contains(kMarker))
        return here;
    if (const auto value = node.AttributeValue(u"marker"); value && value->contains(kMarker))
        return here + u"/@marker"_s;
    const auto& children = node.ChildNodes();
    for (int i = 0; i < children.Count(); ++i)
        if (QString place = markerPlace(children.Item(i), here); !place.isEmpty())
            return place;
    return {};
}

// The element children of NODE.
inline std::vector<Node> elementChildren(const Node& node) {
    std::vector<Node> elements;
    const auto& children = node.ChildNodes();
    for (int i = 0; i < children.Count(); ++i)
        if (children.Item(i).nodeType() == NodeType::Element)
            elements.push_back(children.Item(i));
    return elements;
}

// ---------------------------------------------------------------------------------------------
// Watching for external reads

// Records which files of one folder are opened or read while it lives.
class OpenWatch {
public:
    explicit OpenWatch(const QString& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0)
            watch_ =
                inotify_add_watch(fd_, QFile::encodeName(folder).constData(), IN_OPEN | IN_ACCESS);
    }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;
    ~OpenWatch() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool valid() const { return fd_ >= 0 && watch_ >= 0; }

    // Names of the files opened or read since the watch began.
    QSet<QString> touched() {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t length = ::read(fd_, buffer, sizeof buffer);
            if (length <= 0)
                break;
            for (const char* p = buffer; p < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(p);
                if (event->len > 0)
                    touched_.insert(QFile::decodeName(event->name));
                p += sizeof(inotify_event) + event->len;
            }
        }
        return touched_;
    }

private:
    int fd_;
    int watch_ = -1;
    QSet<QString> touched_;
};

// ---------------------------------------------------------------------------------------------
// Memory

// Resets the peak resident size to the current one where the kernel allows it. Freed heap is
// handed back first, so that a later load has to take fresh pages and shows in the peak.
inline void resetPeakMemory() {
    malloc_trim(0);
    QFile refs(u"/proc/self/clear_refs"_s);
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// Peak resident size of this process in KiB, -1 when unknown.
inline qint64 peakMemoryKiB() {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    // Files under /proc report no size, so atEnd() holds from the start: read it whole.
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

inline QByteArray repeated(const QByteArray& piece, int count) {
    QByteArray out;
    out.reserve(piece.size() * count);
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

// The classic exponential bomb: nine levels of ten references over a three-character entity, so
// lol9 stands for 3,000,000,000 characters; BODY is the root element that refers to it.
inline QByteArray laughs(const QByteArray& body) {
    QByteArray doc = "<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
    for (int level = 1; level <= 9; ++level)
        doc += "<!ENTITY lol" + QByteArray::number(level) + " \"" +
               repeated("&lol" + QByteArray::number(level - 1) + ';', 10) + "\">\n";
    return doc + "]>\n" + body + '\n';
}

} // namespace lyremap::test
