// Attribute text to integer: the integer syntax, numbers in the locale's way, hostile numbers
// and plain integers read where they lie. Every test pins its locale, so the results do not
// depend on the machine's settings.
#include "ConversionTestSupport.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace lyremap::test;

using lyremap::LocaleNumber;
using Status = lyremap::LocaleNumber::Status;

Q_DECLARE_METATYPE(lyremap::LocaleNumber::Status)

class ConversionTest : public QObject {
    Q_OBJECT

private slots:
    void integerSyntax_data();
    void integerSyntax();
    void localeNumber_data();
    void localeNumber();
    void hostileNumbers_data();
    void hostileNumbers();
    void plainIntegersAgree_data();
    void plainIntegersAgree();
    void readPlainInteger_data();
    void readPlainInteger();
};

void ConversionTest::integerSyntax_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("value");

    QTest::newRow("decimal") << u"42"_s << true << 42;
    QTest::newRow("plus sign") << u"+42"_s << true << 42;
    QTest::newRow("minus sign") << u"-42"_s << true << -42;
    QTest::newRow("leading spaces") << u"   12"_s << true << 12;
    QTest::newRow("0x prefix") << u"0x1F"_s << true << 31;
    QTest::newRow("0X prefix") << u"0X1f"_s << true << 31;
    QTest::newRow("x prefix") << u"x1F"_s << true << 31;
    QTest::newRow("X prefix") << u"X1f"_s << true << 31;
    QTest::newRow("dollar prefix") << u"$1f"_s << true << 31;
    QTest::newRow("negated hex") << u"-$10"_s << true << -16;
    QTest::newRow("all ones hex") << u"$FFFFFFFF"_s << true << -1;
    QTest::newRow("negated all ones") << u"-$FFFFFFFF"_s << true << 1;
    QTest::newRow("negated sign bit") << u"-$80000000"_s << true << -2147483647 - 1;
    QTest::newRow("hex leading zeros") << u"$000000001"_s << true << 1;
    QTest::newRow("largest") << u"2147483647"_s << true << 2147483647;
    QTest::newRow("smallest") << u"-2147483648"_s << true << -2147483647 - 1;
    QTest::newRow("decimal leading zeros") << u"-0002147483648"_s << true << -2147483647 - 1;
    QTest::newRow("zero") << u"0"_s << true << 0;

    QTest::newRow("trailing space") << u"12 "_s << false << 0;
    QTest::newRow("space after sign") << u"- 5"_s << false << 0;
    QTest::newRow("lone dollar") << u"$"_s << false << 0;
    QTest::newRow("lone 0x") << u"0x"_s << false << 0;
    QTest::newRow("above largest") << u"2147483648"_s << false << 0;
    QTest::newRow("below smallest") << u"-2147483649"_s << false << 0;
    QTest::newRow("nine hex digits") << u"$123456789"_s << false << 0;
    QTest::newRow("two signs") << u"--5"_s << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("only spaces") << u"   "_s << false << 0;
    QTest::newRow("only sign") << u"-"_s << false << 0;
    QTest::newRow("tab before") << u"\t5"_s << false << 0;
    QTest::newRow("hex digit in decimal") << u"12A"_s << false << 0;
    QTest::newRow("hex after decimal zero") << u"00x1"_s << false << 0;
    QTest::newRow("fraction") << u"1.5"_s << false << 0;
    QTest::newRow("non-ASCII digit") << u"\u0664"_s << false << 0;
}

void ConversionTest::integerSyntax() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(int, value);

    const auto result = lyremap::parseIntegerSyntax(text);
    QCOMPARE(result.has_value(), accepted);
    if (accepted)
        QCOMPARE(*result, value);
}

void ConversionTest::localeNumber_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Status>("status");
    QTest::addColumn<int>("value");

    const auto value = [](const char* name, const QLocale& locale, const QString& text, int v) {
        QTest::newRow(name) << locale << text << Status::Value << v;
    };
    const auto none = [](const char* name, const QLocale& locale, const QString& text) {
        QTest::newRow(name) << locale << text << Status::NotANumber << 0;
    };
    const auto range = [](const char* name, const QLocale& locale, const QString& text) {
        QTest::newRow(name) << locale << text << Status::OutOfRange << 0;
    };

    value("en plain", kEnglish, u"7"_s, 7);
    value("en space before", kEnglish, u" 7"_s, 7);
    value("en space after", kEnglish, u"7 "_s, 7);
    value("en tab and newline", kEnglish, u"\t7\n"_s, 7);
    value("en plus", kEnglish, u"+7"_s, 7);
    value("en minus zero", kEnglish, u"-0"_s, 0);
    value("en group", kEnglish, u"1,234"_s, 1234);
    value("en two groups", kEnglish, u"-1,234,567"_s, -1234567);
    value("en decimal", kEnglish, u"1.234"_s, 1);
    value("en group and decimal", kEnglish, u"1,234.5"_s, 1234);
    value("de group", kGerman, u"1.234"_s, 1234);
    value("de decimal", kGerman, u"1,234"_s, 1);
    value("de group and decimal", kGerman, u"1.235,5"_s, 1236);

    const QLocale french(QLocale::French, QLocale::France);
    value("fr narrow space group", french, u"1\u202F234,5"_s, 1234);
    value("fr group separator as trailing space", french, u"12\u202F"_s, 12);
    const QLocale arabic(QLocale::Arabic, QLocale::Egypt);
    value("ar own digits and group", arabic, u"\u0664\u066C\u0662\u0660\u0660"_s, 4200);
    value("ar own minus sign", arabic, u"\u061C-\u0664\u0662"_s, -42);
    value("ar ASCII digits", arabic, u"42"_s, 42);

    value("half to even down", kEnglish, u"2.5"_s, 2);
    value("half to even up", kEnglish, u"3.5"_s, 4);
    value("negative half", kEnglish, u"-2.5"_s, -2);
    value("negative half up", kEnglish, u"-3.5"_s, -4);
    value("half of one", kEnglish, u"0.5"_s, 0);
    value("above half", kEnglish, u"2.5000001"_s, 3);
    value("below half", kEnglish, u"2.4999999"_s, 2);
    value("de half", kGerman, u"2,5"_s, 2);
    value("de half up", kGerman, u"3,5"_s, 4);
    value("point then digits", kEnglish, u".51"_s, 1);
    value("digits then point", kEnglish, u"5."_s, 5);

    value("exponent", kEnglish, u"1e3"_s, 1000);
    value("upper exponent", kEnglish, u"1E3"_s, 1000);
    value("plus exponent", kEnglish, u"1e+3"_s, 1000);
    value("fraction exponent", kEnglish, u"1.5e1"_s, 15);
    value("negative exponent tie", kEnglish, u"25e-1"_s, 2);
    value("negative exponent", kEnglish, u"35e-1"_s, 4);
    value("de exponent", kGerman, u"2,5e2"_s, 250);

    value("largest", kEnglish, u"2147483647"_s, 2147483647);
    value("smallest", kEnglish, u"-2147483648"_s, -2147483647 - 1);
    value("largest plus fraction", kEnglish, u"2147483647.4"_s, 2147483647);
    value("smallest tie to even", kEnglish, u"-2147483648.5"_s, -2147483647 - 1);
    range("largest rounds up", kEnglish, u"2147483647.5"_s);
    range("smallest rounds down", kEnglish, u"-2147483648.6"_s);
    range("above largest", kEnglish, u"2147483648"_s);
    range("ten digits", kEnglish, u"9999999999"_s);
    range("eleven nines", kEnglish, u"99999999999"_s);
    range("negative eleven nines", kEnglish, u"-99999999999"_s);
    range("exponent beyond", kEnglish, u"1e10"_s);

    none("empty", kEnglish, QString());
    none("spaces only", kEnglish, u"   "_s);
    none("word", kEnglish, u"abc"_s);
    none("unit", kEnglish, u"5px"_s);
    none("hex", kEnglish, u"0x1F"_s);
    none("currency", kEnglish, u"$10"_s);
    none("truth word", kEnglish, u"true"_s);
    none("space after sign", kEnglish, u"- 5"_s);
    none("lone point", kEnglish, u"."_s);
    none("lone sign", kEnglish, u"-"_s);
    none("exponent without digits", kEnglish, u"1e"_s);
    none("exponent without mantissa", kEnglish, u"e3"_s);
    none("space inside", kEnglish, u"1 2"_s);
    none("leading group", kEnglish, u",123"_s);
    none("trailing group", kEnglish, u"123,"_s);
    none("double group", kEnglish, u"1,,234"_s);
    none("group in fraction", kEnglish, u"1.234,5"_s);
    none("group before point", kEnglish, u"1,.5"_s);
    none("two points", kEnglish, u"1.2.3"_s);
    none("de double group", kGerman, u"1..234"_s);
    none("de two commas", kGerman, u"1,2,3"_s);
}

void ConversionTest::localeNumber() {
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(Status, status);
    QFETCH(int, value);

    const LocaleNumber result = lyremap::readLocaleNumber(text, locale);
    QCOMPARE(result.status, status);
    if (status == Status::Value)
        QCOMPARE(result.value, value);
}

void ConversionTest::hostileNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Status>("status");
    QTest::addColumn<int>("stage1Value");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("converted");

    const QString spaces = repeated(u' ', kMillion);
    const QString zeros = repeated(u'0', kMillion);

    QTest::newRow("million spaces then 1") << spaces + u"1"_s << Status::Value << 1 << true << 1;
    QTest::newRow("1 then million spaces") << u"1"_s + spaces << Status::Value << 1 << true << 1;
    QTest::newRow("million zeros then 7") << zeros + u"7"_s << Status::Value << 7 << true << 7;
    QTest::newRow("million digits") << u"1"_s + zeros << Status::OutOfRange << 0 << false << 0;
    QTest::newRow("million nines")
        << repeated(u'9', kMillion) << Status::OutOfRange << 0 << false << 0;
    QTest::newRow("million zeros after point then 1")
        << u"0."_s + zeros + u"1"_s << Status::Value << 0 << true << 0;
    QTest::newRow("tie then million zeros") << u"2.5"_s + zeros << Status::Value << 2 << true << 2;
    QTest::newRow("tie then far non-zero")
        << u"2.5"_s + zeros + u"1"_s << Status::Value << 3 << true << 3;
    QTest::newRow("million digits scaled down")
        << u"1"_s + zeros + u"e-999999"_s << Status::Value << 10 << true << 10;
    QTest::newRow("huge exponent")
        << u"1e99999999999999"_s << Status::OutOfRange << 0 << false << 0;
    QTest::newRow("huge exponent on zero")
        << u"0e99999999999999"_s << Status::Value << 0 << true << 0;
    QTest::newRow("huge exponent on zero fraction")
        << u"0.000e99999999999999999999"_s << Status::Value << 0 << true << 0;
    QTest::newRow("tiny exponent") << u"1e-99999999999999"_s << Status::Value << 0 << true << 0;
    QTest::newRow("huge exponent cancelled by zeros")
        << u"0."_s + zeros + u"5e1000005"_s << Status::Value << 50000 << true << 50000;
    QTest::newRow("exponent with million leading zeros")
        << u"1e"_s + zeros + u"3"_s << Status::Value << 1000 << true << 1000;
    QTest::newRow("million-digit hex")
        << u"$"_s + repeated(u'F', kMillion) << Status::NotANumber << 0 << false << 0;
    QTest::newRow("hex with million leading zeros")
        << u"$"_s + zeros + u"1F"_s << Status::NotANumber << 0 << true << 31;
    QTest::newRow("million garbage")
        << repeated(u'a', kMillion) << Status::NotANumber << 0 << false << 0;
}

void ConversionTest::hostileNumbers() {
    QFETCH(QString, text);
    QFETCH(Status, status);
    QFETCH(int, stage1Value);
    QFETCH(bool, converts);
    QFETCH(int, converted);

    const LocaleNumber result = lyremap::readLocaleNumber(text, kEnglish);
    QCOMPARE(result.status, status);
    if (status == Status::Value)
        QCOMPARE(result.value, stage1Value);

    if (converts) {
        QCOMPARE(lyremap::attributeToInteger(text, kEnglish), converted);
    } else {
        QVERIFY_THROWS_EXCEPTION(lyremap::EConversionError,
                                 lyremap::attributeToInteger(text, kEnglish));
    }
}

// Plain decimal integers must come out the same whichever of stages 1 and 2 reads them.
void ConversionTest::plainIntegersAgree_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");

    for (const QLocale& locale : {kEnglish, kGerman}) {
        const QByteArray prefix = locale.name().toLatin1() + ' ';
        for (const char* text : {"0", "-0", "+17", "-17", "  42", "2147483647", "-2147483648",
                                 "000123", "-000000000002147483648"})
            QTest::newRow((prefix + text).constData()) << locale << QString::fromLatin1(text);
    }
}

void ConversionTest::plainIntegersAgree() {
    QFETCH(QLocale, locale);
    QFETCH(QString, text);

    const auto exact = lyremap::parseIntegerSyntax(text);
    QVERIFY(exact.has_value());
    const LocaleNumber localised = lyremap::readLocaleNumber(text, locale);
    QCOMPARE(localised.status, Status::Value);
    QCOMPARE(localised.value, *exact);
}

void ConversionTest::readPlainInteger_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("plain");
    QTest::addColumn<int>("value");

    QTest::newRow("digit") << QByteArray("7") << true << 7;
    QTest::newRow("zero") << QByteArray("0") << true << 0;
    QTest::newRow("minus zero") << QByteArray("-0") << true << 0;
    QTest::newRow("leading zeros") << QByteArray("007") << true << 7;
    QTest::newRow("plus") << QByteArray("+12") << true << 12;
    QTest::newRow("minus") << QByteArray("-12") << true << -12;
    QTest::newRow("nine digits") << QByteArray("999999999") << true << 999999999;
    QTest::newRow("nine digits negative") << QByteArray("-999999999") << true << -999999999;
    QTest::newRow("ten digits") << QByteArray("1000000000") << false << 0;
    QTest::newRow("empty") << QByteArray() << false << 0;
    QTest::newRow("sign only") << QByteArray("-") << false << 0;
    QTest::newRow("two signs") << QByteArray("--1") << false << 0;
    QTest::newRow("space before") << QByteArray(" 1") << false << 0;
    QTest::newRow("space after") << QByteArray("1 ") << false << 0;
    QTest::newRow("fraction") << QByteArray("1,5") << false << 0;
    QTest::newRow("point") << QByteArray("1.5") << false << 0;
    QTest::newRow("hexadecimal") << QByteArray("0x1F") << false << 0;
    QTest::newRow("exponent") << QByteArray("1e3") << false << 0;
    QTest::newRow("truth") << QByteArray("true") << false << 0;
    QTest::newRow("Arabic-Indic digit") << QByteArray("\xd9\xa3") << false << 0;
}

void ConversionTest::readPlainInteger() {
    QFETCH(QByteArray, text);
    QFETCH(bool, plain);
    QFETCH(int, value);

    const auto read = lyremap::readPlainInteger(std::string_view(text.constData(), text.size()));
    QCOMPARE(read.has_value(), plain);
    if (!plain)
        return;
    QCOMPARE(*read, value);
    // What the shortcut reads, the full conversion reads alike in every locale.
    for (const QLocale& locale : {kEnglish, kGerman, QLocale(QLocale::French, QLocale::France),
                                  QLocale(QLocale::Arabic, QLocale::Egypt), QLocale::c()})
        QCOMPARE(lyremap::attributeToInteger(QString::fromUtf8(text), locale), value);
}

QTEST_GUILESS_MAIN(ConversionTest)
#include "tst_Conversion.moc"
