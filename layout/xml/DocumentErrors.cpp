#include "layout/xml/DocumentErrors.h"

namespace lyremap {

namespace {

constexpr qsizetype kSourceTextUnits = 40;

QString messageOrCodeText(std::uint32_t code, const QString& description) {
    QString trimmed = trimParserDescription(description);
    return trimmed.isEmpty() ? failureCodeText(code) : trimmed;
}

} // namespace

QString parseErrorMessage(const ParseReport& report) {
    static const QString crlf = QStringLiteral("\r\n");
    return report.reason + crlf + QStringLiteral("Linie") + QStringLiteral(": ") +
           QString::number(report.line) + crlf + report.srcText.left(kSourceTextUnits);
}

QString trimParserDescription(QString description) {
    qsizetype end = description.size();
    while (end > 0 && (description.at(end - 1) == u'.' || description.at(end - 1).unicode() <= 32))
        --end;
    description.truncate(end);
    return description;
}

QString failureCodeText(std::uint32_t code) {
    switch (code) {
    case kErrorOutOfMemory:
        return QStringLiteral("Nicht genügend Speicher verfügbar");
    default:
        return QStringLiteral("OLE-Fehler %1")
            .arg(QString::number(code, 16).rightJustified(8, u'0').toUpper());
    }
}

EDOMParseError::EDOMParseError(ParseReport report)
    : Exception(parseErrorMessage(report)), report_(std::move(report)) {}

EOleException::EOleException(std::uint32_t code, const QString& description)
    : Exception(messageOrCodeText(code, description)), code_(code) {}

EListError::EListError(int index)
    : Exception(QStringLiteral("Listenindex überschreitet das Maximum (%1)").arg(index)) {}

} // namespace lyremap
