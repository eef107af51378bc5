// Outputs that cannot be written: lyremap-render says why, exits with 2, leaves an existing
// target as it was and no temporary file behind. Full and read-only file systems are small
// tmpfs mounts in a mount namespace of this test's own (entered as root, or as root of a user
// namespace where the kernel allows one), so they vanish with the test; where neither is
// possible those cases are skipped.
#include "RenderSupport.h"

#include <QDir>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace lyremap::test;

namespace {

bool writeProcFile(const char* path, const QByteArray& text) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush();
}

// Moves this process into a mount namespace of its own; returns why not, or nothing.
QString enterOwnMounts() {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid != 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return u"cannot enter a user namespace: "_s + QString::fromLocal8Bit(strerror(errno));
        if (!writeProcFile("/proc/self/setgroups", "deny") ||
            !writeProcFile("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1") ||
            !writeProcFile("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1"))
            return u"cannot map this user into a user namespace"_s;
    } else if (::unshare(CLONE_NEWNS) != 0) {
        return u"cannot enter a mount namespace: "_s + QString::fromLocal8Bit(strerror(errno));
    }
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return u"cannot make mounts private: "_s + QString::fromLocal8Bit(strerror(errno));
    return {};
}

// A 256 KiB tmpfs on a folder, unmounted again when this goes.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const QString& folder) : folder_(QFile::encodeName(folder)) {
        mounted_ = ::mount("tmpfs", folder_.constData(), "tmpfs", 0, "size=256k") == 0;
    }
    ~SmallFileSystem() {
        if (mounted_)
            ::umount2(folder_.constData(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    // Takes every free block, with a file that grows until the system says it is full.
    void fill() const {
        const int fd = ::open(folder_ + "/filler", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        const char block[4096] = {};
        while (fd >= 0 && ::write(fd, block, sizeof block) > 0) {
        }
        ::close(fd);
    }
    bool makeReadOnly() const {
        return ::mount(nullptr, folder_.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QByteArray folder_;
    bool mounted_ = false;
};

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// QSKIP and QVERIFY for a helper that returns whether the test goes on.
#define QSKIP_RETURN(reason)                                                                       \
    do {                                                                                           \
        QTest::qSkip(qPrintable(reason), __FILE__, __LINE__);                                      \
        return false;                                                                              \
    } while (false)
#define QVERIFY_RETURN(condition)                                                                  \
    do {                                                                                           \
        if (!QTest::qVerify(static_cast<bool>(condition), #condition, "", __FILE__, __LINE__))     \
            return false;                                                                          \
    } while (false)

} // namespace

class RenderWritesTest : public QObject {
    Q_OBJECT

private slots:
    void failedWrite_data();
    void failedWrite();
    void unwritableOutputDir_data();
    void unwritableOutputDir();

public:
    // Why this process has no mount namespace of its own; empty when it has one.
    QString mountProblem;

private:
    // Makes the folder FOLDER as KIND asks, with an existing TARGET in it where it can hold one.
    // Returns false when the test is to end there (skipped or failed).
    bool prepare(const QString& kind, const QString& folder, const QString& target,
                 std::optional<SmallFileSystem>& mount);
};

bool RenderWritesTest::prepare(const QString& kind, const QString& folder, const QString& target,
                               std::optional<SmallFileSystem>& mount) {
    if (kind == u"full" || kind == u"read-only") {
        if (!mountProblem.isEmpty())
            QSKIP_RETURN(u"no tmpfs: "_s + mountProblem);
        if (!mount.emplace(folder).mounted())
            QSKIP_RETURN(u"cannot mount a tmpfs: "_s + QString::fromLocal8Bit(strerror(errno)));
    }
    if (kind == u"folder in the way")
        QVERIFY_RETURN(QDir(folder).mkdir(target));
    else if (!target.isEmpty() && !target.contains(u'/')) {
        QFile old(folder + u'/' + target);
        QVERIFY_RETURN(old.open(QIODevice::WriteOnly) && old.write("old map") == 7 && old.flush());
    }
    if (kind == u"full")
        mount->fill();
    if (kind == u"read-only")
        QVERIFY_RETURN(mount->makeReadOnly());
    return true;
}

void RenderWritesTest::failedWrite_data() {
    QTest::addColumn<QString>("kind");   // what the output's folder is
    QTest::addColumn<QString>("target"); // the output, in that folder unless absolute or "-"
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("full file system, PNG")
        << u"full"_s << u"map.png"_s << QByteArray("No space left on device");
    QTest::newRow("full file system, SVG")
        << u"full"_s << u"map.svg"_s << QByteArray("No space left on device");
    QTest::newRow("read-only file system")
        << u"read-only"_s << u"map.png"_s << QByteArray("is not writable");
    QTest::newRow("folder in the way")
        << u"folder in the way"_s << u"map.png"_s << QByteArray("refers to a directory");
    QTest::newRow("no such folder")
        << u"plain"_s << u"missing/map.png"_s << QByteArray("No such file or directory");
    QTest::newRow("a full device")
        << u"plain"_s << u"/dev/full"_s << QByteArray("No space left on device");
    QTest::newRow("standard output on a full device")
        << u"plain"_s << u"-"_s << QByteArray("No space left on device");
}

void RenderWritesTest::failedWrite() {
    QFETCH(QString, kind);
    QFETCH(QString, target);
    QFETCH(QByteArray, reason);
    ScratchDir dir;
    const QString folder = dir.path(u"out"_s);
    QVERIFY(QDir().mkpath(folder));
    std::optional<SmallFileSystem> mount;
    if (!prepare(kind, folder, target, mount))
        return;
    const QStringList before = entries(folder);

    const bool toStdout = target == u"-";
    const QString output = toStdout || target.startsWith(u'/') ? target : folder + u'/' + target;
    const QString layout = example("dialog.xml");
    const RenderRun run =
        render({u"--output"_s, output, layout}, toStdout ? u"/dev/full"_s : QString());
    QCOMPARE(run.status, 2);
    const QString named = toStdout ? u"standard output"_s : output;
    QVERIFY2(run.err.contains("cannot write " + named.toUtf8() + ": ") && run.err.contains(reason),
             run.err.constData());
    // The layout was opened and reported all the same.
    QVERIFY((toStdout ? run.err : run.out).contains(layout.toUtf8() + " loaded.\n"));
    QCOMPARE(entries(folder), before);
    QFile old(folder + u'/' + target);
    if (old.open(QIODevice::ReadOnly))
        QCOMPARE(old.readAll(), QByteArray("old map"));
}

void RenderWritesTest::unwritableOutputDir_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("read-only file system") << u"read-only"_s << QByteArray("Read-only file system");
    QTest::newRow("no such folder") << u"missing"_s << QByteArray("No such folder");
    QTest::newRow("a file, not a folder") << u"file"_s << QByteArray("Not a folder");
}

void RenderWritesTest::unwritableOutputDir() {
    // Refused before any layout is opened: nothing is reported and nothing written.
    QFETCH(QString, kind);
    QFETCH(QByteArray, reason);
    ScratchDir dir;
    const QString folder = dir.path(u"out"_s);
    std::optional<SmallFileSystem> mount;
    if (kind == u"file")
        dir.write(u"out"_s, "a file");
    else if (kind != u"missing")
        QVERIFY(QDir().mkpath(folder));
    if (kind == u"read-only" && !prepare(kind, folder, QString(), mount))
        return;
    const RenderRun run =
        render({u"--output-dir"_s, folder, example("dialog.xml"), example("toolbar.xml")});
    QCOMPARE(run.status, 2);
    QCOMPARE(run.out, QByteArray());
    QVERIFY2(run.err.contains("cannot write " + folder.toUtf8() + ": " + reason),
             run.err.constData());
}

int main(int argc, char* argv[]) {
    // A user namespace can only be entered while the process has one thread: before Qt starts.
    const QString mountProblem = enterOwnMounts();
    const QCoreApplication app(argc, argv);
    RenderWritesTest test;
    test.mountProblem = mountProblem;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_RenderWrites.moc"
