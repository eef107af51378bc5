#include "layout/Conversion.h"

#include <QChar>
#include <algorithm>
#include <array>

namespace lyremap {

namespace {

// Digit counts and exponents are accumulated with saturation at this bound. It lies far beyond
// anything that can still change a 32-bit result, and sums of two such values stay well inside
// 64 bits, so absurd inputs (a million digits, an exponent of 99999999999999) cannot overflow.
constexpr std::int64_t kSaturation = 1'000'000'000'000'000;

constexpr std::int64_t saturate(std::int64_t v) {
    return std::clamp(v, -kSaturation, kSaturation);
}

// The symbols of a locale that numbers are written with. An empty symbol never matches.
struct NumberSymbols {
    QString decimal;
    QString group;
    QString minus;
    QString plus;
    QString exponential;
    char16_t zero = u'0';

    explicit NumberSymbols(const QLocale& locale)
        : decimal(locale.decimalPoint()), group(locale.groupSeparator()),
          minus(locale.negativeSign()), plus(locale.positiveSign()),
          exponential(locale.exponential()) {
        // Only a zero digit within the BMP gives a contiguous range of ten code units.
        const QString localZero = locale.zeroDigit();
        if (localZero.size() == 1)
            zero = localZero.front().unicode();
    }
};

// A number read from text as sign, significant digits and decimal point position:
// value = 0.d1 d2 d3 ... * 10^point, where d1 is the first non-zero digit. Only the leading
// digits are kept; whether any dropped digit was non-zero is remembered in `sticky`, which is
// all that rounding to an integer needs.
struct ScannedNumber {
    static constexpr int kKept = 20;

    bool negative = false;
    std::array<std::uint8_t, kKept> digits{};
    int count = 0; // significant digits kept; 0 means the value is zero
    bool sticky = false;
    std::int64_t point = 0;

    void push(int digit) {
        if (count < kKept)
            digits[count++] = static_cast<std::uint8_t>(digit);
        else if (digit != 0)
            sticky = true;
    }
};

class NumberScanner {
public:
    NumberScanner(QStringView text, const NumberSymbols& symbols)
        : text_(text), symbols_(symbols) {}

    // Reads the whole text as a number; false when it is none. Group separators are accepted
    // between digits of the integer part only when allowGroups is set.
    bool scan(bool allowGroups, ScannedNumber& out) {
        skipSpace();
        if (matchChar(u'-') || match(symbols_.minus))
            out.negative = true;
        else if (!matchChar(u'+'))
            match(symbols_.plus);

        bool anyDigit = false;
        while (pos_ < text_.size()) {
            if (const int d = digitAt(pos_); d >= 0) {
                ++pos_;
                anyDigit = true;
                if (out.count > 0 || d != 0) {
                    out.push(d);
                    out.point = saturate(out.point + 1);
                }
            } else if (allowGroups && anyDigit && groupBetweenDigits()) {
                pos_ += symbols_.group.size();
            } else {
                break;
            }
        }

        if (match(symbols_.decimal)) {
            for (int d; pos_ < text_.size() && (d = digitAt(pos_)) >= 0; ++pos_) {
                anyDigit = true;
                if (out.count > 0 || d != 0)
                    out.push(d);
                else
                    out.point = saturate(out.point - 1);
            }
        }
        if (!anyDigit)
            return false;

        if (matchChar(u'e') || matchChar(u'E') || match(symbols_.exponential)) {
            bool negativeExponent = false;
            if (matchChar(u'-') || match(symbols_.minus))
                negativeExponent = true;
            else if (!matchChar(u'+'))
                match(symbols_.plus);
            std::int64_t exponent = 0;
            bool anyExponentDigit = false;
            for (int d; pos_ < text_.size() && (d = digitAt(pos_)) >= 0; ++pos_) {
                anyExponentDigit = true;
                exponent = saturate(exponent * 10 + d);
            }
            if (!anyExponentDigit)
                return false;
            out.point = saturate(out.point + (negativeExponent ? -exponent : exponent));
        }

        skipSpace();
        return pos_ == text_.size();
    }

private:
    int digitAt(qsizetype at) const {
        const char16_t c = text_[at].unicode();
        if (c >= u'0' && c <= u'9')
            return c - u'0';
        if (symbols_.zero != u'0' && c >= symbols_.zero && c - symbols_.zero < 10)
            return c - symbols_.zero;
        return -1;
    }

    bool groupBetweenDigits() const {
        const QString& group = symbols_.group;
        if (group.isEmpty() || !text_.sliced(pos_).startsWith(group))
            return false;
        const qsizetype after = pos_ + group.size();
        return after < text_.size() && digitAt(after) >= 0;
    }

    void skipSpace() {
        while (pos_ < text_.size() && text_[pos_].isSpace())
            ++pos_;
    }

    bool matchChar(char16_t c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool match(const QString& symbol) {
        if (symbol.isEmpty() || !text_.sliced(pos_).startsWith(symbol))
            return false;
        pos_ += symbol.size();
        return true;
    }

    QStringView text_;
    const NumberSymbols& symbols_;
    qsizetype pos_ = 0;
};

bool scanNumber(QStringView text, const QLocale& locale, bool allowGroups, ScannedNumber& out) {
    const NumberSymbols symbols(locale);
    return NumberScanner(text, symbols).scan(allowGroups, out);
}

// Rounds half to even and checks the 32-bit range.
LocaleNumber toInteger(const ScannedNumber& n) {
    if (n.count == 0)
        return {LocaleNumber::Status::Value, 0};
    // With a non-zero leading digit, more than ten integer digits means at least 10^10.
    if (n.point > 10)
        return {LocaleNumber::Status::OutOfRange, 0};

    std::uint64_t magnitude = 0;
    if (n.point >= 0) {
        const int intDigits = static_cast<int>(n.point);
        const auto digit = [&n](int i) -> int { return i < n.count ? n.digits[i] : 0; };
        for (int i = 0; i < intDigits; ++i)
            magnitude = magnitude * 10 + static_cast<std::uint64_t>(digit(i));
        const int roundDigit = digit(intDigits);
        bool restNonZero = n.sticky;
        for (int i = intDigits + 1; i < n.count; ++i)
            restNonZero = restNonZero || n.digits[i] != 0;
        if (roundDigit > 5 || (roundDigit == 5 && (restNonZero || magnitude % 2 == 1)))
            ++magnitude;
    }
    // n.point < 0: the value is below 0.1 and rounds to zero.

    constexpr std::uint64_t kMaxPositive = 2147483647u;
    if (magnitude > (n.negative ? kMaxPositive + 1 : kMaxPositive))
        return {LocaleNumber::Status::OutOfRange, 0};
    const std::int64_t signedValue =
        n.negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return {LocaleNumber::Status::Value, static_cast<std::int32_t>(signedValue)};
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

QStringView trimmed(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].isSpace())
        ++begin;
    while (end > begin && text[end - 1].isSpace())
        --end;
    return text.sliced(begin, end - begin);
}

struct TruthWords {
    QLocale::Language language;
    const char16_t* trueWord;
    const char16_t* falseWord;
};

// The words for true and false in the languages whose users are likely to write them.
constexpr TruthWords kTruthWords[] = {
    {QLocale::German, u"Wahr", u"Falsch"},         {QLocale::French, u"Vrai", u"Faux"},
    {QLocale::Spanish, u"Verdadero", u"Falso"},    {QLocale::Italian, u"Vero", u"Falso"},
    {QLocale::Dutch, u"Waar", u"Onwaar"},          {QLocale::Portuguese, u"Verdadeiro", u"Falso"},
    {QLocale::Swedish, u"Sant", u"Falskt"},        {QLocale::Danish, u"Sand", u"Falsk"},
    {QLocale::NorwegianBokmal, u"Sann", u"Usann"}, {QLocale::Finnish, u"Tosi", u"Epätosi"},
    {QLocale::Polish, u"Prawda", u"Fałsz"},
};

// The offending value as shown in a message: long values are cut short.
QString shownValue(const QString& value) {
    constexpr qsizetype kShown = 40;
    if (value.size() <= kShown)
        return value;
    qsizetype cut = kShown;
    if (value[cut - 1].isHighSurrogate())
        --cut;
    return value.left(cut) + u'…';
}

} // namespace

LocaleNumber readLocaleNumber(QStringView text, const QLocale& locale) {
    ScannedNumber number;
    if (!scanNumber(text, locale, true, number))
        return {};
    return toInteger(number);
}

std::optional<std::int32_t> parseIntegerSyntax(QStringView text) {
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size && text[pos] == u' ')
        ++pos;
    bool negative = false;
    if (pos < size && (text[pos] == u'-' || text[pos] == u'+')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    if (pos == size)
        return std::nullopt;

    bool hex = false;
    if (text[pos] == u'$' || text[pos] == u'x' || text[pos] == u'X') {
        hex = true;
        ++pos;
    } else if (text[pos] == u'0' && pos + 1 < size &&
               (text[pos + 1] == u'x' || text[pos + 1] == u'X')) {
        hex = true;
        pos += 2;
    }
    if (pos == size)
        return std::nullopt;

    if (hex) {
        std::uint32_t value = 0;
        int significant = 0;
        for (; pos < size; ++pos) {
            const int d = hexDigit(text[pos].unicode());
            if (d < 0)
                return std::nullopt;
            if (significant > 0 || d != 0) {
                if (++significant > 8)
                    return std::nullopt;
                value = value << 4 | static_cast<std::uint32_t>(d);
            }
        }
        // Two's complement: the bit pattern is the value, and "-" negates it modulo 2^32.
        if (negative)
            value = 0u - value;
        return static_cast<std::int32_t>(value);
    }

    constexpr std::uint64_t kLimit = 2147483648u;
    std::uint64_t magnitude = 0;
    for (; pos < size; ++pos) {
        const char16_t c = text[pos].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        // Saturates just above the limit, so any number of digits is safe.
        magnitude = std::min<std::uint64_t>(magnitude * 10 + (c - u'0'), kLimit + 1);
    }
    if (magnitude > (negative ? kLimit : kLimit - 1))
        return std::nullopt;
    return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                              : static_cast<std::int64_t>(magnitude));
}

std::optional<std::int32_t> readTruthValue(QStringView text, const QLocale& locale) {
    // The words are compared with the name test after trimming, which also covers the
    // untrimmed name test for "True" and "False" that closes the stage.
    const QStringView word = trimmed(text);
    if (nameTest(word, u"True"))
        return 1;
    if (nameTest(word, u"False"))
        return 0;
    for (const TruthWords& words : kTruthWords) {
        if (words.language != locale.language())
            continue;
        if (nameTest(word, words.trueWord))
            return 1;
        if (nameTest(word, words.falseWord))
            return 0;
    }

    ScannedNumber number;
    if (scanNumber(text, locale, false, number))
        return number.count > 0 ? 1 : 0;
    return std::nullopt;
}

std::int32_t attributeToInteger(const std::optional<QString>& value, const QLocale& locale) {
    if (!value)
        throw EConversionError(QStringLiteral("Kein Wert vorhanden"));

    const LocaleNumber number = readLocaleNumber(*value, locale);
    switch (number.status) {
    case LocaleNumber::Status::Value:
        return number.value;
    case LocaleNumber::Status::OutOfRange:
        throw EConversionError(
            QStringLiteral("Wert außerhalb des gültigen Bereichs: '%1'").arg(shownValue(*value)));
    case LocaleNumber::Status::NotANumber:
        break;
    }
    if (const auto integer = parseIntegerSyntax(*value))
        return *integer;
    if (const auto truth = readTruthValue(*value, locale))
        return *truth;
    throw EConversionError(QStringLiteral("Ungültiger Wert: '%1'").arg(shownValue(*value)));
}

bool nameTest(QStringView name, QStringView word) {
    // Element names are nearly always ASCII: compare them without Qt's Unicode folding. As long
    // as both texts are ASCII up to a position, they line up code unit by code unit, so an
    // ASCII mismatch there is final; the first non-ASCII unit hands over to full folding.
    const qsizetype common = std::min(name.size(), word.size());
    const auto lower = [](char16_t c) -> char16_t { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t a = name[i].unicode();
        const char16_t b = word[i].unicode();
        if (a >= 0x80 || b >= 0x80)
            return name.sliced(i).compare(word.sliced(i), Qt::CaseInsensitive) == 0;
        if (lower(a) != lower(b))
            return false;
    }
    // Both are ASCII and equal up to the shorter length; what is left of the longer one cannot
    // fold onto nothing, so only equal lengths match.
    return name.size() == word.size();
}

bool nameTestUtf8(std::string_view name, QStringView word) {
    // As in nameTest: while both are ASCII, bytes and code units line up one to one. After an
    // equal ASCII stretch as long as the shorter, whatever is left of the longer is more code
    // units on its side only, so the two match exactly when nothing is left.
    const std::size_t common = std::min(name.size(), static_cast<std::size_t>(word.size()));
    const auto lower = [](char16_t c) -> char16_t { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
    for (std::size_t i = 0; i < common; ++i) {
        const auto a = static_cast<unsigned char>(name[i]);
        const char16_t b = word[qsizetype(i)].unicode();
        if (a >= 0x80 || b >= 0x80)
            return nameTest(QString::fromUtf8(name.data(), qsizetype(name.size())), word);
        if (lower(a) != lower(b))
            return false;
    }
    return name.size() == static_cast<std::size_t>(word.size());
}

} // namespace lyremap
