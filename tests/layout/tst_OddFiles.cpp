// Whatever file a user picks, the open ends by itself with " loaded." or " failed: " and a clear
// message, draws only what the file says and reads nothing but the named file.
#include "RecordingTarget.h"
#include "TestSupport.h"

#include "layout/OpenLayout.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <sys/stat.h>

using namespace lyremap;
using namespace Qt::StringLiterals;
using lyremap::test::RecordingTarget;
using lyremap::test::ScratchDir;

namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);

// The drawing calls of a recording, without the map's reset and refresh.
QStringList drawnRectangles(const RecordingTarget& target) {
    QStringList drawn;
    for (const QString& call : target.calls)
        if (call != u"ResetMap" && call != u"RefreshMap")
            drawn << call;
    return drawn;
}

// An open of PATH in a fresh document, recorded.
struct Opened {
    OpenOutcome outcome;
    QStringList drawn; // the rectangles drawn, as the recorder writes them
};

Opened openRecorded(const QString& path) {
    XmlDocument doc;
    RecordingTarget target;
    Opened opened{OpenLayout(doc, target, path, kEnglish), {}};
    opened.drawn = drawnRectangles(target);
    return opened;
}

// The reason of a failed open: the message up to its first "\r\n".
QString failureReason(const OpenOutcome& outcome) {
    const qsizetype at = outcome.statusText.indexOf(u" failed: ");
    return at < 0 ? QString() : outcome.statusText.mid(at + 9).section(u"\r\n"_s, 0, 0);
}

QByteArray layoutWith(const QByteArray& frameAttributes) {
    return "<widget_description><widget><frame " + frameAttributes +
           "/></widget></widget_description>";
}

QByteArray utf16(const QString& text, bool bigEndian) {
    QByteArray bytes = bigEndian ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

QByteArray randomBytes(int size) {
    QRandomGenerator generator(20261209); // fixed seed: the same bytes on every run
    QByteArray bytes(size, Qt::Uninitialized);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

} // namespace

class OddFilesTest : public QObject {
    Q_OBJECT

private slots:
    void notRegularFiles_data();
    void notRegularFiles();
    void contents_data();
    void contents();
    void fileChangesAfterChoosing_data();
    void fileChangesAfterChoosing();
    void longOneLineFile();
    void limitValuesWithMillionSpaces_data();
    void limitValuesWithMillionSpaces();
    void attributeDefaultsAreBounded_data();
    void attributeDefaultsAreBounded();
};

void OddFilesTest::notRegularFiles_data() {
    QTest::addColumn<QString>("path"); // "fifo" and "folder" are made in a scratch folder
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder") << u"folder"_s << u"Der Pfad bezeichnet einen Ordner, keine Datei"_s;
    QTest::newRow("named pipe without writer")
        << u"fifo"_s << u"Der Pfad bezeichnet eine benannte Pipe, keine Datei"_s;
    QTest::newRow("/dev/zero") << u"/dev/zero"_s << u"Der Pfad bezeichnet ein Gerät, keine Datei"_s;
    QTest::newRow("/dev/urandom") << u"/dev/urandom"_s
                                  << u"Der Pfad bezeichnet ein Gerät, keine Datei"_s;
    QTest::newRow("/dev/stdin") << u"/dev/stdin"_s << QString(); // whatever stdin is, not a file
}

void OddFilesTest::notRegularFiles() {
    QFETCH(QString, path);
    QFETCH(QString, reason);
    ScratchDir dir;
    if (path == u"fifo") {
        path = dir.path(u"pipe.xml"_s);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (path == u"folder") {
        path = dir.path(u"folder.xml"_s);
        QVERIFY(QDir().mkdir(path));
    } else if (path == u"/dev/stdin" && QFileInfo(path).isFile()) {
        QSKIP("stdin is a regular file here");
    }
    // Opening a pipe that has no writer would block for ever: finishing at all is the proof.
    const auto [outcome, drawn] = openRecorded(path);
    QVERIFY(!outcome.loaded);
    QVERIFY2(outcome.statusText.endsWith(u"\r\nLinie: 0\r\n"), qPrintable(outcome.statusText));
    if (!reason.isEmpty())
        QCOMPARE(failureReason(outcome), reason);
    else
        QVERIFY(failureReason(outcome).startsWith(u"Der Pfad bezeichnet "));
    QCOMPARE(drawn, QStringList());
}

void OddFilesTest::contents_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");    // empty when the file loads
    QTest::addColumn<QStringList>("drawn"); // rectangles drawn, as the recorder writes them

    const QString frame = u"dotted 1 0 25 24"_s;
    QTest::newRow("random bytes") << randomBytes(65536) << u"Start tag expected, '<' not found"_s
                                  << QStringList();
    QTest::newRow("NUL in text")
        << QByteArray("<widget_description><widget>\0<frame/></widget></widget_description>", 66)
        << u"Premature end of data in tag widget line 1"_s << QStringList();
    QTest::newRow("NUL in an attribute value")
        << layoutWith(QByteArray("x=\"1\0002\"", 8)) << u"Char 0x0 out of allowed range"_s
        << QStringList();
    QTest::newRow("only NUL bytes")
        << QByteArray(4096, '\0') << u"Document is empty"_s << QStringList();

    const QString utf16Layout =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><widget_description><widget>"
        "<frame x=\"1\" name=\"Größe\"/></widget></widget_description>"_s;
    QTest::newRow("UTF-16 LE with BOM")
        << utf16(utf16Layout, false) << QString() << QStringList{frame};
    QTest::newRow("UTF-16 BE with BOM")
        << utf16(utf16Layout, true) << QString() << QStringList{frame};
    QTest::newRow("UTF-16 LE without BOM")
        << utf16(utf16Layout, false).mid(2) << QString() << QStringList{frame};
    QTest::newRow("ISO-8859-1 with umlauts")
        << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<widget_description>"
                      "<!-- Gr\xF6\xDF"
                      "e -->\n<widget><frame x=\"1\" name=\"\xC4rger\"/></widget>"
                      "</widget_description>")
        << QString() << QStringList{frame};
    QTest::newRow("declared UTF-8, holds Latin-1")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + layoutWith("x=\"1\" name=\"\xE4\"")
        << u"Input is not proper UTF-8, indicate encoding !\nBytes: 0xE4 0x22 0x2F 0x3E"_s
        << QStringList();
    QTest::newRow("declared UTF-16, holds UTF-8")
        << "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + layoutWith("x=\"1\"")
        << u"Document labelled UTF-16 but has UTF-8 content"_s << QStringList();
    QTest::newRow("declared Latin-1, holds UTF-8: loads, every byte is a Latin-1 character")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + layoutWith("x=\"1\" n=\"\xC3\xA4\"")
        << QString() << QStringList{frame};
    // A decoding error while the parser's buffer grows: the message's line comes from the file,
    // not from the buffer the parser has just let go of.
    QTest::newRow("decoding error after the buffer grew")
        << "<?xml version=\"1.0\" encoding=\"euc-jp\"?>\n<widget_description><!-- " +
               QByteArray("\xA4\xA2").repeated(1000) +
               " -->\xFF\xFF\xFF<widget/></widget_description>"
        << u"input conversion failed due to input error, bytes 0xFF 0xFF 0xFF 0x3C"_s
        << QStringList();
    QTest::newRow("unsupported encoding")
        << "<?xml version=\"1.0\" encoding=\"x-klingon\"?>" + layoutWith("x=\"1\"")
        << u"Unsupported encoding x-klingon"_s << QStringList();

    // A DTD file lies beside every layout of this table and gives frames an x of 500 and a
    // solid border. Drawing at x 0, dotted, proves it was never read.
    const QStringList atOrigin{u"dotted 0 0 24 24"_s};
    QTest::newRow("local DTD by SYSTEM id")
        << "<!DOCTYPE widget_description SYSTEM \"defaults.dtd\">" + layoutWith("") << QString()
        << atOrigin;
    QTest::newRow("local DTD by PUBLIC id")
        << "<!DOCTYPE widget_description PUBLIC \"-//x//y\" \"defaults.dtd\">" + layoutWith("")
        << QString() << atOrigin;
    QTest::newRow("local DTD as a parameter entity")
        << "<!DOCTYPE widget_description [<!ENTITY % d SYSTEM \"defaults.dtd\"> %d;]>" +
               layoutWith("")
        << QString() << atOrigin;
    QTest::newRow("external entity in an attribute")
        << QByteArray("<!DOCTYPE widget_description [<!ENTITY e SYSTEM \"defaults.dtd\">]>") +
               layoutWith("x=\"&e;\"")
        << u"Attribute references external entity 'e'"_s << QStringList();
}

void OddFilesTest::contents() {
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QFETCH(QStringList, drawn);
    ScratchDir dir;
    dir.write(u"defaults.dtd"_s, "<!ATTLIST frame x CDATA \"500\" border CDATA \"yes\">");
    const QString path = dir.write(u"odd.xml"_s, content);
    const Opened opened = openRecorded(path);
    QCOMPARE(failureReason(opened.outcome), reason);
    QCOMPARE(opened.outcome.loaded, reason.isEmpty());
    QCOMPARE(opened.drawn, drawn);
}

void OddFilesTest::fileChangesAfterChoosing_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QStringList>("drawn");
    QTest::newRow("removed") << u"remove"_s << u"Die Datei existiert nicht"_s << QStringList();
    QTest::newRow("replaced by a folder")
        << u"folder"_s << u"Der Pfad bezeichnet einen Ordner, keine Datei"_s << QStringList();
    QTest::newRow("replaced by a pipe")
        << u"fifo"_s << u"Der Pfad bezeichnet eine benannte Pipe, keine Datei"_s << QStringList();
    QTest::newRow("replaced by another layout: the new one is drawn")
        << u"other"_s << QString() << QStringList{u"solid 7 0 31 24"_s};
    QTest::newRow("cut short") << u"truncate"_s << u"Couldn't find end of Start Tag f line 1"_s
                               << QStringList();
}

void OddFilesTest::fileChangesAfterChoosing() {
    QFETCH(QString, change);
    QFETCH(QString, reason);
    QFETCH(QStringList, drawn);
    ScratchDir dir;
    const QString path = dir.write(u"chosen.xml"_s, layoutWith("x=\"1\""));
    XmlDocument doc;
    RecordingTarget target;
    QVERIFY(OpenLayout(doc, target, path, kEnglish).loaded);

    // What the user chose is gone or different by the time it is opened again.
    QVERIFY(change == u"truncate" || QFile::remove(path));
    if (change == u"folder")
        QVERIFY(QDir().mkdir(path));
    else if (change == u"fifo")
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (change == u"other")
        dir.write(u"chosen.xml"_s, layoutWith("x=\"7\" border=\"yes\""));
    else if (change == u"truncate")
        dir.write(u"chosen.xml"_s, layoutWith("x=\"1\"").left(30));

    target.calls.clear();
    const OpenOutcome outcome = OpenLayout(doc, target, path, kEnglish);
    QCOMPARE(failureReason(outcome), reason);
    QCOMPARE(outcome.loaded, reason.isEmpty());
    QCOMPARE(drawnRectangles(target), drawn);
}

void OddFilesTest::longOneLineFile() {
    // 30 MB of frames on a single line, broken only at its very end.
    QByteArray content = "<widget_description><widget>";
    const QByteArray frame = "<frame x=\"1\" y=\"2\" width=\"3\" height=\"4\" border=\"yes\"/>";
    content.reserve(30'000'000 + 100);
    while (content.size() < 30'000'000)
        content += frame;
    content += "</widget></oops>";
    ScratchDir dir;
    const QString path = dir.write(u"one-line.xml"_s, content);
    const auto [outcome, drawn] = openRecorded(path);
    QVERIFY(!outcome.loaded);
    const QStringList parts =
        outcome.statusText.mid(outcome.statusText.indexOf(u" failed: ") + 9).split(u"\r\n"_s);
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts[0], u"Opening and ending tag mismatch: widget_description line 1 and oops"_s);
    QCOMPARE(parts[1], u"Linie: 1"_s);
    QCOMPARE(parts[2], QString::fromLatin1(content.left(40))); // 40 characters of the line
    QCOMPARE(drawn, QStringList());
}

void OddFilesTest::limitValuesWithMillionSpaces_data() {
    QTest::addColumn<QByteArray>("attributes"); // each value gets a million leading spaces
    QTest::addColumn<QString>("drawn");
    // Sums leaving the 32-bit range fall back to the default; the default's +24 wraps.
    QTest::newRow("x largest") << QByteArray("x=\"2147483647\"")
                               << u"dotted 2147483647 0 -2147483625 24"_s;
    QTest::newRow("x smallest") << QByteArray("x=\"-2147483648\"")
                                << u"dotted -2147483648 0 -2147483624 24"_s;
    QTest::newRow("x beyond largest: default")
        << QByteArray("x=\"2147483648\"") << u"dotted 0 0 24 24"_s;
    QTest::newRow("x beyond smallest: default")
        << QByteArray("x=\"-2147483649\"") << u"dotted 0 0 24 24"_s;
    QTest::newRow("y largest, height 1: sum overflows")
        << QByteArray("y=\"2147483647\" height=\"1\"") << u"dotted 0 2147483647 24 -2147483625"_s;
    QTest::newRow("width and height at the limits")
        << QByteArray("x=\"-1\" y=\"1\" width=\"2147483647\" height=\"-2147483648\"")
        << u"dotted -1 1 2147483646 -2147483647"_s;
    QTest::newRow("hexadecimal all ones")
        << QByteArray("x=\"$FFFFFFFF\" width=\"0x80000000\"") << u"dotted -1 0 23 24"_s;
    QTest::newRow("every coordinate at the limits; a spaced border is not yes")
        << QByteArray("x=\"2147483647\" y=\"-2147483648\" width=\"-2147483648\" "
                      "height=\"2147483647\" border=\"yes\"")
        << u"dotted 2147483647 -2147483648 -1 -1"_s;
}

void OddFilesTest::limitValuesWithMillionSpaces() {
    QFETCH(QByteArray, attributes);
    QFETCH(QString, drawn);
    attributes.replace("=\"", "=\"" + QByteArray(1'000'000, ' '));
    ScratchDir dir;
    const QString path = dir.write(u"limits.xml"_s, layoutWith(attributes));
    const Opened opened = openRecorded(path);
    QVERIFY2(opened.outcome.loaded, qPrintable(opened.outcome.statusText.left(200)));
    QCOMPARE(opened.drawn, QStringList{drawn});
}

void OddFilesTest::attributeDefaultsAreBounded_data() {
    QTest::addColumn<QByteArray>("subset"); // the DTD's declarations
    QTest::addColumn<QString>("reason");    // empty when the file loads
    const QByteArray longDefault = "<!ATTLIST frame x CDATA '" + QByteArray(5000, '1') + "'>";
    // 3,000 frames given 5,000 characters each: 15 million from a file of 30 KB.
    QTest::newRow("long default on many frames")
        << longDefault << u"Die Vorgabewerte der Attribute ergeben mehr als 10000000 Zeichen"_s;
    QTest::newRow("long default on many frames, entities declared too")
        << longDefault + "<!ENTITY e 'e'>"
        << u"Die Vorgabewerte der Attribute ergeben mehr als 10000000 Zeichen"_s;
    QTest::newRow("short default on many frames")
        << QByteArray("<!ATTLIST frame x CDATA '5'>") << QString();
    QTest::newRow("long default on an element that is not there")
        << QByteArray("<!ATTLIST other x CDATA '" + QByteArray(5000, '1') + "'>") << QString();
}

void OddFilesTest::attributeDefaultsAreBounded() {
    QFETCH(QByteArray, subset);
    QFETCH(QString, reason);
    const QByteArray content =
        "<!DOCTYPE widget_description [" + subset + "]><widget_description><widget>" +
        QByteArray("<frame/>").repeated(3000) + "</widget></widget_description>";
    ScratchDir dir;
    const QString path = dir.write(u"defaults.xml"_s, content);
    const Opened opened = openRecorded(path);
    QCOMPARE(failureReason(opened.outcome), reason);
    QCOMPARE(opened.outcome.loaded, reason.isEmpty());
    QCOMPARE(opened.drawn.size(), reason.isEmpty() ? 3000 : 0);
    if (reason.isEmpty())
        QCOMPARE(opened.drawn.first(),
                 subset.contains("frame x") ? u"dotted 5 0 29 24"_s : u"dotted 0 0 24 24"_s);
}

QTEST_GUILESS_MAIN(OddFilesTest)
#include "tst_OddFiles.moc"
