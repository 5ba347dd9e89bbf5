#include <QtTest>
class TestFlashProtocol : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestFlashProtocol)
#include "tst_flashprotocol.moc"
