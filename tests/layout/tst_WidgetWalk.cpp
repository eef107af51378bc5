#include <QTest>
class WidgetWalkTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(WidgetWalkTest)
#include "tst_WidgetWalk.moc"
