// The blocks a helper thread faults in ahead of a large parse: they reach the tree whole and
// unshared, and a file large enough to use them loads every value and place intact, across
// many blocks.
#include "TestSupport.h"

#include "layout/xml/BulkPrefetch.h"
#include "layout/xml/XmlDocument.h"

#include <QTest>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

using lyremap::ChildCursor;
using lyremap::Node;
using lyremap::XmlDocument;
using lyremap::detail::allocateBulk;
using lyremap::detail::BulkMemory;
using lyremap::detail::BulkPrefetch;
using lyremap::detail::kBulkSize;

class BulkPrefetchTest : public QObject {
    Q_OBJECT

private slots:
    void blocksAreWholeAndUnshared();
    void largeFileLoadsIntact();
};

void BulkPrefetchTest::blocksAreWholeAndUnshared() {
    std::vector<BulkMemory> taken;
    {
        BulkPrefetch outer(2);
        {
            BulkPrefetch inner(2, 3); // only one block ahead after the third
            QCOMPARE(BulkPrefetch::active(), &inner);
            for (int i = 0; i < 12; ++i) {
                taken.push_back(allocateBulk(kBulkSize));
                std::memset(taken.back().get(), i, kBulkSize); // every byte is the caller's
            }
        }
        QCOMPARE(BulkPrefetch::active(), &outer);
    }
    QCOMPARE(BulkPrefetch::active(), nullptr);
    std::set<const std::byte*> distinct;
    for (std::size_t i = 0; i < taken.size(); ++i) {
        distinct.insert(taken[i].get());
        QCOMPARE(int(taken[i][kBulkSize - 1]), int(i));
    }
    QCOMPARE(distinct.size(), taken.size());
}

void BulkPrefetchTest::largeFileLoadsIntact() {
    // About 5 MB: several blocks of nodes and of attributes come from the helper.
    constexpr int kFrames = 120'000;
    QByteArray text = "<widget_description><widget>\n";
    for (int i = 0; i < kFrames; ++i)
        text += "  <frame x=\"" + QByteArray::number(i) + "\" name=\"a longer value " +
                QByteArray::number(i) + "\"/>\n";
    text += "</widget></widget_description>\n";
    const lyremap::test::ScratchDir dir;
    XmlDocument document;
    document.LoadFromFile(dir.write(QStringLiteral("large.xml"), text));
    const Node widget = document.FindTopLevelNode(QStringLiteral("widget_description"));
    int n = 0;
    for (ChildCursor frame(ChildCursor(widget).node()); !frame.atEnd(); frame.next(), ++n) {
        QCOMPARE(frame.node().AttributeValue(u"x"), std::optional(QString::number(n)));
        QCOMPARE(frame.node().AttributeValue(u"name"),
                 std::optional(QStringLiteral("a longer value %1").arg(n)));
        QCOMPARE(frame.node().Position().line, n + 2);
        QCOMPARE(frame.node().AttributePosition(u"name").column,
                 15 + int(QByteArray::number(n).size()));
    }
    QCOMPARE(n, kFrames);
}

QTEST_GUILESS_MAIN(BulkPrefetchTest)
#include "tst_BulkPrefetch.moc"
