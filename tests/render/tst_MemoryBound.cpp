// No file of N bytes makes an open use more than kBytesPerFileByte * N + kBaseMiB of memory.
//
// Each file is opened by lyremap-render in a process of its own, and the peak resident size is
// the kernel's own accounting of that finished process, so nothing the test itself holds counts.
#include "TestSupport.h"

#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace Qt::StringLiterals;
using lyremap::test::ScratchDir;

extern char** environ;

namespace {

// The stated bound: the process itself, Qt and libxml2 take up to kBaseMiB; the document takes
// at most kBytesPerFileByte bytes per byte of the file. The multiple is set by the densest
// files: nodes as short as two bytes ("&e;x" is a reference and a text node), each held in 24
// bytes, an entity's content once however often it is referenced. Layouts take about 2 bytes
// per byte.
constexpr qint64 kBaseMiB = 64;
constexpr qint64 kBytesPerFileByte = 12;
// Layouts must stay far below that.
constexpr qint64 kLayoutBytesPerFileByte = 6;

struct Run {
    int exitCode = -1;
    qint64 peakKiB = -1;
};

// Runs lyremap-render with OPTIONS on PATH with its output discarded, and reports its peak
// resident size.
Run renderPeak(const QString& path, const QStringList& options) {
    QList<QByteArray> arguments{LYREMAP_RENDER_EXE};
    for (const QString& option : options)
        arguments << QFile::encodeName(option);
    arguments << QFile::encodeName(path);
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray& exe = arguments.front();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, exe.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Run run;
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKiB = usage.ru_maxrss; // KiB on Linux
    return run;
}

QByteArray laughs(const QByteArray& body) {
    QByteArray dtd = "<!DOCTYPE widget_description [<!ENTITY lol0 \"lol\">";
    for (int i = 1; i <= 9; ++i)
        dtd += QByteArray("<!ENTITY lol%1 \"").replace("%1", QByteArray::number(i)) +
               QByteArray("&lol%1;").replace("%1", QByteArray::number(i - 1)).repeated(10) + "\">";
    return dtd + "]>" + body;
}

// A realistic layout of about SIZE bytes: widgets nested three deep, each with a few frames.
QByteArray generatedLayout(qsizetype size) {
    QByteArray out = "<?xml version=\"1.0\"?>\n<widget_description>\n";
    out.reserve(size + 4096);
    for (int n = 0; out.size() < size; ++n) {
        const QByteArray x = QByteArray::number(n % 700), y = QByteArray::number(n % 500);
        out += "  <widget>\n    <frame x=\"" + x + "\" y=\"" + y +
               "\" width=\"80\" height=\"40\" border=\"yes\"/>\n"
               "    <widget>\n      <frame x=\"4\" y=\"4\" width=\"20\" height=\"10\"/>\n"
               "      <widget><frame x=\"1\" y=\"1\" width=\"5\" height=\"5\"/></widget>\n"
               "    </widget>\n  </widget>\n";
    }
    return out + "</widget_description>\n";
}

// A child's peak starts from this process's peak at the moment it was started: give back freed
// memory and reset the peak to what is resident now.
void forgetOwnPeak() {
    malloc_trim(0);
    QFile refs(u"/proc/self/clear_refs"_s);
    if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1)
        qWarning("cannot reset the peak resident size; the parent's peak counts in the child's");
}

} // namespace

class MemoryBoundTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void peakMemory_data();
    void peakMemory();
};

void MemoryBoundTest::initTestCase() {
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer's shadow memory and quarantine make peak sizes meaningless");
#endif
}

// The files, made only when their row runs: this process's own peak counts in its child's.
QByteArray oddContent(const QString& kind) {
    const QByteArray big(100'000, 'a');
    const QByteArray bigEntity = "<!DOCTYPE widget_description [<!ENTITY a \"" + big + "\">]>";
    if (kind == u"laughs in content")
        return laughs("<widget_description>&lol9;</widget_description>");
    if (kind == u"laughs in an attribute")
        return laughs("<widget_description><widget><frame x=\"&lol9;\"/></widget>"
                      "</widget_description>");
    if (kind == u"quadratic in content")
        return bigEntity + "<widget_description>" + QByteArray("&a;").repeated(100'000) +
               "</widget_description>";
    if (kind == u"quadratic in attributes")
        return bigEntity + "<widget_description>" +
               QByteArray("<widget><frame x=\"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"/></widget>")
                   .repeated(10'000) +
               "</widget_description>";
    // The most nodes a byte can make: each kind of node in its shortest spelling, 10 MB of it.
    const auto dense = [](const QByteArray& head, const QByteArray& unit, const QByteArray& tail) {
        return head + unit.repeated((10'000'000 - head.size() - tail.size()) / unit.size()) + tail;
    };
    if (kind == u"dense references")
        return dense("<!DOCTYPE widget_description [<!ENTITY e \"\">]><widget_description>", "&e;",
                     "</widget_description>");
    if (kind == u"dense references and text")
        return dense("<!DOCTYPE widget_description [<!ENTITY e \"\">]><widget_description>", "&e;x",
                     "</widget_description>");
    if (kind == u"dense elements")
        return dense("<widget_description>", "<w/>", "</widget_description>");
    if (kind == u"dense text")
        return dense("<widget_description>", "<w/>x", "</widget_description>");
    if (kind == u"dense frames")
        return dense("<widget_description><widget>", "<frame/>", "</widget></widget_description>");
    if (kind == u"dense instructions")
        return dense("<widget_description>", "<?a?>", "</widget_description>");
    if (kind == u"dense lines")
        return dense("<widget_description>", "\n", "</widget_description>");
    if (kind == u"dense characters")
        return dense("<widget_description>", "\xc3\xa9\n", "</widget_description>");
    if (kind == u"deep")
        return "<widget_description>" + QByteArray("<widget>").repeated(100'000);
    if (kind == u"layout")
        return generatedLayout(30'000'000);
    if (kind == u"one line")
        return "<widget_description><widget>" +
               QByteArray("<frame x=\"1\" y=\"2\" width=\"3\"/>").repeated(1'000'000) + "</oops>";
    qFatal("unknown kind");
}

void MemoryBoundTest::peakMemory_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("exitCode");        // 0 loaded, 1 failed
    QTest::addColumn<qint64>("multiple");     // bytes per byte of the file allowed for this file
    QTest::addColumn<QStringList>("options"); // besides the file; the map goes to out.svg or .png
    QTest::newRow("billion laughs in content")
        << u"laughs in content"_s << 1 << kBytesPerFileByte << QStringList{};
    QTest::newRow("billion laughs in an attribute")
        << u"laughs in an attribute"_s << 1 << kBytesPerFileByte << QStringList{};
    QTest::newRow("quadratic blow-up in content")
        << u"quadratic in content"_s << 0 << kBytesPerFileByte << QStringList{};
    QTest::newRow("quadratic blow-up in attributes")
        << u"quadratic in attributes"_s << 1 << kBytesPerFileByte << QStringList{};
    QTest::newRow("100000 levels deep") << u"deep"_s << 1 << kBytesPerFileByte << QStringList{};
    QTest::newRow("30 MB layout") << u"layout"_s << 0 << kLayoutBytesPerFileByte << QStringList{};
    QTest::newRow("10 MB of entity references")
        << u"dense references"_s << 0 << kBytesPerFileByte << QStringList{};
    QTest::newRow("10 MB of entity references and text")
        << u"dense references and text"_s << 0 << kBytesPerFileByte << QStringList{};
    QTest::newRow("10 MB of empty elements")
        << u"dense elements"_s << 0 << kBytesPerFileByte << QStringList{};
    QTest::newRow("10 MB of elements and text")
        << u"dense text"_s << 0 << kBytesPerFileByte << QStringList{};
    QTest::newRow("10 MB of empty frames in one widget")
        << u"dense frames"_s << 0 << kLayoutBytesPerFileByte << QStringList{};
    QTest::newRow("10 MB of processing instructions")
        << u"dense instructions"_s << 0 << kBytesPerFileByte << QStringList{};
    // Where every line starts, and which bytes continue a character, are kept for positions.
    QTest::newRow("10 MB of line ends")
        << u"dense lines"_s << 0 << kBytesPerFileByte << QStringList{};
    QTest::newRow("10 MB of two-byte characters and line ends")
        << u"dense characters"_s << 0 << kBytesPerFileByte << QStringList{};
    QTest::newRow("30 MB on one line, broken at its end")
        << u"one line"_s << 1 << kLayoutBytesPerFileByte << QStringList{};
    // The map writers keep the outlines (SVG) or a picture of up to 16 times the map's size.
    const QStringList svg{u"--output"_s, u"out.svg"_s};
    const QStringList png16{u"--scale=16"_s, u"--output"_s, u"out.png"_s};
    QTest::newRow("30 MB layout as SVG") << u"layout"_s << 0 << kLayoutBytesPerFileByte << svg;
    QTest::newRow("30 MB layout as PNG at scale 16")
        << u"layout"_s << 0 << kLayoutBytesPerFileByte << png16;
    QTest::newRow("10 MB of empty frames as SVG")
        << u"dense frames"_s << 0 << kLayoutBytesPerFileByte << svg;
    // The frame log and findings of --check, --json and --at are kept within the same bounds.
    const QStringList checkedJson{u"--check"_s, u"--json"_s};
    QTest::newRow("billion laughs, checked as JSON")
        << u"laughs in content"_s << 1 << kBytesPerFileByte << checkedJson;
    QTest::newRow("100000 levels deep, checked as JSON")
        << u"deep"_s << 1 << kBytesPerFileByte << checkedJson;
    QTest::newRow("30 MB layout as JSON")
        << u"layout"_s << 0 << kLayoutBytesPerFileByte << QStringList{u"--json"_s};
    QTest::newRow("10 MB of empty frames as JSON")
        << u"dense frames"_s << 0 << kLayoutBytesPerFileByte << QStringList{u"--json"_s};
    QTest::newRow("10 MB of empty frames, the frames at a pixel")
        << u"dense frames"_s << 0 << kLayoutBytesPerFileByte << QStringList{u"--at=5,5"_s};
}

void MemoryBoundTest::peakMemory() {
    QFETCH(QString, kind);
    QFETCH(int, exitCode);
    QFETCH(qint64, multiple);
    QFETCH(QStringList, options);
    ScratchDir dir;
    // The SVG goes nowhere: it is as large as the file, and only the program's memory counts.
    QVERIFY(QFile::link(u"/dev/null"_s, dir.path(u"out.svg"_s)));
    for (QString& option : options)
        if (option.startsWith(u"out."))
            option = dir.path(option);
    qint64 size = 0;
    {
        const QByteArray content = oddContent(kind);
        size = content.size();
        dir.write(u"layout.xml"_s, content);
    }
    forgetOwnPeak();
    const Run run = renderPeak(dir.path(u"layout.xml"_s), options);
    QCOMPARE(run.exitCode, exitCode);
    const qint64 boundKiB = kBaseMiB * 1024 + multiple * size / 1024;
    qInfo("%lld bytes: peak %lld KiB, bound %lld KiB", size, run.peakKiB, boundKiB);
    QVERIFY(run.peakKiB > 0);
    QVERIFY2(run.peakKiB <= boundKiB,
             qPrintable(u"peak %1 KiB above %2 KiB"_s.arg(run.peakKiB).arg(boundKiB)));
}

QTEST_GUILESS_MAIN(MemoryBoundTest)
#include "tst_MemoryBound.moc"
