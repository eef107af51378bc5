#include <QTest>
class RenderCommandTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(RenderCommandTest)
#include "tst_RenderCommand.moc"
