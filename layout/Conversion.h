// Reading numbers and truth values from attribute text, and the case-blind name test.
//
// An attribute value becomes a 32-bit integer in up to three stages; the first that yields a
// value wins:
//   1. a number written the user's locale's way (spaces around it, locale sign, group and
//      decimal separators, an exponent; fractions rounded half to even). A number outside the
//      32-bit range fails the whole conversion; text that is no such number goes on to stage 2.
//   2. the exact integer syntax of parseIntegerSyntax. Text it rejects goes on to stage 3.
//   3. a truth value: "True"/"False" or the locale's words for them (any letter case) give 1/0;
//      else a decimal number gives 1 when non-zero and 0 when zero; anything else fails.
#pragma once

#include "base/Exception.h"

#include <QLocale>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lyremap {

// A value that cannot be converted; the walk absorbs it and takes the attribute's default.
class EConversionError : public Exception {
public:
    using Exception::Exception;
};

// Outcome of stage 1.
struct LocaleNumber {
    enum class Status { Value, NotANumber, OutOfRange };
    Status status = Status::NotANumber;
    std::int32_t value = 0;
};

// Stage 1: a locale-formatted number, rounded half to even, within the 32-bit range. White space
// around it; a sign ("+", "-" or the locale's); ASCII or the locale's digits, its group separator
// only between digits of the integer part; its decimal separator; an exponent after "e", "E" or
// the locale's exponent symbol. Any length of input is safe.
LocaleNumber readLocaleNumber(QStringView text, const QLocale& locale);

// Stage 2: leading U+0020 spaces, at most one sign, then decimal digits, or a hexadecimal prefix
// ("$", "x", "X", "0x", "0X") and hex digits; nothing may follow. Decimal within the 32-bit
// range; hexadecimal up to 8 significant digits read as two's complement, negated by "-".
std::optional<std::int32_t> parseIntegerSyntax(QStringView text);

// Stage 3: 1 for true, 0 for false, nothing when the text is no truth value. Words compare ignoring
// case and surrounding white space; a number is read as in stage 1 but without group separators.
std::optional<std::int32_t> readTruthValue(QStringView text, const QLocale& locale);

// The three stages in order. An absent value (nullopt) fails; failure is EConversionError.
std::int32_t attributeToInteger(const std::optional<QString>& value, const QLocale& locale);

// True when name equals word over their whole length, ignoring letter case; nothing trimmed.
bool nameTest(QStringView name, QStringView word);
// nameTest for a name in UTF-8; an ASCII name is compared where it lies, without conversion.
bool nameTestUtf8(std::string_view name, QStringView word);

// The value of UTF-8 text that is an optional sign and one to nine decimal digits, nothing
// else: text that every stage of attributeToInteger reads as exactly that number, in every
// locale. Anything else gives nothing and needs attributeToInteger.
inline std::optional<std::int32_t> readPlainInteger(std::string_view text) {
    std::size_t pos = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        pos = 1;
    const std::size_t digits = text.size() - pos;
    if (digits == 0 || digits > 9)
        return std::nullopt;
    std::int32_t value = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

} // namespace lyremap
