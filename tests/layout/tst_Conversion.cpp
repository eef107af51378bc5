#include <QTest>
class ConversionTest : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(ConversionTest)
#include "tst_Conversion.moc"
