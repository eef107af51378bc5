#include "layout/xml/SourceLine.h"

#include <QByteArray>
#include <QFile>
#include <cstring>
#include <libxml/encoding.h>
#include <libxml/tree.h>
#include <memory>

namespace lyremap {

namespace {

constexpr qint64 kChunk = 64 * 1024;

struct HandlerCloser {
    void operator()(xmlCharEncodingHandler* handler) const noexcept {
        xmlCharEncCloseFunc(handler);
    }
};
struct BufferFree {
    void operator()(xmlBuffer* buffer) const noexcept { xmlBufferFree(buffer); }
};
using BufferPtr = std::unique_ptr<xmlBuffer, BufferFree>;

// Turns raw file bytes into UTF-8, chunk by chunk; bytes of a character split across chunks
// wait for the next chunk.
class Utf8Decoder {
public:
    explicit Utf8Decoder(const std::string& encoding) {
        if (encoding.empty() || encoding == "UTF-8")
            return;
        handler_.reset(xmlFindCharEncodingHandler(encoding.c_str()));
        in_.reset(xmlBufferCreate());
        out_.reset(xmlBufferCreate());
        usable_ = handler_ && in_ && out_;
    }
    bool usable() const { return usable_; }

    // Appends the UTF-8 form of RAW to TEXT; false when the input cannot be decoded.
    bool decode(const QByteArray& raw, QByteArray& text) {
        if (!handler_) {
            text.append(raw);
            return true;
        }
        if (xmlBufferAdd(in_.get(), reinterpret_cast<const xmlChar*>(raw.constData()),
                         static_cast<int>(raw.size())) != 0)
            return false;
        const int result = xmlCharEncInFunc(handler_.get(), out_.get(), in_.get());
        text.append(reinterpret_cast<const char*>(xmlBufferContent(out_.get())),
                    xmlBufferLength(out_.get()));
        xmlBufferEmpty(out_.get());
        return result >= 0 || result == -3; // -3: a partial character waits for more input
    }

private:
    std::unique_ptr<xmlCharEncodingHandler, HandlerCloser> handler_;
    BufferPtr in_;
    BufferPtr out_;
    bool usable_ = true;
};

} // namespace

QString readSourceLine(const QString& path, long long line, const std::string& encoding,
                       qsizetype maxUnits) {
    if (line < 1)
        return QString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    Utf8Decoder decoder(encoding);
    if (!decoder.usable())
        return QString();

    // Bytes of UTF-8 enough for MAXUNITS code units, whatever the characters.
    const qsizetype wanted = 3 * maxUnits + 4;
    long long lineNo = 1;
    QByteArray pending; // decoded text not yet scanned
    QByteArray found;   // the wanted line's start
    bool atFileStart = true;
    bool lineComplete = false;
    bool endedAtNewline = false;
    while (!lineComplete) {
        const QByteArray raw = file.read(kChunk);
        const bool atEnd = raw.isEmpty();
        if (!atEnd && !decoder.decode(raw, pending))
            break;
        qsizetype pos = 0;
        while (lineNo < line) {
            const char* hit = static_cast<const char*>(
                std::memchr(pending.constData() + pos, '\n', pending.size() - pos));
            if (hit == nullptr) {
                pos = pending.size();
                break;
            }
            pos = hit - pending.constData() + 1;
            ++lineNo;
            atFileStart = false;
        }
        if (lineNo == line) {
            const qsizetype end = pending.indexOf('\n', pos);
            const qsizetype stop = end < 0 ? pending.size() : end;
            found.append(pending.constData() + pos,
                         std::min<qsizetype>(stop - pos, wanted - found.size()));
            endedAtNewline = end >= 0 && found.size() < wanted;
            lineComplete = end >= 0 || found.size() >= wanted;
        }
        pending.clear();
        if (atEnd)
            break;
    }
    if (lineNo != line)
        return QString();
    QString text = QString::fromUtf8(found);
    if (endedAtNewline && text.endsWith(u'\r'))
        text.chop(1);
    if (atFileStart && text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text.left(maxUnits);
}

} // namespace lyremap
