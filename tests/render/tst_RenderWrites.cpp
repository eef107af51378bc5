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

} // namespace

class RenderWritesTest : public QObject {
    Q_OBJECT

public:
    // Why this process has no mount namespace of its own; empty when it has one.
    QString mountProblem;

private slots:
    void failedWrite_data();
    void failedWrite();
};

void RenderWritesTest::failedWrite_data() {
    QTest::addColumn<QString>("kind");   // what the output's folder is
    QTest::addColumn<QString>("option"); // --output or --output-dir
    QTest::addColumn<QString>("target"); // in that folder unless absolute or "-"; "" the folder
    QTest::addColumn<QByteArray>("reason");
    const QByteArray full = "No space left on device";
    QTest::newRow("full file system, PNG") << u"full"_s << u"--output"_s << u"map.png"_s << full;
    QTest::newRow("full file system, SVG") << u"full"_s << u"--output"_s << u"map.svg"_s << full;
    QTest::newRow("read-only file system")
        << u"read-only"_s << u"--output"_s << u"map.png"_s << QByteArray("is not writable");
    QTest::newRow("folder in the way") << u"folder in the way"_s << u"--output"_s << u"map.png"_s
                                       << QByteArray("refers to a directory");
    QTest::newRow("no such folder")
        << u"missing"_s << u"--output"_s << u"map.png"_s << QByteArray("No such file or directory");
    QTest::newRow("a full device") << u"plain"_s << u"--output"_s << u"/dev/full"_s << full;
    QTest::newRow("standard output on a full device")
        << u"plain"_s << u"--output"_s << u"-"_s << full;
    // An output folder is refused before any layout is opened.
    QTest::newRow("--output-dir on a read-only file system")
        << u"read-only"_s << u"--output-dir"_s << QString() << QByteArray("Read-only file system");
    QTest::newRow("--output-dir missing")
        << u"missing"_s << u"--output-dir"_s << QString() << QByteArray("No such folder");
    QTest::newRow("--output-dir a file")
        << u"file"_s << u"--output-dir"_s << QString() << QByteArray("Not a folder");
}

void RenderWritesTest::failedWrite() {
    QFETCH(QString, kind);
    QFETCH(QString, option);
    QFETCH(QString, target);
    QFETCH(QByteArray, reason);
    ScratchDir dir;
    const QString folder = dir.path(u"out"_s);
    if (kind == u"file")
        dir.write(u"out"_s, "a file");
    else if (kind != u"missing")
        QVERIFY(QDir().mkpath(folder));
    std::optional<SmallFileSystem> mount;
    if (kind == u"full" || kind == u"read-only") {
        if (!mountProblem.isEmpty())
            QSKIP(qPrintable(u"no tmpfs: "_s + mountProblem));
        if (!mount.emplace(folder).mounted())
            QSKIP(
                qPrintable(u"cannot mount a tmpfs: "_s + QString::fromLocal8Bit(strerror(errno))));
    }
    const QString output = target == u"-" || target.startsWith(u'/') ? target
                           : target.isEmpty()                        ? folder
                                                                     : folder + u'/' + target;
    // An existing target where the folder can hold one, to be left as it is.
    const bool oldTarget = output.startsWith(folder + u'/') && kind != u"missing";
    if (kind == u"folder in the way")
        QVERIFY(QDir().mkdir(output));
    else if (oldTarget)
        dir.write(u"out/"_s + target, "old map");
    if (kind == u"full")
        mount->fill();
    if (kind == u"read-only")
        QVERIFY(mount->makeReadOnly());
    const QStringList before = entries(folder);

    const QString layout = example("dialog.xml");
    const RenderRun run =
        render({option, output, layout}, target == u"-" ? u"/dev/full"_s : QString());
    QCOMPARE(run.status, 2);
    const QString named = target == u"-" ? u"standard output"_s : output;
    QVERIFY2(run.err.contains("cannot write " + named.toUtf8() + ": ") && run.err.contains(reason),
             run.err.constData());
    QCOMPARE((run.out + run.err).contains(layout.toUtf8() + " loaded.\n"), option == u"--output");
    // Nothing left behind, nothing replaced.
    QCOMPARE(entries(folder), before);
    QFile old(output);
    if (oldTarget && kind != u"folder in the way")
        QVERIFY(old.open(QIODevice::ReadOnly) && old.readAll() == "old map");
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
