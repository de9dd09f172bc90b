#include "boundfixture.h"
#include "dbctrls/tdbedit.h"
#include "dbctrls/tdbnavigator.h"
#include "store/error.h"

#include <QToolButton>

using namespace kelvara;
using kelvara::test::BoundFixture;

namespace {

// '1' for each enabled button, first to refresh.
QString enabledButtons(const TDBNavigator &navigator)
{
    QString flags;
    for (int i = 0; i < TDBNavigator::buttonCount; ++i)
        flags += navigator.button(TDBNavigator::NavigateBtn(i))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
    return flags;
}

void click(TDBNavigator &navigator, TDBNavigator::NavigateBtn which)
{
    QToolButton *button = navigator.findChild<QToolButton *>(
        QString::fromLatin1(QMetaEnum::fromType<TDBNavigator::NavigateBtn>().valueToKey(which)));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

class NavigatorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buttonsHaveTheirNamesAndHints();
    void enablingFollowsTheTable_data();
    void enablingFollowsTheTable();
    void buttonsRunTheirOperations();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void moveSavesWhatIsTypedInTheFocusedBox();
    void storeErrorsAreShownAndTheRecordStays();
};

void NavigatorTest::buttonsHaveTheirNamesAndHints()
{
    BoundFixture f;
    TDBNavigator navigator;
    const QStringList names{"nbFirst",  "nbPrior", "nbNext", "nbLast",   "nbInsert",
                            "nbDelete", "nbEdit",  "nbPost", "nbRefresh"};
    const QStringList hints{"First record",  "Prior record", "Next record", "Last record", "Insert record",
                            "Delete record", "Edit record",  "Post edit",   "Refresh data"};
    QCOMPARE(navigator.size(), QSize(234, 25));
    for (int i = 0; i < TDBNavigator::buttonCount; ++i) {
        QToolButton *button = navigator.button(TDBNavigator::NavigateBtn(i));
        QCOMPARE(button->objectName(), names.at(i));
        QCOMPARE(button->toolTip(), hints.at(i));
        QCOMPARE(button->focusPolicy(), Qt::NoFocus);
        QCOMPARE(button->width(), 26);
        QCOMPARE(button->x(), 26 * i);
    }
}

void NavigatorTest::enablingFollowsTheTable_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("enabled");
    //                                              first prior next last insert delete edit post refresh
    QTest::newRow("no data source") << "unbound"
                                    << "000000000";
    QTest::newRow("table closed") << "closed"
                                  << "000000000";
    QTest::newRow("first record, browsing") << "first"
                                            << "001111101";
    QTest::newRow("first record, editing") << "first edit"
                                           << "001111011";
    QTest::newRow("middle record") << "middle"
                                   << "111111101";
    QTest::newRow("last record") << "last"
                                 << "110011101";
    // Steps by a distance, as the grid moves, that land on the edge without running into it.
    QTest::newRow("first record reached by a step") << "step to first"
                                                    << "001111101";
    QTest::newRow("last record reached by steps") << "step to last"
                                                  << "110011101";
    QTest::newRow("inserting before the first record") << "insert"
                                                       << "001111011";
    QTest::newRow("inserting in the middle") << "insert middle"
                                             << "111111011";
    QTest::newRow("appending") << "append"
                               << "110011011";
    QTest::newRow("empty table") << "empty"
                                 << "000010101";
    QTest::newRow("inserting into an empty table") << "empty insert"
                                                   << "000011011";
    QTest::newRow("read-only table") << "read-only"
                                     << "001100000";
}

void NavigatorTest::enablingFollowsTheTable()
{
    QFETCH(QString, situation);
    QFETCH(QString, enabled);
    BoundFixture f;
    TDBNavigator navigator;
    if (situation != QLatin1String("unbound"))
        navigator.setDataSource(&f.source);
    if (situation == QLatin1String("closed")) {
        f.table.close();
    } else if (situation == QLatin1String("first edit")) {
        f.table.edit();
    } else if (situation == QLatin1String("middle")) {
        f.table.next();
        f.table.next();
        f.table.prior();
    } else if (situation == QLatin1String("last")) {
        f.table.last();
    } else if (situation == QLatin1String("step to first")) {
        f.table.moveBy(1);
        f.table.moveBy(-1);
    } else if (situation == QLatin1String("step to last")) {
        f.table.moveBy(2);
    } else if (situation == QLatin1String("insert")) {
        f.table.insert();
    } else if (situation == QLatin1String("insert middle")) {
        f.table.next();
        f.table.insert();
    } else if (situation == QLatin1String("append")) {
        f.table.append();
    } else if (situation.startsWith(QLatin1String("empty"))) {
        while (!f.table.isEmpty())
            f.table.deleteRecord();
        if (situation.endsWith(QLatin1String("insert")))
            f.table.insert();
    } else if (situation == QLatin1String("read-only")) {
        f.table.close();
        f.table.setReadOnly(true);
        f.table.open();
    }
    QCOMPARE(enabledButtons(navigator), enabled);
}

void NavigatorTest::buttonsRunTheirOperations()
{
    BoundFixture f;
    auto *navigator = new TDBNavigator(&f.window);
    navigator->setDataSource(&f.source);
    f.layout->addWidget(navigator);
    QVERIFY(f.showWindow());
    click(*navigator, TDBNavigator::nbLast);
    QCOMPARE(f.table.recNo(), 3);
    click(*navigator, TDBNavigator::nbPrior);
    QCOMPARE(f.table.recNo(), 2);
    click(*navigator, TDBNavigator::nbFirst);
    QCOMPARE(f.table.recNo(), 1);
    click(*navigator, TDBNavigator::nbNext);
    QCOMPARE(f.table.recNo(), 2);
    click(*navigator, TDBNavigator::nbEdit);
    QCOMPARE(f.table.state(), dsEdit);
    f.field("Lastname")->setText(QStringLiteral("Lind"));
    click(*navigator, TDBNavigator::nbPost);
    QCOMPARE(f.table.state(), dsBrowse);
    QCOMPARE(f.stored("Lastname", 2), QStringLiteral("Lind"));
    click(*navigator, TDBNavigator::nbInsert);
    QCOMPARE(f.table.state(), dsInsert);
    f.field("Firstname")->setText(QStringLiteral("Dora"));
    click(*navigator, TDBNavigator::nbRefresh);
    QCOMPARE(f.table.recordCount(), 4);
    QCOMPARE(f.table.state(), dsBrowse);
    // Moves made elsewhere show in the buttons.
    f.table.first();
    QCOMPARE(enabledButtons(*navigator), QStringLiteral("001111101"));
    QVERIFY(f.dialogs->texts().isEmpty());
}

void NavigatorTest::deleteAsksFirst_data()
{
    QTest::addColumn<bool>("answer");
    QTest::addColumn<int>("remaining");
    QTest::newRow("OK deletes") << true << 2;
    QTest::newRow("Cancel keeps the record") << false << 3;
}

void NavigatorTest::deleteAsksFirst()
{
    QFETCH(bool, answer);
    QFETCH(int, remaining);
    BoundFixture f;
    auto *navigator = new TDBNavigator(&f.window);
    navigator->setDataSource(&f.source);
    f.layout->addWidget(navigator);
    QVERIFY(f.showWindow());
    f.table.next();
    f.dialogs->confirmAnswers = {answer};
    click(*navigator, TDBNavigator::nbDelete);
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Confirm), QStringList{"Delete record?"});
    QCOMPARE(f.table.recordCount(), remaining);
    QCOMPARE(f.field("Firstname")->text(), answer ? QStringLiteral("Cleo") : QStringLiteral("Bert"));
}

void NavigatorTest::moveSavesWhatIsTypedInTheFocusedBox()
{
    BoundFixture f;
    auto *name = f.add<TDBEdit>("Firstname");
    auto *navigator = new TDBNavigator(&f.window);
    navigator->setDataSource(&f.source);
    f.layout->addWidget(navigator);
    QVERIFY(f.showWindow());
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Zora"));
    click(*navigator, TDBNavigator::nbNext);
    QCOMPARE(QApplication::focusWidget(), name);
    QCOMPARE(name->text(), QStringLiteral("Bert"));
    QCOMPARE(f.stored("Firstname", 1), QStringLiteral("Zora"));
}

void NavigatorTest::storeErrorsAreShownAndTheRecordStays()
{
    BoundFixture f;
    auto *date = f.add<TDBEdit>("Dato");
    auto *navigator = new TDBNavigator(&f.window);
    navigator->setDataSource(&f.source);
    f.layout->addWidget(navigator);
    QVERIFY(f.showWindow());
    f.table.edit();
    date->setFocus();
    date->selectAll();
    QTest::keyClicks(date, QStringLiteral("31042023"));
    for (auto which : {TDBNavigator::nbPost, TDBNavigator::nbNext, TDBNavigator::nbRefresh})
        click(*navigator, which);
    QCOMPARE(f.dialogs->texts(ScriptedDialogs::Kind::Error),
             QStringList(3, QStringLiteral("'31/04/2023' is not a valid date")));
    QCOMPARE(f.table.recNo(), 1);
    QCOMPARE(f.table.state(), dsEdit);
    QCOMPARE(f.stored("Dato", 1), QStringLiteral("10/05/2023"));
}

QTEST_MAIN(NavigatorTest)
#include "tst_navigator.moc"
