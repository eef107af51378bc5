// Helpers shared by the test suites: scratch files and the paths of the checkout.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

namespace lyremap::test {

// Root of the source checkout.
inline QString sourceDir() {
    return QStringLiteral(LYREMAP_SOURCE_DIR);
}
// The shared test material that lies beside the checkout.
inline QString sharedDir() {
    return QDir::cleanPath(QStringLiteral(LYREMAP_SHARED_DIR));
}

// A scratch folder that writes files and removes itself with everything in it.
class ScratchDir {
public:
    ScratchDir() { QVERIFY2(dir_.isValid(), "cannot create a temporary folder"); }

    // Writes bytes to NAME inside the folder and returns its absolute path.
    QString write(const QString& name, const QByteArray& bytes) const {
        return writeTo(dir_.filePath(name), bytes);
    }
    // Writes bytes to the file PATH, making its folder where needed, and returns PATH.
    static QString writeTo(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly) ||
            file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    // Absolute path of NAME inside the folder (the file need not exist).
    QString path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};

} // namespace lyremap::test
