// Fuzz entry point: attribute text to integer, truth value and name test, in several locales.
//
// Byte 0 picks the locale, byte 1 how the rest becomes text (UTF-8, or raw UTF-16 code units so
// that lone surrogates reach the code). The exact integer syntax is checked against a plain
// reference reading, so a wrong value is a finding, not only a crash.
#include "layout/Conversion.h"
#include <QLocale>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

const QLocale& pickLocale(std::uint8_t selector) {
    static const std::array<QLocale, 6> locales = {
        QLocale::c(),
        QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany),
        QLocale(QLocale::French, QLocale::France),       // narrow no-break space groups
        QLocale(QLocale::Arabic, QLocale::Egypt),        // Arabic-Indic digits and signs
        QLocale(QLocale::German, QLocale::Switzerland)}; // apostrophe groups
    return locales[selector % locales.size()];
}

// Decimal text "  [+-]digits" read the obvious way, its magnitude capped just past the 32-bit
// range; nullopt when the text is not of that shape.
std::optional<std::int64_t> referenceDecimal(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    if (i == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < u'0' || text[i] > u'9')
            return std::nullopt;
        value = std::min<std::int64_t>(value * 10 + (text[i].unicode() - u'0'), 1LL << 32);
    }
    return negative ? -value : value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const QLocale& locale = pickLocale(data[0]);
    const char* bytes = reinterpret_cast<const char*>(data + 2);
    const qsizetype length = static_cast<qsizetype>(size - 2);
    const QString text = (data[1] & 1) ? QString(reinterpret_cast<const QChar*>(bytes), length / 2)
                                       : QString::fromUtf8(bytes, length);

    (void)lyremap::readLocaleNumber(text, locale);
    (void)lyremap::readTruthValue(text, locale);
    (void)lyremap::nameTest(text, u"frame");
    try {
        (void)lyremap::attributeToInteger(text, locale);
    } catch (const lyremap::EConversionError&) {
    }

    const std::optional<std::int32_t> parsed = lyremap::parseIntegerSyntax(text);
    if (const auto reference = referenceDecimal(text)) {
        const bool inRange = *reference >= INT32_MIN && *reference <= INT32_MAX;
        if (parsed.has_value() != inRange || (inRange && *parsed != *reference))
            std::abort();
    }
    return 0;
}
