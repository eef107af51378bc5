#include "layout/xml/XmlParse.h"

#include "layout/xml/BulkPrefetch.h"
#include "layout/xml/DocumentChecks.h"
#include "layout/xml/RegularFile.h"
#include "layout/xml/SourceLine.h"
#include "layout/xml/SourcePositions.h"
#include "layout/xml/TreeBuilder.h"

#include <QFile>
#include <algorithm>
#include <cstdint>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

namespace lyremap {

namespace {

// Never NOENT (it reads external entities from disk even with NONET), DTDLOAD, HUGE (it lifts
// the entity-expansion and depth guards), RECOVER or XINCLUDE. NOCDATA stays off so CDATA
// sections keep their own nodes.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT;

constexpr qsizetype kSourceUnits = 40;

// Files from this size on have their tree's blocks faulted in on a helper thread; for smaller
// ones starting the thread costs more than it saves. One block ahead for each 8 MiB of file, up
// to four: enough for a helper that waits for a core, and what is left unused at the end stays
// small beside the file.
constexpr std::int64_t kPrefetchFrom = std::int64_t{4} << 20;
std::size_t prefetchAhead(std::int64_t fileSize) {
    return static_cast<std::size_t>(std::clamp<std::int64_t>(fileSize >> 23, 1, 4));
}
// Files from this size on may be read by another thread while they load; below it, starting
// one costs more than the time its reading would save.
constexpr std::int64_t kReadAlongFrom = std::int64_t{64} << 10;

// The blocks a layout's tree may need: up to twice as many bytes as the file has, for layouts
// made mostly of elements with short attribute values (about 1.3 times is usual). Too few and
// the parse faults in the last blocks itself; too many leaves a few cleared blocks unused.
std::size_t prefetchExpected(std::int64_t fileSize) {
    return static_cast<std::size_t>(fileSize) * 2 / detail::kBulkSize;
}

// The first error of one parse that refuses the document, with its source line when the
// parser's buffer still holds it.
struct ErrorCollector {
    xmlParserCtxt* ctxt = nullptr;
    bool failed = false;
    ParseReport report;
    bool haveSourceLine = false;
    std::string encoding; // libxml2's name of the input encoding, empty for UTF-8
};

// The input that libxml2 reports an error's line for: the current one, or, inside an entity
// without a file of its own, the one that referenced it.
const xmlParserInput* reportedInput(const xmlParserCtxt* ctxt) {
    const xmlParserInput* input = ctxt->input;
    if (input != nullptr && input->filename == nullptr && ctxt->inputNr > 1)
        input = ctxt->inputTab[ctxt->inputNr - 2];
    return input;
}

// The start of the line the parser stands on, read from its decoded (UTF-8) buffer. Gives
// nothing when the line's start has already been discarded from the buffer, or when the buffer
// ends before the line does and the wanted units are not all there.
std::optional<QString> lineFromBuffer(const xmlParserCtxt* ctxt) {
    if (ctxt->inputNr < 1 || reportedInput(ctxt) != ctxt->inputTab[0])
        return std::nullopt;
    const xmlParserInput* input = ctxt->inputTab[0];
    if (input->base == nullptr || input->cur == nullptr || input->end == nullptr)
        return std::nullopt;
    // An error raised while the input buffer grows (a decoding error, say) arrives after the
    // buffer may have moved but before the input's pointers follow it: only a buffer that
    // still holds the input's whole range may be read.
    if (input->buf != nullptr && input->buf->buffer != nullptr) {
        const auto content = reinterpret_cast<std::uintptr_t>(xmlBufContent(input->buf->buffer));
        const std::uintptr_t used = xmlBufUse(input->buf->buffer);
        if (reinterpret_cast<std::uintptr_t>(input->base) < content ||
            reinterpret_cast<std::uintptr_t>(input->end) > content + used)
            return std::nullopt;
    }
    const xmlChar* cur = input->cur < input->end ? input->cur : input->end;
    const xmlChar* start = cur;
    while (start > input->base && start[-1] != '\n')
        --start;
    if (start == input->base && input->consumed != 0)
        return std::nullopt;

    // 40 UTF-16 units take at most 120 bytes of UTF-8; read a little more and cut.
    const xmlChar* stop = start;
    while (stop < input->end && *stop != '\n' && stop - start < 4 * kSourceUnits)
        ++stop;
    const bool lineEnded = stop < input->end && *stop == '\n';
    QString text = QString::fromUtf8(reinterpret_cast<const char*>(start), stop - start);
    if (lineEnded && text.endsWith(u'\r'))
        text.chop(1);
    if (start == input->base && text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    if (!lineEnded && text.size() < kSourceUnits)
        return std::nullopt;
    return text.left(kSourceUnits);
}

QString reasonText(const char* message) {
    QString reason = QString::fromUtf8(message != nullptr ? message : "");
    while (reason.endsWith(u'\n') || reason.endsWith(u'\r'))
        reason.chop(1);
    return reason;
}

// Whether an error makes the document unusable: every fatal (well-formedness) error, every
// namespace error, and a reference to an entity that is not declared, which libxml2 lets pass
// when the document names a DTD it has not read. Validity problems that libxml2 reports
// without validating (a redefined element, a bad default value) do not count.
bool refusesDocument(const xmlError& error) {
    if (error.level == XML_ERR_FATAL)
        return true;
    if (error.level < XML_ERR_ERROR)
        return false;
    return error.domain == XML_FROM_NAMESPACE || error.code == XML_ERR_UNDECLARED_ENTITY ||
           error.code == XML_WAR_UNDECLARED_ENTITY;
}

// The collector of the parse running on this thread. libxml2 parses an entity's content with
// a context of its own, so the context an error arrives with does not lead back to the parse.
thread_local ErrorCollector* activeCollector = nullptr;

void collectError(void* /*context*/, xmlErrorPtr error) {
    ErrorCollector* collector = activeCollector;
    if (collector == nullptr || error == nullptr || collector->failed || !refusesDocument(*error))
        return;
    collector->failed = true;
    collector->report.reason = reasonText(error->message);
    collector->report.line = error->line;
    collector->report.column = error->line > 0 ? std::max(error->int2, 0) : 0;

    // Errors inside an entity's content, and the few raised without a context, carry the line
    // within the entity or none: the place in the file is where the document's parse stands.
    const xmlParserCtxt* ctxt = collector->ctxt;
    if (ctxt == nullptr || ctxt->inputNr < 1)
        return;
    if (error->ctxt != ctxt)
        if (const xmlParserInput* input = reportedInput(ctxt)) {
            collector->report.line = input->line;
            collector->report.column = input->line > 0 ? std::max(input->col, 0) : 0;
        }
    if (const xmlParserInput* document = ctxt->inputTab[0]; document->buf != nullptr &&
                                                            document->buf->encoder != nullptr &&
                                                            document->buf->encoder->name != nullptr)
        collector->encoding = document->buf->encoder->name;
    if (auto line = lineFromBuffer(ctxt)) {
        collector->report.srcText = *line;
        collector->haveSourceLine = true;
    }
}

// Routes the errors of one parse to its collector: the parser context's handler takes what the
// parser reports, libxml2's per-thread handlers the few errors raised without a context (I/O,
// encoders), so nothing reaches stderr. Everything is as before when the parse ends.
class ScopedErrorRouting {
public:
    explicit ScopedErrorRouting(ErrorCollector* collector)
        : structured_(xmlStructuredError), structuredContext_(xmlStructuredErrorContext),
          generic_(xmlGenericError), genericContext_(xmlGenericErrorContext),
          previousCollector_(std::exchange(activeCollector, collector)) {
        xmlSetStructuredErrorFunc(nullptr, &collectError);
        xmlSetGenericErrorFunc(nullptr, &ignoreGenericError);
    }
    ScopedErrorRouting(const ScopedErrorRouting&) = delete;
    ScopedErrorRouting& operator=(const ScopedErrorRouting&) = delete;
    ~ScopedErrorRouting() {
        xmlSetStructuredErrorFunc(structuredContext_, structured_);
        xmlSetGenericErrorFunc(genericContext_, generic_);
        activeCollector = previousCollector_;
        xmlResetLastError();
    }

private:
    static void ignoreGenericError(void*, const char*, ...) {}

    xmlStructuredErrorFunc structured_;
    void* structuredContext_;
    xmlGenericErrorFunc generic_;
    void* genericContext_;
    ErrorCollector* previousCollector_;
};

int readFile(void* file, char* buffer, int size) {
    return static_cast<RegularFile*>(file)->read(buffer, size);
}

struct ParserCtxtDeleter {
    void operator()(xmlParserCtxt* ctxt) const noexcept { xmlFreeParserCtxt(ctxt); }
};

} // namespace

void ensureXmlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

ParsedLayout parseLayoutFile(const QString& path, const detail::RootHook& onRoot) {
    ensureXmlInitialised();
    RegularFile file(path);

    std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter> ctxt(xmlNewParserCtxt());
    if (!ctxt || ctxt->sax == nullptr)
        throw EOleException(kErrorOutOfMemory, QString());

    ErrorCollector collector;
    collector.ctxt = ctxt.get();
    ctxt->sax->serror = &collectError;

    const QByteArray head = file.head(256);
    const auto* headBytes = reinterpret_cast<const unsigned char*>(head.constData());
    XmlDocPtr doc;
    detail::TreeBuilder builder(
        ctxt.get(), file.size(),
        detail::declaredEncodingPrefix(headBytes, static_cast<std::size_t>(head.size())));
    builder.install(*ctxt->sax);
    if (file.size() >= kReadAlongFrom)
        builder.onRoot(onRoot);
    {
        std::optional<detail::BulkPrefetch> prefetch;
        if (file.size() >= kPrefetchFrom) {
            try {
                prefetch.emplace(prefetchAhead(file.size()), prefetchExpected(file.size()));
            } catch (const std::system_error&) {
                // No thread to be had: the parse faults its blocks in itself, as for small files.
            }
        }
        const ScopedErrorRouting routing(&collector);
        doc.reset(xmlCtxtReadIO(ctxt.get(), &readFile, nullptr, &file,
                                QFile::encodeName(path).constData(), nullptr, kParseOptions));
    }
    if (builder.failed())
        throw EOleException(kErrorOutOfMemory, QString());
    if (!collector.failed && doc) {
        std::shared_ptr<detail::CompactTree> tree = builder.finish(*doc);
        std::optional<DocumentProblem> problem = builder.problem();
        if (!problem && tree)
            problem = checkDefaultExpansion(*doc, *tree, file.size());
        if (!problem)
            problem = checkByteOrderMark(headBytes, static_cast<std::size_t>(head.size()), *doc);
        if (!problem && tree)
            return ParsedLayout{std::move(doc), std::move(tree)};
        if (problem) {
            ParseReport report{problem->reason, static_cast<int>(problem->line), QString()};
            const ScopedErrorRouting quiet(nullptr); // decoding the line may report errors again
            if (report.line > 0)
                report.srcText = readSourceLine(path, report.line, problem->encoding, kSourceUnits);
            throw EDOMParseError(std::move(report));
        }
    }

    doc.reset();
    ParseReport report = collector.report;
    if (!collector.failed)
        report = ParseReport{QStringLiteral("Das Dokument konnte nicht gelesen werden"), 0, {}};
    const ScopedErrorRouting quiet(nullptr); // decoding the line may report errors again
    if (collector.failed && !collector.haveSourceLine && report.line > 0)
        report.srcText = readSourceLine(path, report.line, collector.encoding, kSourceUnits);
    throw EDOMParseError(std::move(report));
}

} // namespace lyremap
