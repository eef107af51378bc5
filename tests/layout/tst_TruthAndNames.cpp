// Truth values, the whole three-stage conversion with its failures, and the case-blind name
// test. Every test pins its locale, so the results do not depend on the machine's settings.
#include "ConversionTestSupport.h"

#include <QTest>

using namespace Qt::StringLiterals;
using namespace lyremap::test;

class TruthAndNamesTest : public QObject {
    Q_OBJECT

private slots:
    void truthValue_data();
    void truthValue();
    void attributeToInteger_data();
    void attributeToInteger();
    void failureMessageIsShort();
    void nameTest_data();
    void nameTest();
    void nameTestUtf8_data() { nameTest_data(); }
    void nameTestUtf8();
};

void TruthAndNamesTest::truthValue_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("value");

    const auto yes = [](const char* name, const QLocale& locale, const QString& text, int v) {
        QTest::newRow(name) << locale << text << true << v;
    };
    const auto no = [](const char* name, const QLocale& locale, const QString& text) {
        QTest::newRow(name) << locale << text << false << 0;
    };

    yes("en True", kEnglish, u"True"_s, 1);
    yes("en false", kEnglish, u"false"_s, 0);
    yes("en spaced TRUE", kEnglish, u"  TRUE\t"_s, 1);
    no("en WAHR", kEnglish, u"WAHR"_s);
    no("en yes", kEnglish, u"Yes"_s);
    no("en truee", kEnglish, u"Truee"_s);
    no("en tru", kEnglish, u"Tru"_s);
    no("en empty", kEnglish, QString());
    no("en word", kEnglish, u"abc"_s);

    yes("de wahr", kGerman, u"wahr"_s, 1);
    yes("de FALSCH", kGerman, u" FALSCH "_s, 0);
    yes("de English True", kGerman, u"True"_s, 1);
    yes("fr vrai", QLocale(QLocale::French, QLocale::France), u"vrai"_s, 1);
    yes("fr FAUX", QLocale(QLocale::French, QLocale::France), u"FAUX"_s, 0);
    yes("es verdadero", QLocale(QLocale::Spanish, QLocale::Spain), u"Verdadero"_s, 1);
    yes("it falso", QLocale(QLocale::Italian, QLocale::Italy), u"falso"_s, 0);
    yes("nl onwaar", QLocale(QLocale::Dutch, QLocale::Netherlands), u"Onwaar"_s, 0);
    yes("pt verdadeiro", QLocale(QLocale::Portuguese, QLocale::Brazil), u"VERDADEIRO"_s, 1);
    no("fr word under de", kGerman, u"vrai"_s);

    yes("en zero with exponent", kEnglish, u"0.0e5"_s, 0);
    yes("en huge", kEnglish, u"1e999"_s, 1);
    yes("en small fraction", kEnglish, u"0.001"_s, 1);
    yes("en negative", kEnglish, u" -3 "_s, 1);
    yes("en minus zero", kEnglish, u"-0"_s, 0);
    yes("de zero", kGerman, u"0,0"_s, 0);
    yes("de fraction", kGerman, u"0,5"_s, 1);
    no("en group separator", kEnglish, u"1,000"_s);
    no("de group separator", kGerman, u"0.5"_s);
    no("en hex", kEnglish, u"0x0"_s);
}

void TruthAndNamesTest::truthValue() {
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(int, value);

    const auto result = lyremap::readTruthValue(text, locale);
    QCOMPARE(result.has_value(), accepted);
    if (accepted)
        QCOMPARE(*result, value);
}

void TruthAndNamesTest::attributeToInteger_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("converts");
    QTest::addColumn<int>("value");

    const auto ok = [](const char* name, const QLocale& locale, const QString& text, int v) {
        QTest::newRow(name) << locale << true << text << true << v;
    };
    const auto fails = [](const char* name, const QLocale& locale, const QString& text) {
        QTest::newRow(name) << locale << true << text << false << 0;
    };

    QTest::newRow("absent") << kEnglish << false << QString() << false << 0;
    fails("empty", kEnglish, QString());
    fails("word", kEnglish, u"abc"_s);
    fails("unit", kEnglish, u"5px"_s);
    ok("plain", kEnglish, u"7"_s, 7);
    ok("space before", kEnglish, u" 7"_s, 7);
    ok("negative", kEnglish, u"-10"_s, -10);
    ok("true", kEnglish, u"true"_s, 1);
    ok("False", kEnglish, u"False"_s, 0);
    ok("de WAHR", kGerman, u"WAHR"_s, 1);
    fails("en WAHR", kEnglish, u"WAHR"_s);
    ok("hex", kEnglish, u"0x1F"_s, 31);
    ok("hex after spaces", kEnglish, u"  $FFFFFFFF"_s, -1);
    fails("hex with trailing space", kEnglish, u"0x1F "_s);
    fails("nine hex digits", kEnglish, u"$123456789"_s);
    ok("en grouped", kEnglish, u"1,500"_s, 1500);
    ok("de decimal", kGerman, u"1,5"_s, 2);
    ok("exponent", kEnglish, u"1e3"_s, 1000);
    fails("eleven nines", kEnglish, u"99999999999"_s);
    fails("above largest", kEnglish, u"2147483648"_s);
    // Out of range in the first stage ends the conversion, although the truth stage reads it.
    fails("huge exponent", kEnglish, u"1e999"_s);
}

void TruthAndNamesTest::attributeToInteger() {
    QFETCH(QLocale, locale);
    QFETCH(bool, present);
    QFETCH(QString, text);
    QFETCH(bool, converts);
    QFETCH(int, value);

    const std::optional<QString> attribute = present ? std::optional<QString>(text) : std::nullopt;
    if (converts) {
        QCOMPARE(lyremap::attributeToInteger(attribute, locale), value);
    } else {
        QVERIFY_THROWS_EXCEPTION(lyremap::EConversionError,
                                 lyremap::attributeToInteger(attribute, locale));
    }
}

void TruthAndNamesTest::failureMessageIsShort() {
    const auto messageFor = [](const QString& text) -> QString {
        try {
            lyremap::attributeToInteger(text, kEnglish);
        } catch (const lyremap::EConversionError& failure) {
            return failure.message();
        }
        return {};
    };

    QVERIFY(messageFor(u"abc"_s).contains(u"'abc'"_s));
    const QString longMessage = messageFor(repeated(u'q', kMillion));
    QVERIFY(!longMessage.isEmpty());
    QVERIFY(longMessage.size() < 200);
}

void TruthAndNamesTest::nameTest_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("equal");

    QTest::newRow("same") << u"widget"_s << u"widget"_s << true;
    QTest::newRow("capitalised") << u"Widget"_s << u"widget"_s << true;
    QTest::newRow("upper") << u"WIDGET"_s << u"widget"_s << true;
    QTest::newRow("mixed word") << u"frame"_s << u"FrAmE"_s << true;
    QTest::newRow("both empty") << QString() << QString() << true;
    QTest::newRow("space after") << u"yes "_s << u"yes"_s << false;
    QTest::newRow("space before") << u" yes"_s << u"yes"_s << false;
    QTest::newRow("prefixed") << u"p:widget"_s << u"widget"_s << false;
    QTest::newRow("longer") << u"widgets"_s << u"widget"_s << false;
    QTest::newRow("shorter") << u"widge"_s << u"widget"_s << false;
    QTest::newRow("empty name") << QString() << u"yes"_s << false;
    QTest::newRow("neighbouring letter") << u"widgeu"_s << u"widget"_s << false;
    // '@' and '`' differ only in the bit that tells ASCII letters' case apart.
    QTest::newRow("not a letter") << u"@"_s << u"`"_s << false;
    QTest::newRow("umlaut upper") << u"ÄRGER"_s << u"ärger"_s << true;
    QTest::newRow("umlaut after ASCII") << u"widgetÄ"_s << u"WIDGETä"_s << true;
    QTest::newRow("umlaut vs plain") << u"ärger"_s << u"arger"_s << false;
    QTest::newRow("umlaut longer") << u"frameä"_s << u"FRAME"_s << false;
    QTest::newRow("non-ASCII then mismatch") << u"äx"_s << u"Äy"_s << false;
    QTest::newRow("Greek") << u"ΣΟΦΊΑ"_s << u"σοφία"_s << true;
}

void TruthAndNamesTest::nameTest() {
    QFETCH(QString, name);
    QFETCH(QString, word);
    QFETCH(bool, equal);

    QCOMPARE(lyremap::nameTest(name, word), equal);
    QCOMPARE(lyremap::nameTest(word, name), equal);
}

void TruthAndNamesTest::nameTestUtf8() {
    QFETCH(QString, name);
    QFETCH(QString, word);
    QFETCH(bool, equal);

    QCOMPARE(lyremap::nameTestUtf8(name.toUtf8().toStdString(), word), equal);
    QCOMPARE(lyremap::nameTestUtf8(word.toUtf8().toStdString(), name), equal);
}

QTEST_GUILESS_MAIN(TruthAndNamesTest)
#include "tst_TruthAndNames.moc"
