#include "app/formstorage.h"
#include "app/tform1.h"
#include "dbctrls/pictureview.h"
#include "grid/tcolumn.h"
#include "grid/tcolumntitle.h"
#include "grid/tdbgridcolumns.h"
#include "grid/tenhancedgrid.h"
#include "platform/settingsstore.h"
#include "scripteddialogs.h"
#include "store/table.h"
#include "testworkspace.h"

#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSettings>
#include <QToolButton>
#include <QtTest>

#include <memory>

using namespace kelvara;
using namespace kelvara::test;

using Values = QMap<QString, QString>;

namespace {

const QPoint kDesignedPosition(207, 156);
constexpr int kWidth = 1100;
constexpr int kHeight = 760;

QString formGroup()
{
    return SettingsStore::group(TFormStorage::defaultKeyPath()) + QStringLiteral("/TForm1");
}

QString columnsGroup()
{
    return formGroup() + QStringLiteral(".EnhancedGrid1_Columns");
}

QString screenName()
{
    const QSize size = QGuiApplication::primaryScreen()->size();
    return QStringLiteral("(%1x%2)").arg(size.width()).arg(size.height());
}

int pixelsPerInch()
{
    return qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY());
}

// Writes values into the store as an earlier run would have left them: "Name" lands in the
// window's section, "columns/Name" in the columns' section.
void storeValues(const Values &values)
{
    auto settings = SettingsStore::open();
    for (auto it = values.begin(); it != values.end(); ++it) {
        QString key = it.key();
        if (key.startsWith(QStringLiteral("columns/")))
            settings->setValue(columnsGroup() + key.mid(7), it.value());
        else
            settings->setValue(formGroup() + QLatin1Char('/') + key, it.value());
    }
}

QString storedValue(const QString &group, const QString &name)
{
    return SettingsStore::open()->value(group + QLatin1Char('/') + name).toString();
}

QString menuOptionsText(TEnhancedGrid::TMenuOptions options)
{
    const QMetaEnum members = QMetaEnum::fromType<TEnhancedGrid::TMenuOptions>();
    QStringList names;
    for (int i = 0; i < members.keyCount(); ++i) {
        if (options.testFlag(TEnhancedGrid::TMenuOption(members.value(i))))
            names << QString::fromLatin1(members.key(i));
    }
    return names.join(QLatin1Char(','));
}

}  // namespace

// The main window's stored settings: what is written on closing, in which forms, and what a
// later start makes of it, also when the stored values are not what they should be.
class FormStorageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void valueForms_data();
    void valueForms();
    void pickListsHaveSectionsOfTheirOwn();
    void firstStartKeepsTheDesign();
    void nothingIsSavedBeforeARestore();
    void destroyedWithoutClosingSavesVisible();
    void roundTrip();

    void placementIsAppliedOnlyWhereItCanBeSeen_data();
    void placementIsAppliedOnlyWhereItCanBeSeen();
    void showCmdGivesTheState_data();
    void showCmdGivesTheState();
    void unknownOptionNamesAreSkipped();
    void storedColumnCountReplacesTheColumns();
    void unreadableValuesLeaveTheirProperty_data();
    void unreadableValuesLeaveTheirProperty();
    void unwritableSettingsAreReportedAndTheWindowCloses();
    void settingsLinkedToNothingAreLeftAsTheyAre();
    void absurdCountsAreCapped_data();
    void absurdCountsAreCapped();
    void numbersBeyondTheScreenAreClamped_data();
    void numbersBeyondTheScreenAreClamped();
    void optionsMenuChoicesAreKept_data();
    void optionsMenuChoicesAreKept();
    void aRestoredWindowFitsTheScreen_data();
    void aRestoredWindowFitsTheScreen();

private:
    void startWindow();
    void restartWindow();
    TEnhancedGrid *grid() const { return m_form->findChild<TEnhancedGrid *>(QStringLiteral("EnhancedGrid1")); }
    PictureView *image(int n) const { return m_form->findChild<PictureView *>(QStringLiteral("Image%1").arg(n)); }
    TColumn *column(int i) const { return grid()->columns()->items(i); }

    std::unique_ptr<TestWorkspace> m_workspace;
    std::unique_ptr<ScriptedDialogsScope> m_dialogs;
    std::unique_ptr<TForm1> m_form;
    // What the changed window of initTestCase wrote on closing, and what an untouched one wrote.
    QTemporaryDir m_kept;
    Values m_changedForm, m_changedColumns, m_designedForm, m_designedColumns;
    QRect m_changedNormPos;
};

void FormStorageTest::startWindow()
{
    m_form = std::make_unique<TForm1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void FormStorageTest::restartWindow()
{
    QVERIFY(m_form->close());
    m_form.reset();
    startWindow();
}

namespace {

Values sectionValues(const QString &group)
{
    auto settings = SettingsStore::open();
    settings->beginGroup(group);
    Values values;
    for (const QString &key : settings->childKeys())
        values.insert(key, settings->value(key).toString());
    return values;
}

}  // namespace

void FormStorageTest::initTestCase()
{
    // An untouched window, and one whose settings were changed in every kind of value.
    for (bool changed : {false, true}) {
        init();
        startWindow();
        if (changed) {
            m_form->move(40, 30);
            m_form->resize(600, 400);
            m_changedNormPos = m_form->frameGeometry();
            grid()->setMenuOptions(TEnhancedGrid::moAutoSize | TEnhancedGrid::moCellHints
                                   | TEnhancedGrid::moLoadLayout);
            column(0)->setAlignment(taRightJustify);
            column(0)->setButtonStyle(TColumn::cbsEllipsis);
            column(0)->setColor(QColor(255, 255, 0));
            column(0)->setExpanded(true);
            column(0)->setImeMode(TColumn::imHira);
            column(0)->setImeName(QStringLiteral("  Japanese IME "));
            QFont font(QStringLiteral("Courier"));
            font.setPixelSize(13);
            font.setBold(true);
            font.setItalic(true);
            column(1)->setFont(font);
            column(1)->setFontColor(QColor(255, 0, 0));
            column(1)->title()->setAlignment(taCenter);
            column(1)->title()->setColor(QColor(0, 0, 128));
            column(2)->setVisible(false);
            column(3)->setPickList({QStringLiteral("Tree"), QStringLiteral("Chimney")});
            column(4)->setDropDownRows(12);
            column(4)->setReadOnly(true);
            auto *menu = new QMenu(m_form.get());
            menu->setObjectName(QStringLiteral("ColumnMenu"));
            column(5)->setPopupMenu(menu);
            image(3)->setStretch(false);
        }
        QVERIFY(m_form->close());
        (changed ? m_changedForm : m_designedForm) = sectionValues(formGroup());
        (changed ? m_changedColumns : m_designedColumns) = sectionValues(columnsGroup());
        if (changed)
            QVERIFY(QFile::copy(m_workspace->settingsFile(), m_kept.filePath(QStringLiteral("changed.ini"))));
        cleanup();
    }
}

void FormStorageTest::init()
{
    m_workspace = std::make_unique<TestWorkspace>();
    m_dialogs = std::make_unique<ScriptedDialogsScope>();
}

void FormStorageTest::cleanup()
{
    m_form.reset();
    m_dialogs.reset();
    m_workspace.reset();
}

void FormStorageTest::valueForms_data()
{
    QTest::addColumn<bool>("inColumns");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    const QString normPos = QStringLiteral("%1,%2,%3,%4")
                                .arg(m_changedNormPos.left())
                                .arg(m_changedNormPos.top())
                                .arg(m_changedNormPos.right() + 1)
                                .arg(m_changedNormPos.bottom() + 1);
    QTest::newRow("version") << false << "FormVersion"
                             << "0";
    QTest::newRow("flags") << false << "Flags"
                           << "0";
    QTest::newRow("show state normal") << false << "ShowCmd"
                                       << "1";
    QTest::newRow("pixels per inch") << false << "PixelsPerInch" << QString::number(pixelsPerInch());
    QTest::newRow("no minimized or maximized position") << false << "MinMaxPos"
                                                        << "-1,-1,-1,-1";
    QTest::newRow("normal rectangle with its frame") << false << "NormPos" << normPos;
    QTest::newRow("normal rectangle under the screen size") << false << "NormPos" + screenName() << normPos;
    QTest::newRow("min max under the screen size") << false << "MinMaxPos" + screenName() << "-1,-1,-1,-1";
    QTest::newRow("closed, not visible") << false << "Visible"
                                         << "0";
    QTest::newRow("option set in declaration order") << false << "EnhancedGrid1_MenuOptions"
                                                     << "[moAutoSize,moCellHints,moLoadLayout]";
    QTest::newRow("column count") << false << "EnhancedGrid1_Columns.Count"
                                  << "11";
    QTest::newRow("stretched") << false << "Image1_Stretch"
                               << "True";
    QTest::newRow("unstretched") << false << "Image3_Stretch"
                                 << "False";

    QTest::newRow("alignment by name") << true << "Item0_Alignment"
                                       << "taRightJustify";
    QTest::newRow("button style") << true << "Item0_ButtonStyle"
                                  << "cbsEllipsis";
    QTest::newRow("colour code") << true << "Item0_Color"
                                 << "65535";
    QTest::newRow("boolean") << true << "Item0_Expanded"
                             << "True";
    QTest::newRow("field name") << true << "Item0_FieldName"
                                << "Dato";
    QTest::newRow("input method mode") << true << "Item0_ImeMode"
                                       << "imHira";
    QTest::newRow("text trimmed") << true << "Item0_ImeName"
                                  << "Japanese IME";
    QTest::newRow("empty text") << true << "Item1_ImeName"
                                << "";
    QTest::newRow("no component") << true << "Item0_PopupMenu"
                                  << "(null)";
    QTest::newRow("component by name") << true << "Item5_PopupMenu"
                                       << "ColumnMenu";
    QTest::newRow("font name") << true << "Item1_FontName"
                               << "Courier";
    QTest::newRow("font height") << true << "Item1_FontHeight"
                                 << "-13";
    QTest::newRow("font size in points") << true << "Item1_FontSize"
                                         << QString::number(qRound(13 * 72.0 / pixelsPerInch()));
    QTest::newRow("font style set") << true << "Item1_FontStyle"
                                    << "[fsBold,fsItalic]";
    QTest::newRow("font colour") << true << "Item1_FontColor"
                                 << "255";
    QTest::newRow("font pitch") << true << "Item1_FontPitch"
                                << "fpDefault";
    QTest::newRow("font character set") << true << "Item1_FontCharset"
                                        << "1";
    QTest::newRow("title caption") << true << "Item1_TitleCaption"
                                   << "First  Name";
    QTest::newRow("title caption from the field") << true << "Item5_TitleCaption"
                                                  << "Cellular";
    QTest::newRow("title alignment") << true << "Item1_TitleAlignment"
                                     << "taCenter";
    QTest::newRow("title colour") << true << "Item1_TitleColor"
                                  << "8388608";
    QTest::newRow("title font") << true << "Item0_TitleFontName"
                                << "MS Sans Serif";
    QTest::newRow("title font height") << true << "Item0_TitleFontHeight"
                                       << "-11";
    QTest::newRow("empty style") << true << "Item0_TitleFontStyle"
                                 << "[]";
    QTest::newRow("width") << true << "Item1_Width"
                           << "100";
    QTest::newRow("hidden") << true << "Item2_Visible"
                            << "False";
    QTest::newRow("hidden width") << true << "Item2_Width"
                                  << "-1";
    QTest::newRow("drop-down rows") << true << "Item4_DropDownRows"
                                    << "12";
    QTest::newRow("read-only") << true << "Item4_ReadOnly"
                               << "True";
    QTest::newRow("last column") << true << "Item10_FieldName"
                                 << "method";
}

void FormStorageTest::valueForms()
{
    QFETCH(bool, inColumns);
    QFETCH(QString, name);
    QFETCH(QString, text);
    const Values &values = inColumns ? m_changedColumns : m_changedForm;
    QVERIFY2(values.contains(name), qPrintable(name));
    QCOMPARE(values.value(name), text);
}

void FormStorageTest::pickListsHaveSectionsOfTheirOwn()
{
    SettingsFileScope scope(m_kept.filePath(QStringLiteral("changed.ini")));
    const Values list = sectionValues(columnsGroup() + QStringLiteral(".Item3_PickList"));
    QCOMPARE(list, (Values{{"Count", "2"}, {"Item0", "Tree"}, {"Item1", "Chimney"}}));
    QVERIFY(sectionValues(columnsGroup() + QStringLiteral(".Item4_PickList")).isEmpty());
    // Every column holds all its values, fonts and titles included.
    for (int i = 0; i < 11; ++i) {
        int count = 0;
        for (const QString &key : m_changedColumns.keys())
            count += key.startsWith(QStringLiteral("Item%1_").arg(i)) ? 1 : 0;
        // Twelve values of its own, seven of its font, three of its title and seven of the title's font.
        QCOMPARE(count, 12 + 7 + 3 + 7);
    }
}

void FormStorageTest::firstStartKeepsTheDesign()
{
    startWindow();
    QCOMPARE(m_form->pos(), kDesignedPosition);
    QCOMPARE(grid()->menuOptions(), TEnhancedGrid::allMenuOptions());
    QCOMPARE(grid()->columns()->count(), 11);
    for (int n = 1; n <= 5; ++n)
        QVERIFY(image(n)->stretch());
    QVERIFY((*m_dialogs)->messages.isEmpty());
    QVERIFY(m_form->close());
    // The designed window writes every value.
    QCOMPARE(m_designedForm.value(QStringLiteral("EnhancedGrid1_MenuOptions")),
             QLatin1Char('[') + menuOptionsText(TEnhancedGrid::allMenuOptions()) + QLatin1Char(']'));
    for (const char *name : {"FormVersion", "Flags", "ShowCmd", "PixelsPerInch", "MinMaxPos", "NormPos", "Visible",
                             "EnhancedGrid1_Columns.Count", "Image1_Stretch", "Image2_Stretch", "Image3_Stretch",
                             "Image4_Stretch", "Image5_Stretch"})
        QVERIFY2(m_designedForm.contains(QString::fromLatin1(name)), name);
    QCOMPARE(m_designedColumns.value(QStringLiteral("Item0_TitleCaption")), QStringLiteral("Date"));
}

void FormStorageTest::nothingIsSavedBeforeARestore()
{
    // Built and destroyed without ever being shown: nothing was restored, so nothing is written.
    const QStringList before = SettingsStore::open()->allKeys();
    m_form = std::make_unique<TForm1>();
    m_form.reset();
    QCOMPARE(SettingsStore::open()->allKeys(), before);
}

void FormStorageTest::destroyedWithoutClosingSavesVisible()
{
    startWindow();
    m_form.reset();
    QCOMPARE(storedValue(formGroup(), QStringLiteral("Visible")), QStringLiteral("1"));
}

void FormStorageTest::roundTrip()
{
    startWindow();
    m_form->move(60, 50);
    m_form->resize(640, 420);
    const QRect placed = m_form->geometry();
    grid()->setMenuOptions(TEnhancedGrid::moPrintGrid | TEnhancedGrid::moSearchMode);
    TDBGridColumns *columns = grid()->columns();
    columns->removeAt(4);
    columns->move(0, 2);
    column(1)->setWidth(150);
    column(3)->setVisible(false);
    column(0)->title()->setCaption(QStringLiteral("Given name"));
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(15);
    font.setUnderline(true);
    column(0)->title()->setFont(font);
    column(0)->title()->setFontColor(QColor(0, 128, 0));
    column(6)->setPickList({QStringLiteral("Wall"), QStringLiteral("Roof"), QStringLiteral("Shed")});
    column(6)->setAlignment(taCenter);
    image(3)->setStretch(false);
    image(5)->setStretch(false);
    QStringList fields;
    for (int i = 0; i < columns->count(); ++i)
        fields << column(i)->fieldName();

    restartWindow();
    QCOMPARE(m_form->geometry(), placed);
    QCOMPARE(grid()->menuOptions(), TEnhancedGrid::moPrintGrid | TEnhancedGrid::moSearchMode);
    QCOMPARE(grid()->columns()->count(), 10);
    QStringList restoredFields;
    for (int i = 0; i < grid()->columns()->count(); ++i)
        restoredFields << column(i)->fieldName();
    QCOMPARE(restoredFields, fields);
    QCOMPARE(column(1)->width(), 150);
    QVERIFY(!column(3)->visible());
    QCOMPARE(column(0)->title()->caption(), QStringLiteral("Given name"));
    const QFont titleFont = column(0)->title()->font();
    QCOMPARE(titleFont.family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(titleFont.pixelSize(), 15);
    QVERIFY(titleFont.underline());
    QVERIFY(!titleFont.bold());
    QCOMPARE(column(0)->title()->fontColor(), QColor(0, 128, 0));
    QCOMPARE(column(6)->pickList(), (QStringList{"Wall", "Roof", "Shed"}));
    QCOMPARE(column(6)->alignment(), taCenter);
    for (int n = 1; n <= 5; ++n)
        QCOMPARE(image(n)->stretch(), n != 3 && n != 5);
    // The sheet's toggle shows the restored flag.
    QVERIFY(!m_form->findChild<QToolButton *>(QStringLiteral("SpeedButton18"))->isChecked());
    QVERIFY(m_form->findChild<QToolButton *>(QStringLiteral("SpeedButton10"))->isChecked());

    // A value that follows its default keeps following it: the untouched caption is unassigned.
    QCOMPARE(column(4)->fieldName(), QStringLiteral("Cellular"));
    QVERIFY(!column(4)->title()->isCaptionAssigned());
    QVERIFY((*m_dialogs)->messages.isEmpty());
}

void FormStorageTest::placementIsAppliedOnlyWhereItCanBeSeen_data()
{
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QRect>("expected");  // the frame's rectangle; empty: the designed one stays

    // Rectangles as large as the window can be: it is never made smaller than its sheets.
    auto normPos = [](int left, int top) {
        return QStringLiteral("%1,%2,%3,%4").arg(left).arg(top).arg(left + kWidth).arg(top + kHeight);
    };
    const QString ppi = QString::number(pixelsPerInch());
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QTest::newRow("on the screen") << Values{{"NormPos", normPos(10, 20)}, {"PixelsPerInch", ppi}}
                                   << QRect(10, 20, kWidth, kHeight);
    QTest::newRow("screen-size name first")
        << Values{{"NormPos", normPos(10, 20)}, {"NormPos" + screenName(), normPos(30, 0)}, {"PixelsPerInch", ppi}}
        << QRect(30, 0, kWidth, kHeight);
    QTest::newRow("empty screen-size value: the plain one")
        << Values{{"NormPos", normPos(10, 20)}, {"NormPos" + screenName(), ""}} << QRect(10, 20, kWidth, kHeight);
    QTest::newRow("another pixel density")
        << Values{{"NormPos", normPos(10, 20)}, {"PixelsPerInch", QString::number(pixelsPerInch() * 2)}} << QRect();
    QTest::newRow("left not below right") << Values{{"NormPos", "1010,20,1010,720"}} << QRect();
    QTest::newRow("on a monitor removed since") << Values{{"NormPos", normPos(screen.right() + 200, 100)}} << QRect();
    QTest::newRow("mostly off the screen") << Values{{"NormPos", normPos(screen.right() - 299, 0)}} << QRect();
    QTest::newRow("mostly on the screen")
        << Values{{"NormPos", normPos(screen.left() + 50, 0)}} << QRect(screen.left() + 50, 0, kWidth, kHeight);
    QTest::newRow("unreadable rectangle") << Values{{"NormPos", "10,20,x,420"}} << QRect();
}

void FormStorageTest::placementIsAppliedOnlyWhereItCanBeSeen()
{
    QFETCH(Values, stored);
    QFETCH(QRect, expected);
    // The state and the properties are applied wherever the rectangle lies.
    stored.insert(QStringLiteral("ShowCmd"), QStringLiteral("1"));
    stored.insert(QStringLiteral("Image2_Stretch"), QStringLiteral("False"));
    storeValues(stored);
    startWindow();
    if (expected.isEmpty()) {
        QCOMPARE(m_form->pos(), kDesignedPosition);
    } else {
        // No larger than the screen's available area, where the sheets allow.
        const QSize available = QGuiApplication::primaryScreen()->availableGeometry().size();
        const QSize frame = m_form->frameGeometry().size() - m_form->size();
        const QSize least = m_form->minimumSizeHint().expandedTo(m_form->minimumSize()) + frame;
        QCOMPARE(m_form->frameGeometry(),
                 QRect(expected.topLeft(), expected.size().boundedTo(available).expandedTo(least)));
    }
    QVERIFY(!image(2)->stretch());
}

void FormStorageTest::showCmdGivesTheState_data()
{
    QTest::addColumn<QString>("showCmd");
    QTest::addColumn<bool>("otherDensity");
    QTest::addColumn<int>("state");
    QTest::newRow("1 normal") << "1" << false << int(Qt::WindowNoState);
    QTest::newRow("5 normal") << "5" << false << int(Qt::WindowNoState);
    QTest::newRow("9 normal") << "9" << false << int(Qt::WindowNoState);
    QTest::newRow("2 minimized") << "2" << false << int(Qt::WindowMinimized);
    QTest::newRow("6 minimized") << "6" << false << int(Qt::WindowMinimized);
    QTest::newRow("7 minimized") << "7" << false << int(Qt::WindowMinimized);
    QTest::newRow("3 maximized") << "3" << false << int(Qt::WindowMaximized);
    QTest::newRow("other: normal") << "4" << false << int(Qt::WindowNoState);
    QTest::newRow("unreadable: normal") << "max" << false << int(Qt::WindowNoState);
    // Even where the rectangle cannot be used, the state is.
    QTest::newRow("maximized on another density") << "3" << true << int(Qt::WindowMaximized);
}

void FormStorageTest::showCmdGivesTheState()
{
    QFETCH(QString, showCmd);
    QFETCH(bool, otherDensity);
    QFETCH(int, state);
    storeValues({{"ShowCmd", showCmd},
                 {"NormPos", "10,20,1110,780"},
                 {"PixelsPerInch", QString::number(pixelsPerInch() + (otherDensity ? 24 : 0))}});
    startWindow();
    QCOMPARE(int(m_form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)), state);
    // Saved as the state it is in.
    QVERIFY(m_form->close());
    const int saved = storedValue(formGroup(), QStringLiteral("ShowCmd")).toInt();
    QCOMPARE(saved, state == Qt::WindowMinimized ? 2 : state == Qt::WindowMaximized ? 3 : 1);
}

void FormStorageTest::unknownOptionNamesAreSkipped()
{
    storeValues({{"EnhancedGrid1_MenuOptions", "[moAutoSize, moNoSuchOption,moCellHints , MOSEARCHMODE]"}});
    startWindow();
    QCOMPARE(grid()->menuOptions(),
             TEnhancedGrid::moAutoSize | TEnhancedGrid::moCellHints | TEnhancedGrid::moSearchMode);
    QVERIFY((*m_dialogs)->messages.isEmpty());
}

void FormStorageTest::storedColumnCountReplacesTheColumns()
{
    Values stored{{"EnhancedGrid1_Columns.Count", "5"}};
    const QStringList fields = {"Email", "Lastname", "Dato", "method", "city2"};
    for (int i = 0; i < fields.size(); ++i)
        stored.insert(QStringLiteral("columns/Item%1_FieldName").arg(i), fields.at(i));
    stored.insert(QStringLiteral("columns/Item1_Width"), QStringLiteral("77"));
    storeValues(stored);
    startWindow();
    QCOMPARE(grid()->columns()->count(), 5);
    for (int i = 0; i < fields.size(); ++i)
        QCOMPARE(column(i)->fieldName(), fields.at(i));
    QCOMPARE(column(1)->width(), 77);
    // The new columns have no stored title: each shows its field's name.
    QCOMPARE(column(4)->title()->caption(), QStringLiteral("city2"));
}

void FormStorageTest::unreadableValuesLeaveTheirProperty_data()
{
    QTest::addColumn<QString>("name");  // "columns/" for the columns' section
    QTest::addColumn<QString>("text");

    QTest::newRow("width not a number") << "columns/Item1_Width"
                                        << "wide";
    QTest::newRow("width with a unit") << "columns/Item1_Width"
                                       << "100px";
    QTest::newRow("width beyond an integer") << "columns/Item1_Width"
                                             << "99999999999";
    QTest::newRow("colour by name") << "columns/Item0_Color"
                                    << "clRed";
    QTest::newRow("drop-down rows empty") << "columns/Item3_DropDownRows"
                                          << "";
    QTest::newRow("count not a number") << "EnhancedGrid1_Columns.Count"
                                        << "eleven";
    QTest::newRow("count negative") << "EnhancedGrid1_Columns.Count"
                                    << "-3";
    QTest::newRow("unknown alignment") << "columns/Item0_Alignment"
                                       << "taJustify";
    QTest::newRow("boolean as a number") << "columns/Item0_Visible"
                                         << "1";
    QTest::newRow("stretch misspelt") << "Image4_Stretch"
                                      << "Ture";
    QTest::newRow("unknown font pitch") << "columns/Item0_FontPitch"
                                        << "fpWobbly";
    QTest::newRow("font size unreadable") << "columns/Item0_FontSize"
                                          << "big";
    QTest::newRow("unknown component") << "columns/Item0_PopupMenu"
                                       << "NoSuchMenu";
    QTest::newRow("component of another kind") << "columns/Item0_PopupMenu"
                                               << "EnhancedGrid1";
    QTest::newRow("pick list count unreadable") << "columns/Item0_PickList/Count"
                                                << "two";
}

void FormStorageTest::unreadableValuesLeaveTheirProperty()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    // Each value stands alone: a readable one beside the bad one is applied.
    storeValues({{name, text}, {"columns/Item2_Width", "123"}, {"Image1_Stretch", "False"}});
    if (name.contains(QStringLiteral("PickList"))) {
        // The list's section sits beside the columns' section.
        SettingsStore::open()->setValue(columnsGroup() + QStringLiteral(".Item0_PickList/Count"), text);
        SettingsStore::open()->setValue(columnsGroup() + QStringLiteral(".Item0_PickList/Item0"), QStringLiteral("x"));
    }
    startWindow();
    QCOMPARE(column(2)->width(), 123);
    QVERIFY(!image(1)->stretch());
    QVERIFY((*m_dialogs)->messages.isEmpty());
    QVERIFY(m_form->close());

    // Saved again, the value is the designed one: its property kept its value.
    const bool inColumns = name.startsWith(QStringLiteral("columns/"));
    QString key = inColumns ? name.mid(8) : name;
    if (key.contains(QLatin1Char('/')))
        key = QStringLiteral("Item0_PickList");
    const Values &designed = inColumns ? m_designedColumns : m_designedForm;
    const QString group = inColumns ? columnsGroup() : formGroup();
    if (key == QStringLiteral("Item0_PickList"))
        QVERIFY(sectionValues(columnsGroup() + QStringLiteral(".Item0_PickList")).isEmpty());
    else
        QCOMPARE(storedValue(group, key), designed.value(key));
}

void FormStorageTest::unwritableSettingsAreReportedAndTheWindowCloses()
{
    // The store's folder would have to be made where a file stands.
    const QString blocker = m_workspace->writeFile(QStringLiteral("blocker"), "not a folder");
    SettingsFileScope scope(blocker + QStringLiteral("/Kelvara.ini"));
    startWindow();
    QVERIFY(m_form->close());
    QVERIFY(!m_form->isVisible());
    const QStringList errors = (*m_dialogs)->texts(ScriptedDialogs::Kind::Error);
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.first().contains(QStringLiteral("blocker/Kelvara.ini")), qPrintable(errors.first()));
    // Destroying the closed window does not try again.
    m_form.reset();
    QCOMPARE((*m_dialogs)->messages.size(), 1);
}

void FormStorageTest::settingsLinkedToNothingAreLeftAsTheyAre()
{
    // A link is followed only to a regular file; one that leads nowhere is not made to.
    const QString target = m_workspace->filePath(QStringLiteral("moved/Kelvara.ini"));
    QVERIFY(QDir().mkpath(QFileInfo(target).path()));
    QFile::remove(m_workspace->settingsFile());
    QVERIFY(QFile::link(target, m_workspace->settingsFile()));
    startWindow();
    QVERIFY(m_form->close());
    QCOMPARE((*m_dialogs)->texts(ScriptedDialogs::Kind::Error),
             QStringList{QStringLiteral("The window's settings could not be saved: %1 is a link to a file that "
                                        "does not exist.")
                             .arg(m_workspace->settingsFile())});
    QVERIFY(QFileInfo(m_workspace->settingsFile()).isSymLink());
    QVERIFY(QDir(QFileInfo(target).path()).isEmpty(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot));
}

void FormStorageTest::absurdCountsAreCapped_data()
{
    QTest::addColumn<QString>("columnCount");  // empty: not stored
    QTest::addColumn<QString>("pickListCount");
    QTest::addColumn<int>("pickListItems");  // items stored in the pick list
    QTest::addColumn<int>("shownItems");     // of them in the column's list
    QTest::newRow("far more columns than fields") << "1000"
                                                  << "" << 0 << 0;
    QTest::newRow("pick list count far beyond its items") << ""
                                                          << "100000" << 3 << 3;
    QTest::newRow("pick list longer than anyone picks from") << ""
                                                             << "1500" << 1500 << 1000;
}

// A count in the store can be any number: what is read is capped (the columns at the number of
// fields, a pick list at its items and a sane length), and what is written back is what was shown.
void FormStorageTest::absurdCountsAreCapped()
{
    QFETCH(QString, columnCount);
    QFETCH(QString, pickListCount);
    QFETCH(int, pickListItems);
    QFETCH(int, shownItems);
    {
        auto settings = SettingsStore::open();
        if (!columnCount.isEmpty())
            settings->setValue(formGroup() + QStringLiteral("/EnhancedGrid1_Columns.Count"), columnCount);
        const QString list = columnsGroup() + QStringLiteral(".Item3_PickList/");
        if (!pickListCount.isEmpty())
            settings->setValue(list + QStringLiteral("Count"), pickListCount);
        for (int i = 0; i < pickListItems; ++i)
            settings->setValue(list + QStringLiteral("Item%1").arg(i), QStringLiteral("Place %1").arg(i));
    }
    startWindow();
    const int fields = grid()->dataSet()->fieldCount();
    QVERIFY(grid()->columns()->count() <= fields);
    if (!pickListCount.isEmpty())
        QCOMPARE(column(3)->pickList().size(), shownItems);
    QVERIFY(m_form->close());

    const int storedColumns = storedValue(formGroup(), QStringLiteral("EnhancedGrid1_Columns.Count")).toInt();
    QCOMPARE(storedColumns, grid()->columns()->count());
    QVERIFY(sectionValues(columnsGroup()).size() <= storedColumns * (12 + 7 + 3 + 7));
    const Values list = sectionValues(columnsGroup() + QStringLiteral(".Item3_PickList"));
    QCOMPARE(list.value(QStringLiteral("Count"), QStringLiteral("0")).toInt(), shownItems);
    QCOMPARE(list.size(), shownItems == 0 ? 0 : shownItems + 1);
}

void FormStorageTest::numbersBeyondTheScreenAreClamped_data()
{
    QTest::addColumn<QString>("name");  // "columns/" for the columns' section
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("check");  // what to look at: font, width or window

    QTest::newRow("font height of the smallest int") << "columns/Item1_FontHeight"
                                                     << "-2147483648"
                                                     << "font";
    QTest::newRow("font height of the largest int") << "columns/Item1_FontHeight"
                                                    << "2147483647"
                                                    << "font";
    QTest::newRow("font size of the largest int") << "columns/Item1_FontSize"
                                                  << "2147483647"
                                                  << "font";
    QTest::newRow("column width of the largest int") << "columns/Item1_Width"
                                                     << "2147483647"
                                                     << "width";
    QTest::newRow("window at the smallest int") << "NormPos"
                                                << "-2147483648,-2147483648,-2147482548,-2147482888"
                                                << "window";
    QTest::newRow("window reaching the largest int") << "NormPos"
                                                     << "10,20,2147483647,2147483647"
                                                     << "window";
}

// Stored numbers are clamped to what the screen can show as they are read, so nothing computes
// with them beyond what an int holds, and closing saves the clamped value, not the damage.
void FormStorageTest::numbersBeyondTheScreenAreClamped()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, check);
    storeValues({{name, text}});
    startWindow();
    int tallest = 0;
    for (const QScreen *screen : QGuiApplication::screens())
        tallest = std::max(tallest, screen->size().height());
    if (check == QLatin1String("font")) {
        QCOMPARE(column(1)->font().pixelSize(), tallest);
    } else if (check == QLatin1String("width")) {
        QVERIFY(column(1)->width() > 0);
        QVERIFY(column(1)->width() <= 1 << 16);
    } else {
        QCOMPARE(m_form->pos(), kDesignedPosition);
    }
    QVERIFY((*m_dialogs)->messages.isEmpty());
    QVERIFY(m_form->close());
    const QString key = name.startsWith(QStringLiteral("columns/")) ? name.mid(8) : name;
    const QString saved = storedValue(name.startsWith(QStringLiteral("columns/")) ? columnsGroup() : formGroup(), key);
    for (const QString &number : saved.split(QLatin1Char(',')))
        QVERIFY2(qAbs(number.toLongLong()) <= 1 << 16, qPrintable(saved));
}

void FormStorageTest::optionsMenuChoicesAreKept_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("chosen");  // invalid: the opposite of the designed switch
    for (const char *toggle : {"GridAutoSize", "DisplayBoolean", "DisplayImages", "DisplayMemo", "DisplayDateTime",
                               "ShowTextEllipsis", "ShowTitleEllipsis", "FullSizeMemo", "RowSizingAllowed", "CellHints",
                               "MultiLineTitles", "UseRowColors", "SearchMode"})
        QTest::newRow(toggle) << QByteArray(toggle) << QVariant();
    QTest::newRow("Auto Width") << QByteArray("GridAutoWidth") << QVariant::fromValue(TEnhancedGrid::awUniform);
    QTest::newRow("Rich Edit") << QByteArray("MemoInplaceEditor") << QVariant::fromValue(TEnhancedGrid::RichEdit);
    QTest::newRow("2 Fixed Columns") << QByteArray("LockedCols") << QVariant(2);
}

// What is chosen in the grid's options menu comes back after a restart; a settings file written
// before these were kept leaves the designed choices.
void FormStorageTest::optionsMenuChoicesAreKept()
{
    QFETCH(QByteArray, property);
    QFETCH(QVariant, chosen);
    startWindow();
    const QVariant designed = grid()->property(property.constData());
    if (!chosen.isValid())
        chosen = !designed.toBool();
    QVERIFY(grid()->setProperty(property.constData(), chosen));
    QVERIFY(grid()->property(property.constData()) != designed);
    const QVariant now = grid()->property(property.constData());

    restartWindow();
    QCOMPARE(grid()->property(property.constData()), now);

    // The values of an older file: without the choice, the designed one.
    QVERIFY(m_form->close());
    m_form.reset();
    SettingsStore::open()->remove(formGroup() + QStringLiteral("/EnhancedGrid1_") + QString::fromLatin1(property));
    startWindow();
    QCOMPARE(grid()->property(property.constData()), designed);
    QVERIFY((*m_dialogs)->messages.isEmpty());
}

void FormStorageTest::aRestoredWindowFitsTheScreen_data()
{
    QTest::addColumn<QRect>("stored");  // as stored: left, top, right + 1, bottom + 1
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint origin = available.topLeft();
    QTest::newRow("taller than the screen") << QRect(origin + QPoint(10, 0), QSize(kWidth, available.height() + 200));
    QTest::newRow("wider and taller") << QRect(origin, available.size() + QSize(200, 200));
    QTest::newRow("larger, reaching past the top left")
        << QRect(origin - QPoint(150, 150), available.size() + QSize(200, 200));
}

// However large the stored rectangle, the window opens no larger than the available area of
// its screen, where its sheets allow.
void FormStorageTest::aRestoredWindowFitsTheScreen()
{
    QFETCH(QRect, stored);
    storeValues({{"NormPos",
                  QStringLiteral("%1,%2,%3,%4")
                      .arg(stored.left())
                      .arg(stored.top())
                      .arg(stored.right() + 1)
                      .arg(stored.bottom() + 1)},
                 {"PixelsPerInch", QString::number(pixelsPerInch())}});
    startWindow();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize frame = m_form->frameGeometry().size() - m_form->size();
    const QSize least = m_form->minimumSizeHint().expandedTo(m_form->minimumSize()) + frame;
    const QRect shown = m_form->frameGeometry();
    QVERIFY2(shown.width() <= std::max(available.width(), least.width()), qPrintable(QString::number(shown.width())));
    QVERIFY2(shown.height() <= std::max(available.height(), least.height()),
             qPrintable(QString::number(shown.height())));
}

QTEST_MAIN(FormStorageTest)
#include "tst_formstorage.moc"
