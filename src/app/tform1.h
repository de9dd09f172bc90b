#pragma once

#include <QList>
#include <QMainWindow>

#include <array>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QProgressBar;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QToolButton;

namespace kelvara {

class BackupService;
class FindBar;
class DataLink;
class DataSource;
class Field;
class PictureView;
class TDBComboBox;
class TDBEdit;
class TEnhancedGrid;
class TFormStorage;
class TDBMemo;
class TDBNavigator;
class TDateEdit;
class Table;
namespace jobexport {
struct Column;
}

// The main window: the data sheet where a job's record is typed in, with the time accounting
// and pick lists, and the five picture sheets. It owns the record table for the whole run.
class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    Table *table() const { return Table1; }
    DataSource *dataSource() const { return DataSource1; }
    // The settings component that restores the window's placement and stored properties.
    TFormStorage *formStorage() const { return FormStorage1; }

    // The file the damaged table was moved to at start-up, if any.
    QString keptDamagedTable() const { return m_keptDamagedTable; }
    // True when the user chose to end at start-up rather than wait for a table in use elsewhere.
    bool startRefused() const { return m_startRefused; }
    // Makes the table's backups; none when no table could be opened.
    BackupService *backupService() const { return m_backups.get(); }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // One picture sheet: its view, its buttons and its fields.
    struct PictureSheet
    {
        QWidget *page = nullptr;
        PictureView *view = nullptr;
        TDBMemo *comment = nullptr;
        QToolButton *copy = nullptr;
        QToolButton *cut = nullptr;
        QToolButton *load = nullptr;
        QToolButton *stretch = nullptr;
        QString pictureField;
    };

    void buildDataSheet(QWidget *page);
    void buildPictureSheet(int index, QWidget *page);
    void setDataSheetTabOrder();
    TDBEdit *boundEdit(const char *name, const char *field, int width = 121);
    TDBComboBox *boundCombo(const char *name, const char *field, int width);
    QLineEdit *timeBox(const char *name, bool readOnly);

    // Start-up
    void FormCreate();
    void FormShow();
    void FormActivate();
    void Table1AfterOpen();
    // Opens the table, asking the user to wait while another program holds it; false when the
    // user would rather end.
    bool openTableWhenFree();
    void keepDamagedTable(const QString &reason);
    void openOrCreateTable();
    // For a table that could not be opened for a reason other than damage: opens it read-only
    // where it can still be read, saying so; fails where it cannot.
    void openReadOnly(const QString &reason);
    // Creates the table where a damaged one was moved aside; on failure moves it back and fails.
    void createInPlaceOfKept();
    void resetTotalFile();

    // Menu bar, status bar and the safety net (tform1backups.cpp)
    int barsHeight() const;
    void buildMenuBar();
    void buildStatusBar();
    void setUpBackups();
    bool automaticBackups() const;
    // Begins a backup unless one runs; false when one did.
    bool startBackup();
    void backUpWhenDue();
    void backUpNow();
    // Makes the backup a close is due, showing how far it is; the user may skip it.
    void backUpBeforeClosing();
    void restoreFromBackup();
    void restoreBackupFile(const QString &backupFile);
    // For a damaged table moved aside at start: offers the newest readable backup in its place;
    // true when it was restored.
    bool offerBackupForDamaged();
    void showDeletedJobs();
    void chooseDataFolder();
    void chooseBackupFolder();
    void showAbout();
    // The current job on paper, through the print preview (tform1jobsheet.cpp).
    void printJobSheet();

    // Find and the shown jobs (tform1find.cpp)
    void buildFindBar();
    void buildShownJobsStatus();
    void applyFind();
    void clearQuery();
    // The status bar's count and time of the shown jobs, worked out once the event of the moment
    // is through: a save, a delete or a new range or find.
    void scheduleShownJobs();
    void showShownJobs();
    // Which jobs are shown, in words: "All jobs", or what the query and the find narrow them to.
    QString shownJobsDescription() const;
    // The jobs written for spreadsheet programs (tform1export.cpp), under the sheet's captions.
    void exportJobs();
    QList<jobexport::Column> exportColumns() const;
    void showStatistics();

    // Data sheet
    void DateEdit1Change();
    void DateEdit1Click();
    void Table1AfterDelete();
    void Table1AfterInsert();
    // The delete confirmation, naming the job by its date and customer.
    QString deleteQuestion() const;

    // Time accounting
    void Table1AfterScroll();
    void showTimeUsed(const Field &timeused);
    void showTimeUsedAfterWalk();
    void BitBtn1Click();
    // Writes the hour and minute boxes into timeused and moves the running total by the
    // difference. As the job is left, boxes the user did not change are skipped.
    void storeTypedTime(bool onlyWhenTyped);
    // The minutes a time box holds, refused in words about the boxes.
    qint64 typedMinutesPart(const QLineEdit &box, const QString &boxName) const;
    QString timeOutOfRange() const;
    void Checktimetotal(qint64 previousMinutes, qint64 newMinutes);
    void recountTotal();
    void showTotal(qint64 minutes);
    void showTotalFromFile();

    // Pick lists
    void DBComboBox1Enter();
    void DBComboBox1Exit();

    // Picture sheets
    void SpeedButton15Click(QObject *Sender);
    void SpeedButton29Click(QObject *Sender);
    void SpeedButton9Click(QObject *Sender);
    void SpeedButton11Click(QObject *Sender);
    void TabSheet2Show();
    void DataSource1DataChange(Field *field);
    int sheetOfButton(const QObject *button) const;
    int activePictureSheet() const;
    void showPicture(int sheet);
    void editUnlessEditing();  // before a user's change; fails on a read-only table
    void keepEditing();        // after a move or data change; quiet on a read-only table
    void saveTypedJob();       // before a command reads the stored jobs; fails without a table
    // A query that found no job: nothing to edit, and no new job begun in its place.
    bool showsEmptyRange() const;
    void showNoMatch();

    Table *Table1;
    DataSource *DataSource1;
    QTabWidget *PageControl1;

    TDBEdit *DBEdit1 = nullptr;
    TDateEdit *DateEdit1 = nullptr;
    TDBEdit *DBEdit2 = nullptr;
    TDBEdit *DBEdit3 = nullptr;
    TDBMemo *DBMemo1 = nullptr;
    TDBEdit *DBEdit4 = nullptr;
    TDBEdit *DBEdit5 = nullptr;
    TDBEdit *DBEdit6 = nullptr;
    TDBEdit *DBEdit7 = nullptr;
    TDBEdit *DBEdit8 = nullptr;
    TDBEdit *DBEdit14 = nullptr;
    TDBEdit *DBEdit9 = nullptr;
    TDBEdit *DBEdit10 = nullptr;
    TDBComboBox *DBComboBox5 = nullptr;
    TDBEdit *DBEdit11 = nullptr;
    TDBEdit *DBEdit12 = nullptr;
    TDBEdit *DBEdit15 = nullptr;
    TDBComboBox *DBComboBox6 = nullptr;
    TDBComboBox *DBComboBox1 = nullptr;
    TDBComboBox *DBComboBox2 = nullptr;
    TDBComboBox *DBComboBox3 = nullptr;
    TDBComboBox *DBComboBox4 = nullptr;
    QLineEdit *Edit1 = nullptr;  // total hours
    QLineEdit *Edit2 = nullptr;  // hours
    QLineEdit *Edit3 = nullptr;  // minutes
    QLineEdit *Edit4 = nullptr;  // total minutes
    QPushButton *BitBtn1 = nullptr;
    QFrame *upperPanel = nullptr;
    QFrame *pickUpPanel = nullptr;
    QFrame *jobPanel = nullptr;
    TDBNavigator *DBNavigator1 = nullptr;
    TEnhancedGrid *EnhancedGrid1 = nullptr;
    TFormStorage *FormStorage1 = nullptr;
    QLabel *m_noMatch = nullptr;  // over the grid while a query finds no job

    // Hears the table ask for typed values before a job is saved or left.
    std::unique_ptr<DataLink> m_timeBoxesLink;
    std::array<PictureSheet, 5> m_sheets;
    QString m_keptDamagedTable;
    QString m_damageReason;
    bool m_shownOnce = false;
    bool m_timeBoxesStale = false;  // a walk passed records without showing their time
    bool m_closedTableReported = false;
    int m_storedWhenLeft = 0;  // stored records when the window last lost the activation
    bool m_startRefused = false;

    std::unique_ptr<BackupService> m_backups;
    QAction *m_automaticBackups = nullptr;
    QProgressBar *m_backupProgress = nullptr;
    QLabel *m_backupStatus = nullptr;
    QString m_reportedBackupFailure;  // said once, not again for the same cause
    bool m_backupAnnounced = false;   // asked for by the user: its end is told
    bool m_changedSinceBackup = false;
    bool m_backupCheckedAtStart = false;
    bool m_busy = false;  // a restore, or the close's backup, is under way

    FindBar *m_findBar = nullptr;
    QLabel *m_shownJobs = nullptr;
    QLabel *m_queryStatus = nullptr;
    QToolButton *m_clearQuery = nullptr;
    QTimer *m_shownJobsTimer = nullptr;
    int m_shownCount = -1;  // as last shown, to tell a change of the shown jobs from a move
    bool m_shownNarrowed = false;
};

}  // namespace kelvara
