#include <QTest>
class XmlConformanceTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(XmlConformanceTest)
#include "tst_XmlConformance.moc"
