#include "report/printerlist.h"

#include <QtTest>

using namespace kelvara;

class PrinterListTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void printerListCanBeReplaced();
};

void PrinterListTest::printerListCanBeReplaced()
{
    const QStringList system = PrinterList::names();
    {
        PrinterListScope none(QStringList{});
        QCOMPARE(PrinterList::count(), 0);
        PrinterListScope two({QStringLiteral("Office"), QStringLiteral("Shed")});
        QCOMPARE(PrinterList::count(), 2);
    }
    QCOMPARE(PrinterList::names(), system);
}

QTEST_GUILESS_MAIN(PrinterListTest)
#include "tst_printerlist.moc"
