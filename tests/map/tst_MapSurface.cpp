#include <QTest>
class MapSurfaceTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(MapSurfaceTest)
#include "tst_MapSurface.moc"
