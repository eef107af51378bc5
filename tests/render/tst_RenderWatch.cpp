// lyremap-render --watch driven as a person editing the file would: each change reopens it and
// rewrites the map, a failed open keeps the last good map, whatever takes the file's place is
// reported on each change, a burst of changes makes few opens, and Ctrl+C ends it with 0.
#include "RenderSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace lyremap::test;

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// As editors save: a new file beside the old one, renamed over it.
void replaceFile(const QString& path, const QByteArray& bytes) {
    writeFile(path + u".new"_s, bytes);
    QVERIFY(std::rename(qPrintable(path + u".new"_s), qPrintable(path)) == 0);
}

} // namespace

class RenderWatchTest : public QObject {
    Q_OBJECT

private slots:
    void followsTheFile();

private:
    // Waits until the output after the last wait holds TEXT; returns that output.
    QByteArray waitFor(const QByteArray& text);
    // How many status lines (each starts with the layout's path) OUTPUT holds.
    qsizetype statusCount(const QByteArray& output) const { return output.count(layout_); }

    QProcess process_;
    QByteArray output_;
    qsizetype seen_ = 0;
    QByteArray layout_;
};

QByteArray RenderWatchTest::waitFor(const QByteArray& text) {
    QElapsedTimer waited;
    waited.start();
    while (output_.indexOf(text, seen_) < 0 && waited.elapsed() < 20000) {
        process_.waitForReadyRead(200);
        output_ += process_.readAllStandardOutput();
    }
    const QByteArray fresh = output_.mid(seen_);
    seen_ = output_.size();
    if (!fresh.contains(text))
        qWarning("waited in vain for '%s' after: %s", text.constData(), fresh.constData());
    return fresh;
}

void RenderWatchTest::followsTheFile() {
    ScratchDir dir;
    const QString layout = dir.write(u"layout.xml"_s, contentOf(example("dialog.xml")));
    const QString png = dir.path(u"map.png"_s); // beside the layout: its writes change nothing
    layout_ = layout.toUtf8() + ' ';
    process_.start(QStringLiteral(LYREMAP_RENDER_EXE), {u"--watch"_s, u"--output"_s, png, layout});
    QVERIFY(waitFor(" loaded.\n").endsWith(layout_ + "loaded.\n"));
    QVERIFY(samePixels(QImage(png), mapOf(example("dialog.xml"))));

    writeFile(layout, contentOf(example("toolbar.xml")));
    QVERIFY(waitFor(" loaded.\n").contains(" loaded."));
    QVERIFY(samePixels(QImage(png), mapOf(example("toolbar.xml"))));

    replaceFile(layout, contentOf(example("nested_panels.xml")));
    QVERIFY(waitFor(" loaded.\n").contains(" loaded."));
    QVERIFY(samePixels(QImage(png), mapOf(example("nested_panels.xml"))));
    const QByteArray good = contentOf(png);

    // Failures keep the last good map and are reported each time; watching goes on.
    writeFile(layout, contentOf(brokenLayout()));
    QVERIFY(waitFor("Linie: 6").contains(layout_ + "failed: Opening and ending tag mismatch"));
    QVERIFY(QFile::remove(layout) && QDir(dir.path(QString())).mkdir(u"layout.xml"_s));
    QVERIFY(waitFor("einen Ordner").contains("failed: Der Pfad bezeichnet einen Ordner"));
    writeFile(layout + u"/inside.txt"_s, "x");
    QVERIFY(waitFor("einen Ordner").contains("failed: Der Pfad bezeichnet einen Ordner"));
    QVERIFY(QDir(layout).removeRecursively() && ::mkfifo(qPrintable(layout), 0644) == 0);
    QVERIFY(waitFor("Pipe").contains("failed: Der Pfad bezeichnet eine benannte Pipe"));
    QVERIFY(QFile::remove(layout));
    replaceFile(layout, "<!DOCTYPE widget_description [<!ENTITY a '&b;'><!ENTITY b '&a;'>]>"
                        "<widget_description>&a;</widget_description>");
    QVERIFY(waitFor("loop").contains("failed: Detected an entity reference loop"));
    QCOMPARE(contentOf(png), good);

    // A burst of saves makes a few opens, at most four a second, the last of them the last save.
    QElapsedTimer burst;
    burst.start();
    for (int i = 0; i < 40; ++i) {
        writeFile(layout, contentOf(example(i % 2 ? "toolbar.xml" : "dialog.xml")));
        QTest::qWait(10);
    }
    const qint64 burstMs = burst.elapsed();
    QTest::qWait(1000);
    const QByteArray afterBurst = waitFor(" loaded.\n");
    QVERIFY2(statusCount(afterBurst) <= 2 + burstMs / 250, afterBurst.constData());
    QVERIFY(afterBurst.endsWith(" loaded.\n"));
    QVERIFY(samePixels(QImage(png), mapOf(example("toolbar.xml"))));

    ::kill(pid_t(process_.processId()), SIGINT);
    QVERIFY(process_.waitForFinished(10000));
    QCOMPARE(process_.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process_.exitCode(), 0);
    // No temporary file left behind.
    QCOMPARE(
        QDir(dir.path(QString())).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList({u"layout.xml"_s, u"map.png"_s}));
}

QTEST_GUILESS_MAIN(RenderWatchTest)
#include "tst_RenderWatch.moc"
