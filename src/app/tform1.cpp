#include "app/tform1.h"

#include "app/backupservice.h"
#include "app/datasheetgrid.h"
#include "app/formstorage.h"
#include "app/picklist.h"
#include "app/runningtotal.h"
#include "dbctrls/pictureview.h"
#include "dbctrls/tdateedit.h"
#include "dbctrls/tdbcombobox.h"
#include "dbctrls/tdbedit.h"
#include "dbctrls/tdbmemo.h"
#include "dbctrls/tdbnavigator.h"
#include "grid/tenhancedgrid.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "platform/jpegcodec.h"
#include "store/backups.h"
#include "store/datasource.h"
#include "store/error.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"
#include "store/textconv.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>
#include <limits>

namespace kelvara {

namespace {

const QString kTableName = QStringLiteral("kelvara");

// A job's time used: 16-bit minutes.
constexpr qint64 kFewestMinutes = std::numeric_limits<qint16>::min();
constexpr qint64 kMostMinutes = std::numeric_limits<qint16>::max();

void setTextIfChanged(QLineEdit &box, const QString &text)
{
    if (box.text() != text)
        box.setText(text);
}

// The picture sheets' buttons, by sheet: copy, cut, load, stretch.
const std::array<std::array<const char *, 4>, 5> kSheetButtons = {{
    {"SpeedButton7", "SpeedButton9", "SpeedButton15", "SpeedButton10"},
    {"SpeedButton2", "SpeedButton4", "SpeedButton5", "SpeedButton11"},
    {"SpeedButton12", "SpeedButton14", "SpeedButton16", "SpeedButton18"},
    {"SpeedButton19", "SpeedButton21", "SpeedButton22", "SpeedButton24"},
    {"SpeedButton25", "SpeedButton27", "SpeedButton28", "SpeedButton31"},
}};

// The boxes whose lists grow from what the user types, and the files that keep them.
const std::array<PickListFile, 4> kPickLists = {{
    {QStringLiteral("DBComboBox1"), QStringLiteral("camefrom"), QStringLiteral("CameFrom.txt")},
    {QStringLiteral("DBComboBox2"), QStringLiteral("wentinto"), QStringLiteral("wentinto.txt")},
    {QStringLiteral("DBComboBox3"), QStringLiteral("Typeofbee"), QStringLiteral("TypeOfBee.txt")},
    {QStringLiteral("DBComboBox4"), QStringLiteral("method"), QStringLiteral("MethodOfRemoval.txt")},
}};

// The first entry's patterns take GIF files too; loading refuses anything that is no JPEG.
const QStringList kPictureFilters = {
    QStringLiteral("All (*.jpg;*.jpeg) (*.gif *.jpg *.jpeg)"),
    QStringLiteral("JPEG Image File (*.jpg) (*.jpg)"),
    QStringLiteral("JPEG Image File (*.jpeg) (*.jpeg)"),
};

QLabel *caption(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

// A caption standing above its box.
QVBoxLayout *captioned(const QString &text, QWidget *box)
{
    auto *column = new QVBoxLayout;
    column->setSpacing(1);
    column->addWidget(caption(text, box));
    column->addWidget(box);
    column->addStretch(1);
    return column;
}

// The time boxes are no bound controls, but what was typed into them belongs to the job as
// much as any box's text: the table asks its links for typed values before every save and
// every move away from the job (the grid, the navigator, keys, queries, closing), so that
// one place serves them all.
class TimeBoxesLink : public DataLink
{
public:
    explicit TimeBoxesLink(std::function<void()> write) : m_write(std::move(write)) { }

protected:
    void updateData() override { m_write(); }

private:
    std::function<void()> m_write;
};

QFrame *panel(QFrame::Shadow shadow, int width, int height)
{
    auto *frame = new QFrame;
    frame->setFrameStyle(QFrame::Panel | shadow);
    frame->setLineWidth(1);
    frame->setFixedSize(width, height);
    return frame;
}

}  // namespace

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent), Table1(new Table(this)), DataSource1(new DataSource(this)),
      PageControl1(new QTabWidget(this))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Kelvara data software"));
    move(207, 156);

    Table1->setObjectName(QStringLiteral("Table1"));
    Table1->setTableName(kTableName);
    Table1->setFindIndexed(true);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DataSource1->setDataSet(Table1);

    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    setCentralWidget(PageControl1);
    buildMenuBar();
    buildStatusBar();
    auto *dataSheet = new QWidget;
    dataSheet->setObjectName(QStringLiteral("TabSheet1"));
    buildDataSheet(dataSheet);
    PageControl1->addTab(dataSheet, QStringLiteral("Data Sheet"));
    for (int i = 0; i < 5; ++i) {
        auto *page = new QWidget;
        page->setObjectName(QStringLiteral("TabSheet%1").arg(i + 2));
        buildPictureSheet(i, page);
        PageControl1->addTab(page, QStringLiteral("Picture Sheet%1").arg(i + 1));
    }
    PageControl1->setCurrentIndex(0);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index > 0)
            TabSheet2Show();
    });

    connect(Table1, &Table::afterOpen, this, &TForm1::Table1AfterOpen);
    connect(Table1, &Table::afterScroll, this, &TForm1::Table1AfterScroll);
    connect(Table1, &Table::afterInsert, this, &TForm1::Table1AfterInsert);
    connect(Table1, &Table::afterDelete, this, &TForm1::Table1AfterDelete);
    connect(DataSource1, &DataSource::dataChanged, this, &TForm1::DataSource1DataChange);
    connect(DataSource1, &DataSource::dataChanged, this, &TForm1::showTimeUsedAfterWalk);
    connect(DataSource1, &DataSource::dataChanged, this, &TForm1::showNoMatch);
    connect(DataSource1, &DataSource::stateChanged, this, &TForm1::showNoMatch);
    m_timeBoxesLink = std::make_unique<TimeBoxesLink>([this] { storeTypedTime(true); });
    m_timeBoxesLink->setDataSource(DataSource1);

    FormStorage1 = new TFormStorage(this);
    FormStorage1->setObjectName(QStringLiteral("FormStorage1"));
    QStringList storedProps{QStringLiteral("EnhancedGrid1.MenuOptions"), QStringLiteral("EnhancedGrid1.Columns")};
    // The choices of the grid's options menu, after the columns they apply to; a settings file
    // without them leaves the designed ones.
    for (const char *option :
         {"GridAutoSize", "GridAutoWidth", "DisplayBoolean", "DisplayImages", "DisplayMemo", "DisplayDateTime",
          "ShowTextEllipsis", "ShowTitleEllipsis", "FullSizeMemo", "RowSizingAllowed", "CellHints", "MultiLineTitles",
          "UseRowColors", "SearchMode", "MemoInplaceEditor", "LockedCols"})
        storedProps << QStringLiteral("EnhancedGrid1.") + QLatin1String(option);
    storedProps << QStringLiteral("Image1.Stretch") << QStringLiteral("Image2.Stretch")
                << QStringLiteral("Image3.Stretch") << QStringLiteral("Image4.Stretch")
                << QStringLiteral("Image5.Stretch");
    FormStorage1->setStoredProps(storedProps);

    // The pages keep their designed size: the window grows by the menu and status bars.
    resize(997, 723 + barsHeight());
    FormCreate();
    if (!m_startRefused && Table1->active())
        setUpBackups();
}

TForm1::~TForm1()
{
    FormStorage1->saveOnDestroy();
    // Handlers must not run on a half-destroyed window while the table closes.
    Table1->disconnect(this);
    DataSource1->disconnect(this);
    m_timeBoxesLink->setDataSource(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Building the sheets

TDBEdit *TForm1::boundEdit(const char *name, const char *field, int width)
{
    auto *edit = new TDBEdit;
    edit->setObjectName(QString::fromLatin1(name));
    edit->setDataSource(DataSource1);
    edit->setDataField(QString::fromLatin1(field));
    edit->setFixedWidth(width);
    return edit;
}

TDBComboBox *TForm1::boundCombo(const char *name, const char *field, int width)
{
    auto *combo = new TDBComboBox;
    combo->setObjectName(QString::fromLatin1(name));
    combo->setDataSource(DataSource1);
    combo->setDataField(QString::fromLatin1(field));
    combo->setFixedWidth(width);
    return combo;
}

QLineEdit *TForm1::timeBox(const char *name, bool readOnly)
{
    auto *edit = new QLineEdit(QStringLiteral("0"));
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(readOnly);
    edit->setFixedWidth(49);
    return edit;
}

void TForm1::buildDataSheet(QWidget *page)
{
    upperPanel = panel(QFrame::Raised, 969, 377);
    upperPanel->setObjectName(QStringLiteral("Panel1"));

    DBEdit1 = boundEdit("DBEdit1", "Dato", 75);
    DateEdit1 = new TDateEdit;
    DateEdit1->setObjectName(QStringLiteral("DateEdit1"));
    DateEdit1->setFixedWidth(25);
    connect(DateEdit1, &TDateEdit::changed, this, &TForm1::DateEdit1Change);
    connect(DateEdit1, &TDateEdit::clicked, this, &TForm1::DateEdit1Click);
    DBEdit2 = boundEdit("DBEdit2", "Firstname");
    DBEdit3 = boundEdit("DBEdit3", "Lastname");
    DBMemo1 = new TDBMemo;
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setDataSource(DataSource1);
    DBMemo1->setDataField(QStringLiteral("notes"));
    DBMemo1->setAccessibleName(QStringLiteral("Notes"));  // it stands without a caption
    DBMemo1->setFixedSize(329, 73);

    DBEdit4 = boundEdit("DBEdit4", "HomePhone");
    DBEdit5 = boundEdit("DBEdit5", "WorkPhone");
    DBEdit6 = boundEdit("DBEdit6", "Cellular");
    DBEdit7 = boundEdit("DBEdit7", "Email");

    DBEdit8 = boundEdit("DBEdit8", "Street1");
    DBEdit14 = boundEdit("DBEdit14", "Street2");
    DBEdit9 = boundEdit("DBEdit9", "City1");
    DBEdit10 = boundEdit("DBEdit10", "Zipcode");
    DBComboBox5 = boundCombo("DBComboBox5", "State1", 105);

    DBEdit11 = boundEdit("DBEdit11", "street3");
    DBEdit12 = boundEdit("DBEdit12", "Street4");
    DBEdit15 = boundEdit("DBEdit15", "city2");
    DBComboBox6 = boundCombo("DBComboBox6", "State2", 121);

    DBComboBox1 = boundCombo("DBComboBox1", "camefrom", 145);
    DBComboBox2 = boundCombo("DBComboBox2", "wentinto", 145);
    DBComboBox3 = boundCombo("DBComboBox3", "Typeofbee", 145);
    DBComboBox4 = boundCombo("DBComboBox4", "method", 145);
    for (TDBComboBox *box : {DBComboBox1, DBComboBox2, DBComboBox3, DBComboBox4}) {
        connect(box, &TDBComboBox::entered, this, &TForm1::DBComboBox1Enter);
        connect(box, &TDBComboBox::exited, this, &TForm1::DBComboBox1Exit);
    }

    Edit2 = timeBox("Edit2", false);
    Edit3 = timeBox("Edit3", false);
    Edit1 = timeBox("Edit1", true);
    Edit4 = timeBox("Edit4", true);
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), QStringLiteral("OK"));
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);

    // Row 1: the date with its calendar button, the names and the notes.
    auto *dateRow = new QHBoxLayout;
    dateRow->setSpacing(0);
    dateRow->addWidget(DBEdit1);
    dateRow->addWidget(DateEdit1);
    auto *dateColumn = new QVBoxLayout;
    dateColumn->setSpacing(1);
    dateColumn->addWidget(caption(QStringLiteral("Date"), DBEdit1));
    dateColumn->addLayout(dateRow);
    dateColumn->addStretch(1);
    auto *row1 = new QHBoxLayout;
    row1->addLayout(dateColumn);
    row1->addSpacing(21);
    row1->addLayout(captioned(QStringLiteral("First Name"), DBEdit2));
    row1->addLayout(captioned(QStringLiteral("Last name"), DBEdit3));
    row1->addStretch(1);
    row1->addWidget(DBMemo1, 0, Qt::AlignTop);

    auto *row2 = new QHBoxLayout;
    row2->addLayout(captioned(QStringLiteral("Home Phone"), DBEdit4));
    row2->addLayout(captioned(QStringLiteral("Work Phone"), DBEdit5));
    row2->addLayout(captioned(QStringLiteral("Cellular"), DBEdit6));
    row2->addLayout(captioned(QStringLiteral("E-Mail"), DBEdit7));
    row2->addStretch(1);

    auto *row3 = new QHBoxLayout;
    row3->addLayout(captioned(QStringLiteral("Street 1"), DBEdit8));
    row3->addLayout(captioned(QStringLiteral("Street 2"), DBEdit14));
    row3->addLayout(captioned(QStringLiteral("City"), DBEdit9));
    row3->addLayout(captioned(QStringLiteral("Zip code"), DBEdit10));
    row3->addLayout(captioned(QStringLiteral("State"), DBComboBox5));
    row3->addStretch(1);

    pickUpPanel = panel(QFrame::Raised, 881, 57);
    pickUpPanel->setObjectName(QStringLiteral("Panel2"));
    auto *pickUp = new QHBoxLayout(pickUpPanel);
    pickUp->setContentsMargins(8, 2, 8, 4);
    auto *pickUpCaption = new QLabel(QStringLiteral("Where to pick up"));
    pickUpCaption->setObjectName(QStringLiteral("PickUpCaption"));
    pickUp->addWidget(pickUpCaption, 0, Qt::AlignVCenter);
    pickUp->addSpacing(12);
    pickUp->addLayout(captioned(QStringLiteral("Street 1"), DBEdit11));
    pickUp->addLayout(captioned(QStringLiteral("Street 2"), DBEdit12));
    pickUp->addLayout(captioned(QStringLiteral("City"), DBEdit15));
    pickUp->addLayout(captioned(QStringLiteral("State"), DBComboBox6));
    pickUp->addStretch(1);

    jobPanel = panel(QFrame::Sunken, 881, 129);
    jobPanel->setObjectName(QStringLiteral("Panel3"));
    auto *job = new QGridLayout(jobPanel);
    job->setContentsMargins(8, 4, 8, 4);
    job->setHorizontalSpacing(8);
    job->addLayout(captioned(QStringLiteral("Came from "), DBComboBox1), 0, 0);
    job->addLayout(captioned(QStringLiteral("Went into hive"), DBComboBox2), 0, 1);
    job->addLayout(captioned(QStringLiteral("Type of bee"), DBComboBox3), 0, 2);
    job->addLayout(captioned(QStringLiteral("Method of removal"), DBComboBox4), 0, 3);

    auto *timeRow = new QHBoxLayout;
    timeRow->addLayout(captioned(QStringLiteral("Hr"), Edit2));
    timeRow->addLayout(captioned(QStringLiteral("Min"), Edit3));
    timeRow->addWidget(BitBtn1, 0, Qt::AlignBottom);
    timeRow->addStretch(1);
    auto *timeColumn = new QVBoxLayout;
    timeColumn->setSpacing(1);
    auto *timeCaption = new QLabel(QStringLiteral("Time Used (Only numbers)"));
    timeCaption->setObjectName(QStringLiteral("TimeUsedCaption"));
    timeColumn->addWidget(timeCaption);
    timeColumn->addLayout(timeRow);
    job->addLayout(timeColumn, 1, 0, 1, 2, Qt::AlignTop);

    auto *totalRow = new QHBoxLayout;
    totalRow->addLayout(captioned(QStringLiteral("Hr"), Edit1));
    totalRow->addLayout(captioned(QStringLiteral("Min"), Edit4));
    totalRow->addStretch(1);
    auto *totalColumn = new QVBoxLayout;
    totalColumn->setSpacing(1);
    totalColumn->addWidget(new QLabel(QStringLiteral("Time total used\nfor Kelvara")));
    totalColumn->addLayout(totalRow);
    job->addLayout(totalColumn, 0, 4, 2, 1, Qt::AlignTop | Qt::AlignRight);
    job->setColumnStretch(5, 1);

    auto *upper = new QVBoxLayout(upperPanel);
    upper->setContentsMargins(8, 4, 8, 6);
    upper->setSpacing(4);
    upper->addLayout(row1);
    upper->addLayout(row2);
    upper->addLayout(row3);
    upper->addWidget(pickUpPanel);
    upper->addWidget(jobPanel);
    upper->addStretch(1);

    DBNavigator1 = new TDBNavigator;
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setDataSource(DataSource1);
    DBNavigator1->setFixedSize(234, 25);
    connect(DBNavigator1, &TDBNavigator::clicked, this, [this](TDBNavigator::NavigateBtn button) {
        // Edit on a query that found no job begins a new one, which the next move would save
        // blank: there is nothing to edit, and Insert is the button for a new job.
        if (button == TDBNavigator::nbEdit && Table1->state() == dsInsert && Table1->narrowed()
            && Table1->recordCount() == 0)
            guarded(this, [this] { Table1->cancel(); });
    });
    DBNavigator1->setDeleteQuestion([this] { return deleteQuestion(); });

    EnhancedGrid1 = new TEnhancedGrid;
    EnhancedGrid1->setObjectName(QStringLiteral("EnhancedGrid1"));
    setUpDataSheetGrid(*EnhancedGrid1, DataSource1);
    EnhancedGrid1->setMinimumSize(969, 225);
    m_noMatch = new QLabel(QStringLiteral("No job matches the query. Clear the query to see all jobs again."),
                           EnhancedGrid1->viewport());
    m_noMatch->setObjectName(QStringLiteral("NoMatchLabel"));
    m_noMatch->setAlignment(Qt::AlignCenter);
    m_noMatch->setAutoFillBackground(true);
    m_noMatch->setMargin(6);
    m_noMatch->hide();

    auto *sheet = new QVBoxLayout(page);
    sheet->setContentsMargins(6, 6, 6, 6);
    sheet->setSpacing(4);
    sheet->addWidget(upperPanel);
    sheet->addWidget(DBNavigator1);
    sheet->addWidget(EnhancedGrid1, 1);

    setDataSheetTabOrder();
}

void TForm1::setDataSheetTabOrder()
{
    // The order in which a user tabs through the sheet follows the panels, not the rows.
    const QList<QWidget *> order = {
        DBComboBox1, DBComboBox2, DBComboBox3, DBComboBox4, Edit1,    Edit2,     Edit3,
        BitBtn1,     Edit4,       DBMemo1,     DBEdit2,     DBEdit3,  DBEdit4,   DBEdit5,
        DBEdit6,     DBEdit7,     DBEdit8,     DBEdit9,     DBEdit10, DBEdit11,  DBEdit12,
        DBEdit15,    DBComboBox6, DBEdit14,    DBComboBox5, DBEdit1,  DateEdit1, EnhancedGrid1,
    };
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

void TForm1::buildPictureSheet(int index, QWidget *page)
{
    PictureSheet &sheet = m_sheets[size_t(index)];
    sheet.page = page;
    sheet.pictureField = QStringLiteral("pic%1").arg(index + 1);

    auto *white = new QFrame;
    white->setObjectName(QStringLiteral("PicturePanel%1").arg(index + 1));
    white->setFixedSize(640, 480);
    white->setAutoFillBackground(true);
    QPalette palette = white->palette();
    palette.setColor(QPalette::Window, Qt::white);
    white->setPalette(palette);
    sheet.view = new PictureView(white);
    sheet.view->setObjectName(QStringLiteral("Image%1").arg(index + 1));
    sheet.view->setGeometry(0, 0, 640, 480);

    sheet.comment = new TDBMemo;
    sheet.comment->setObjectName(QStringLiteral("DBMemo%1").arg(index + 2));
    sheet.comment->setDataSource(DataSource1);
    sheet.comment->setDataField(QStringLiteral("comment%1").arg(index + 1));
    sheet.comment->setAccessibleName(QStringLiteral("Comment %1").arg(index + 1));
    sheet.comment->setFixedSize(545, 89);

    const auto &names = kSheetButtons[size_t(index)];
    auto button = [page](const char *name, const QString &text, const QString &hint) {
        auto *b = new QToolButton(page);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(hint);
        b->setFixedSize(82, 28);
        return b;
    };
    sheet.copy = button(names[0], QStringLiteral("Copy"), QStringLiteral("Copy to clipboard"));
    sheet.cut = button(names[1], QStringLiteral("Cut"), QStringLiteral("Cut to clipboard"));
    sheet.load = button(names[2], QStringLiteral("Load..."), QStringLiteral("Load Picture"));
    sheet.stretch = button(names[3], QStringLiteral("Stretch"), QString());
    sheet.stretch->setCheckable(true);
    sheet.stretch->setChecked(true);
    connect(sheet.copy, &QToolButton::clicked, this, [this, b = sheet.copy] { SpeedButton29Click(b); });
    connect(sheet.cut, &QToolButton::clicked, this, [this, b = sheet.cut] { SpeedButton9Click(b); });
    connect(sheet.load, &QToolButton::clicked, this, [this, b = sheet.load] { SpeedButton15Click(b); });
    connect(sheet.stretch, &QToolButton::clicked, this, [this, b = sheet.stretch] { SpeedButton11Click(b); });

    // Present in the column but without an action: nothing can be pasted or saved from here.
    auto *paste = button("", QStringLiteral("Paste"), QStringLiteral("Paste from Clipboard"));
    auto *save = button("", QStringLiteral("Save"), QStringLiteral("Save picture"));
    paste->setObjectName(QStringLiteral("PasteButton%1").arg(index + 1));
    save->setObjectName(QStringLiteral("SaveButton%1").arg(index + 1));
    paste->hide();
    save->hide();

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(sheet.copy);
    buttons->addWidget(sheet.cut);
    buttons->addWidget(sheet.load);
    buttons->addSpacing(12);
    buttons->addWidget(sheet.stretch);
    buttons->addWidget(new QLabel(QStringLiteral("Stretch/unstretch")));
    buttons->addWidget(paste);
    buttons->addWidget(save);
    buttons->addStretch(1);

    auto *left = new QVBoxLayout;
    left->addWidget(white);
    left->addWidget(sheet.comment);
    left->addStretch(1);

    auto *layout = new QHBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(left);
    layout->addLayout(buttons);
    layout->addStretch(1);
}

// ---------------------------------------------------------------------------------------------
// Start-up

void TForm1::FormCreate()
{
    try {
        openOrCreateTable();
    } catch (const std::exception &error) {
        // A window without its table would only fail at every step: the start ends, and says why.
        dialogs().error(
            this,
            QStringLiteral("%1\n\nKelvara ends now; start it again once this is put right.").arg(errorText(error)));
        m_startRefused = true;
    }
}

void TForm1::openOrCreateTable()
{
    // Tables made before the text fields were widened hold as much as new ones.
    Table1->setExpectedDesign(kelvaraFieldDefs());
    // This process owns the folder now: what an earlier start left half made goes.
    Table1->removeUnfinishedCreations();
    backups::tidyInterruptedRestore(Table1->fileName());
    // A mistaken delete can be undone for a while.
    Table1->setDeletedKeptDays(Table::kDefaultDeletedKeptDays);
    if (Table1->exists()) {
        try {
            if (!openTableWhenFree()) {
                m_startRefused = true;
                return;
            }
            if (!Table1->canModify())
                dialogs().warning(this,
                                  QStringLiteral("The record table %1 is read-only: its records "
                                                 "can be read but not changed.")
                                      .arg(Table1->fileName()));
            return;
        } catch (const DamagedError &error) {
            keepDamagedTable(error.message());
        } catch (const Error &error) {
            // A full disk, a file that may not be read or written, a failing medium: the file
            // itself is sound, so nothing is moved and no new table stands in its place.
            openReadOnly(error.message());
            return;
        }
        if (offerBackupForDamaged()) {
            Table1->open();
            recountTotal();
            return;
        }
        createInPlaceOfKept();
        dialogs().warning(this,
                          QStringLiteral("The record table could not be opened:\n%1\n\n"
                                         "Its file was kept as \"%2\" and a new, empty "
                                         "table was started.")
                              .arg(m_damageReason, m_keptDamagedTable));
        resetTotalFile();
        return;
    }
    if (Table1->hasFiles()) {
        // A log without its table would be replayed into a new table: keep it for rescue.
        keepDamagedTable(QStringLiteral("the table file is missing, its log is not"));
        createInPlaceOfKept();
        dialogs().warning(this,
                          QStringLiteral("The record table was missing, but its log was not. The log "
                                         "was kept as \"%1\" and a new, empty table was started.")
                              .arg(m_keptDamagedTable));
    } else {
        createKelvaraTable(*Table1);
    }
    // Only a table really made new starts the total anew.
    resetTotalFile();
    Table1->open();
}

void TForm1::openReadOnly(const QString &reason)
{
    Table1->setReadOnly(true);
    try {
        Table1->open();
    } catch (const Error &) {
        Table1->setReadOnly(false);
        throw Error(QStringLiteral("%1\n\nNo file was moved or changed.").arg(reason));
    }
    dialogs().warning(this,
                      QStringLiteral("%1\n\nThe records are shown read-only: they can be read but not "
                                     "changed until Kelvara is started again once this is put right. "
                                     "No file was moved or changed.")
                          .arg(reason));
}

void TForm1::createInPlaceOfKept()
{
    try {
        createKelvaraTable(*Table1);
    } catch (const Error &) {
        // No new table could take the kept one's place: its files go back under their names.
        const QDir folder = QFileInfo(Table1->fileName()).dir();
        for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
            const QString kept = folder.filePath(m_keptDamagedTable + QLatin1String(suffix));
            if (QFileInfo::exists(kept))
                QFile::rename(kept, Table1->fileName() + QLatin1String(suffix));
        }
        m_keptDamagedTable.clear();
        throw;
    }
}

bool TForm1::openTableWhenFree()
{
    for (;;) {
        try {
            Table1->open();
            return true;
        } catch (const BusyError &) {
            // Busy is not damaged: nothing is moved aside while another program has the table.
            if (!dialogs().confirm(this,
                                   QStringLiteral("The record table %1 is in use by another program.\n\n"
                                                  "Close that program, then choose OK to try again, "
                                                  "or Cancel to end Kelvara.")
                                       .arg(Table1->fileName())))
                return false;
        }
    }
}

void TForm1::keepDamagedTable(const QString &reason)
{
    // The old files may still hold records someone can rescue; move them aside rather than delete them.
    m_damageReason = reason;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    m_keptDamagedTable
        = QFileInfo(Table1->moveFilesAside(QStringLiteral("%1-damaged-%2").arg(kTableName, stamp))).fileName();
}

void TForm1::resetTotalFile()
{
    writeTotalFile(0);
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    if (!m_shownOnce) {
        m_shownOnce = true;
        // The designed size is the window's outer size; take the frame off once it is known.
        const QSize frame = frameGeometry().size() - size();
        if (frame.isValid() && !frame.isEmpty())
            resize(997 - frame.width(), 723 - frame.height() + barsHeight());
    }
    FormStorage1->restore();
    for (PictureSheet &sheet : m_sheets)
        sheet.stretch->setChecked(sheet.view->stretch());
    FormShow();
}

void TForm1::FormShow()
{
    guarded(this, [this] {
        Table1->open();
        Table1->first();
        keepEditing();
        DBEdit1->setFocus();
    });
    showTotalFromFile();
    // Once the window is up: the backup a day without one calls for runs beside it.
    if (!m_backupCheckedAtStart) {
        m_backupCheckedAtStart = true;
        QTimer::singleShot(0, this, [this] { guarded(this, [this] { backUpWhenDue(); }); });
    }
}

int TForm1::barsHeight() const
{
    return menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::ActivationChange)
        return;
    if (isActiveWindow())
        FormActivate();
    else
        m_storedWhenLeft = Table1->recordCount();
}

void TForm1::FormActivate()
{
    // The activation that ends a dialog over the window comes through the event queue, after
    // the code that ran the dialog went on: a confirmed delete of the last record has then
    // already happened. The table is judged as it was when the dialog took the activation, as
    // nothing can change it while a dialog is open.
    const int storedWhenLeft = m_storedWhenLeft;
    m_storedWhenLeft = 0;
    guarded(this, [this, storedWhenLeft] {
        // A query that finds nothing leaves the table's jobs where they are: only a table
        // without any job gets one to type into.
        if (storedWhenLeft > 0 || Table1->recordCount() > 0 || (Table1->active() && !Table1->canModify())
            || Table1->narrowed())
            return;
        if (!Table1->active()) {
            // Said once: repeating it on every activation would bring the box back each time it closes.
            if (m_closedTableReported)
                return;
            m_closedTableReported = true;
        }
        QVariantList values;
        for (int i = 0; i < 20; ++i)
            values << QVariant();
        values << 0;
        Table1->insertRecord(values);
    });
}

void TForm1::Table1AfterOpen()
{
    guarded(this, [this] { keepEditing(); });
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (m_busy) {
        event->ignore();
        return;
    }
    // What was typed into the current record is saved, not dropped with the window.
    if (Table1->active() && (Table1->state() == dsEdit || Table1->state() == dsInsert)) {
        try {
            Table1->updateRecord();
            if (Table1->modified())
                Table1->post();
        } catch (const std::exception &error) {
            if (!dialogs().confirm(this,
                                   QStringLiteral("The record could not be saved:\n%1\n\n"
                                                  "Close anyway and lose the changes?")
                                       .arg(errorText(error)))) {
                event->ignore();
                return;
            }
        }
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        FormStorage1->saveOnClose();
        backUpBeforeClosing();
    }
}

void TForm1::keyPressEvent(QKeyEvent *event)
{
    // Enter in a control that has no use for it clicks the OK button of the time boxes. A control
    // that uses Enter (the notes, the grid's editors and search box) keeps the key: only what
    // it passes on arrives here, from the read-only grid as from any box.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    QWidget *focus = QApplication::focusWidget();
    if (enter && plain && focus && PageControl1->currentIndex() == 0
        && PageControl1->currentWidget()->isAncestorOf(focus)) {
        BitBtn1->click();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TForm1::saveTypedJob()
{
    // Commands that read the stored jobs (a backup, an export, a sheet, the figures) see what is
    // typed too; the job then goes on being edited as after a move.
    if (!Table1->active())
        throw Error(QStringLiteral("The record table is not open."));
    if (Table1->canModify())
        Table1->checkBrowseMode();
    keepEditing();
}

void TForm1::keepEditing()
{
    // A table that takes no changes is shown as it is: the current record cannot be edited.
    if (Table1->active() && Table1->canModify() && Table1->state() != dsEdit && !showsEmptyRange())
        Table1->edit();
}

bool TForm1::showsEmptyRange() const
{
    // Edit on an empty record set begins a new record, which the next move would save: a blank
    // job made by a query, not by the user.
    return Table1->active() && Table1->narrowed() && Table1->recordCount() == 0 && Table1->state() != dsInsert;
}

void TForm1::showNoMatch()
{
    const bool none = showsEmptyRange();
    if (none) {
        m_noMatch->setText(Table1->hasRange()
                               ? QStringLiteral("No job matches the query. Clear the query to see all jobs again.")
                               : QStringLiteral("No job matches the find. Press Esc in the find box to see all "
                                                "jobs again."));
        // Below the title row, across the rows' width.
        const QRect area = EnhancedGrid1->viewport()->rect();
        const int top = qMin(EnhancedGrid1->cellRect(0, 0).bottom() + 1, area.height() / 3);
        const QSize hint = m_noMatch->sizeHint();
        m_noMatch->setGeometry((area.width() - hint.width()) / 2, top + 8, hint.width(), hint.height());
        m_noMatch->raise();
    }
    m_noMatch->setVisible(none);
}

void TForm1::editUnlessEditing()
{
    if (Table1->state() != dsEdit)
        Table1->edit();
}

// ---------------------------------------------------------------------------------------------
// Data sheet

void TForm1::DateEdit1Change()
{
    guarded(this, [this] {
        editUnlessEditing();
        // The date box's mask wants a four-digit year, whatever the calendar shows.
        DBEdit1->setText(dateToText(DateEdit1->date()));
        DBEdit1->dataLink().setModified();
        Table1->refresh();
        Table1->edit();
    });
}

void TForm1::DateEdit1Click()
{
    if (DateEdit1->date().isValid())
        DateEdit1Change();
}

void TForm1::Table1AfterDelete()
{
    DBEdit1->setFocus();
    EnhancedGrid1->viewport()->update();
}

QString TForm1::deleteQuestion() const
{
    if (Table1->state() == dsInsert)
        return QStringLiteral("Drop the new job that is being typed?");
    const QString date = Table1->fieldByName(QStringLiteral("Dato"))->displayText().trimmed();
    const QString customer = QStringList{Table1->fieldByName(QStringLiteral("Firstname"))->asString().trimmed(),
                                         Table1->fieldByName(QStringLiteral("Lastname"))->asString().trimmed()}
                                 .join(QLatin1Char(' '))
                                 .trimmed();
    if (!date.isEmpty() && !customer.isEmpty())
        return QStringLiteral("Delete the job of %1 for %2?").arg(date, customer);
    if (!customer.isEmpty())
        return QStringLiteral("Delete the job for %1 (no date)?").arg(customer);
    if (!date.isEmpty())
        return QStringLiteral("Delete the job of %1 (no customer's name)?").arg(date);
    return QStringLiteral("Delete this job (no date, no customer's name)?");
}

void TForm1::Table1AfterInsert()
{
    Table1AfterScroll();
    for (PictureSheet &sheet : m_sheets)
        sheet.view->clear();
}

// ---------------------------------------------------------------------------------------------
// Time accounting

void TForm1::Table1AfterScroll()
{
    try {
        Field *timeused = Table1->fieldByName(QStringLiteral("timeused"));
        if (showsEmptyRange()) {
            // No job to show: the boxes show none, and catch up when a job is shown again,
            // which clearing the query does without a move.
            setTextIfChanged(*Edit2, QStringLiteral("0"));
            setTextIfChanged(*Edit3, QStringLiteral("0"));
            Edit2->setModified(false);
            Edit3->setModified(false);
            m_timeBoxesStale = true;
            return;
        }
        if (Table1->canModify()) {
            Table1->edit();
            if (timeused->isNull())
                timeused->setAsInteger(0);
        }
        // Whole-table walks (width scans, exports, printouts) pass here for every record with
        // the table's controls disabled: the boxes then show the record the walk ends on once
        // the controls are enabled again, instead of being laid out for every record on the way.
        if (Table1->controlsDisabled()) {
            m_timeBoxesStale = true;
            return;
        }
        showTimeUsed(*timeused);
    } catch (const std::exception &) {
        // A record that cannot be edited keeps the boxes as they were.
    }
}

void TForm1::showTimeUsed(const Field &timeused)
{
    m_timeBoxesStale = false;
    const HoursMinutes split = splitMinutes(timeused.asInteger());
    // A box whose text stays the same is left alone rather than laid out again.
    setTextIfChanged(*Edit2, QString::number(split.hours));
    setTextIfChanged(*Edit3, QString::number(split.minutes));
    // What the boxes show now is the record's own time, not something typed.
    Edit2->setModified(false);
    Edit3->setModified(false);
}

void TForm1::showTimeUsedAfterWalk()
{
    if (!m_timeBoxesStale || Table1->controlsDisabled() || !Table1->active() || showsEmptyRange())
        return;
    try {
        showTimeUsed(*Table1->fieldByName(QStringLiteral("timeused")));
    } catch (const std::exception &) {
        m_timeBoxesStale = false;  // as after a move: the boxes keep what they showed
    }
}

void TForm1::BitBtn1Click()
{
    guarded(this, [this] {
        storeTypedTime(false);
        Table1AfterScroll();
    });
}

void TForm1::storeTypedTime(bool onlyWhenTyped)
{
    if (onlyWhenTyped && !Edit2->isModified() && !Edit3->isModified())
        return;
    editUnlessEditing();
    Field *timeused = Table1->fieldByName(QStringLiteral("timeused"));
    const qint64 previous = variantToInteger(timeused->value());
    if (Edit2->text().isEmpty())
        Edit2->setText(QStringLiteral("0"));
    const qint64 hours = typedMinutesPart(*Edit2, QStringLiteral("hour"));
    if (Edit3->text().isEmpty())
        Edit3->setText(QStringLiteral("0"));
    const qint64 minutes = typedMinutesPart(*Edit3, QStringLiteral("minute"));
    const qint64 total = hours * 60 + minutes;
    if (total < kFewestMinutes || total > kMostMinutes)
        throw Error(timeOutOfRange());
    if (onlyWhenTyped && total == previous) {
        Edit2->setModified(false);
        Edit3->setModified(false);
        return;
    }
    timeused->setValue(total);
    // Taken: leaving the job afterwards must not count the same typing twice.
    Edit2->setModified(false);
    Edit3->setModified(false);
    Checktimetotal(previous, total);
}

qint64 TForm1::typedMinutesPart(const QLineEdit &box, const QString &boxName) const
{
    const Field *timeused = Table1->fieldByName(QStringLiteral("timeused"));
    try {
        return timeused->textToInteger(box.text()).value_or(0);
    } catch (const Error &) {
        // The field's own words name a field the user never sees; say it about the box.
        static const QRegularExpression integer(QStringLiteral("^ *[-+]?(\\$[0-9A-Fa-f]+|[0-9]+)$"));
        if (integer.match(box.text()).hasMatch())
            throw Error(timeOutOfRange());
        throw Error(QStringLiteral("The %1 box holds \"%2\", which is not a whole number. Type the time used "
                                   "as whole hours and minutes, such as 1 and 30 for an hour and a half.")
                        .arg(boxName, box.text()));
    }
}

QString TForm1::timeOutOfRange() const
{
    const HoursMinutes low = splitMinutes(kFewestMinutes);
    const HoursMinutes high = splitMinutes(kMostMinutes);
    return QStringLiteral("%1 h %2 min cannot be stored: the time used on a job lies between %3 h %4 min "
                          "and %5 h %6 min.")
        .arg(Edit2->text().trimmed(), Edit3->text().trimmed())
        .arg(low.hours)
        .arg(-low.minutes)
        .arg(high.hours)
        .arg(high.minutes);
}

void TForm1::Checktimetotal(qint64 previousMinutes, qint64 newMinutes)
{
    try {
        const qint64 total = readTotalFile() - previousMinutes + newMinutes;
        showTotal(total);
        writeTotalFile(total);
        return;
    } catch (const Error &) {
        // A missing, empty or unwritable file: count the total anew from the records.
    }
    recountTotal();
}

void TForm1::recountTotal()
{
    guarded(this, [this] {
        // SQLite adds the stored times up; the job being edited counts with its new time, and
        // stays current and unsaved, as after any other OK.
        const qint64 sum = Table1->sumOf(Table1->fieldByName(QStringLiteral("timeused")));
        showTotal(sum);
        writeTotalFile(sum);
    });
}

void TForm1::showTotal(qint64 minutes)
{
    const TotalTexts texts = totalTexts(minutes);
    Edit1->setText(texts.hours);
    Edit4->setText(texts.minutes);
    // A total wider than its box shows its leading digits, as the bound boxes show a long value.
    Edit1->setCursorPosition(0);
    Edit4->setCursorPosition(0);
}

void TForm1::showTotalFromFile()
{
    try {
        showTotal(readTotalFile());
        return;
    } catch (const Error &) {
        // No usable total file: the total the next OK would count is shown from the start.
    }
    try {
        if (Table1->active())
            showTotal(Table1->sumOf(Table1->fieldByName(QStringLiteral("timeused"))));
    } catch (const Error &) {
        // The boxes keep what they show; the next OK counts again and reports what fails.
    }
}

// ---------------------------------------------------------------------------------------------
// Pick lists

static QStringList itemsOf(const QComboBox &box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

// Replaces the drop-down list; the box keeps its text.
static void setItems(QComboBox &box, const QStringList &items)
{
    if (itemsOf(box) == items)
        return;
    box.clear();
    box.addItems(items);
}

static const PickListFile *pickListOf(const QObject *box)
{
    for (const PickListFile &list : kPickLists) {
        if (box && box->objectName() == list.box)
            return &list;
    }
    return nullptr;
}

void TForm1::DBComboBox1Enter()
{
    auto *box = qobject_cast<TDBComboBox *>(sender());
    const PickListFile *list = pickListOf(box);
    if (!list)
        return;
    QStringList entries = itemsOf(*box);
    if (loadPickList(list->fileName, entries))
        setItems(*box, entries);
}

void TForm1::DBComboBox1Exit()
{
    auto *box = qobject_cast<TDBComboBox *>(sender());
    const PickListFile *list = pickListOf(box);
    if (!list)
        return;
    guarded(this, [&] {
        QStringList entries = itemsOf(*box);
        const QString text = box->currentText();
        // The new entry stays in the list even when its file cannot be written.
        struct Keep
        {
            TDBComboBox &box;
            QStringList &entries;
            ~Keep() { setItems(box, entries); }
        };
        const Keep keep{*box, entries};
        addToPickList(list->fileName, entries, text);
    });
}

// ---------------------------------------------------------------------------------------------
// Picture sheets

int TForm1::sheetOfButton(const QObject *button) const
{
    const QString name = button ? button->objectName() : QString();
    for (size_t sheet = 0; sheet < kSheetButtons.size(); ++sheet) {
        for (const char *candidate : kSheetButtons[sheet]) {
            if (name == QLatin1String(candidate))
                return int(sheet);
        }
    }
    return -1;
}

int TForm1::activePictureSheet() const
{
    const int index = PageControl1->currentIndex();
    return index >= 1 && index <= 5 ? index - 1 : -1;
}

void TForm1::showPicture(int sheet)
{
    PictureView *view = m_sheets[size_t(sheet)].view;
    Field *field = Table1->fieldByName(m_sheets[size_t(sheet)].pictureField);
    // A job without a photo shows none: the view must not keep another job's.
    if (field->blobSize() <= 0) {
        view->clear();
        return;
    }
    try {
        view->showField(*field);
    } catch (...) {
        // A photo that does not decode is told, but not shown as the one seen before.
        view->clear();
        throw;
    }
}

void TForm1::DataSource1DataChange(Field *field)
{
    Q_UNUSED(field);
    if (!Table1->active())
        return;
    guarded(this, [this] {
        keepEditing();
        const int sheet = activePictureSheet();
        if (sheet >= 0)
            showPicture(sheet);
    });
}

void TForm1::TabSheet2Show()
{
    if (!Table1->active())
        return;
    guarded(this, [this] {
        keepEditing();
        for (int sheet = 0; sheet < 5; ++sheet) {
            if (m_sheets[size_t(sheet)].page->isVisible() || activePictureSheet() == sheet)
                showPicture(sheet);
        }
    });
}

void TForm1::SpeedButton15Click(QObject *Sender)
{
    const int sheet = sheetOfButton(Sender);
    if (sheet < 0)
        return;
    guarded(this, [&] {
        const QString fileName = dialogs().openFileName(this, QString(), QString(), kPictureFilters);
        if (fileName.isEmpty())
            return;
        // Only a picture that decodes is stored; decoded as the view draws it, it is shown without
        // being decoded again.
        PictureView *view = m_sheets[size_t(sheet)].view;
        PictureView::Decoded picture = view->decodeForView(readFileBytes(fileName));

        DisabledControlsScope suspended(*Table1);
        editUnlessEditing();
        Field *field = Table1->fieldByName(m_sheets[size_t(sheet)].pictureField);
        field->setAsBytes(picture.bytes);
        Table1->post();
        view->showDecoded(PictureView::keyOf(*field), std::move(picture));
        suspended.resume();
    });
}

void TForm1::SpeedButton29Click(QObject *Sender)
{
    const int sheet = sheetOfButton(Sender);
    if (sheet < 0)
        return;
    guarded(this, [&] {
        PictureView *view = m_sheets[size_t(sheet)].view;
        if (view->hasPicture())
            QApplication::clipboard()->setImage(view->picture());
    });
}

void TForm1::SpeedButton9Click(QObject *Sender)
{
    const int sheet = sheetOfButton(Sender);
    if (sheet < 0)
        return;
    guarded(this, [&] {
        editUnlessEditing();
        PictureView *view = m_sheets[size_t(sheet)].view;
        if (view->hasPicture())
            QApplication::clipboard()->setImage(view->picture());
        view->clear();
        Table1->fieldByName(m_sheets[size_t(sheet)].pictureField)->clear();
        Table1->post();
    });
}

void TForm1::SpeedButton11Click(QObject *Sender)
{
    const int sheet = sheetOfButton(Sender);
    if (sheet < 0)
        return;
    guarded(this, [&] {
        PictureSheet &s = m_sheets[size_t(sheet)];
        s.view->setStretch(!s.view->stretch());
        s.stretch->setChecked(s.view->stretch());
    });
}

}  // namespace kelvara
