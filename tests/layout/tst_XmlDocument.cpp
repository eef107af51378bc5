#include <QTest>
class XmlDocumentTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(XmlDocumentTest)
#include "tst_XmlDocument.moc"
