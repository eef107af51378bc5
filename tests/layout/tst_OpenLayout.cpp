#include <QTest>
class OpenLayoutTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(OpenLayoutTest)
#include "tst_OpenLayout.moc"
