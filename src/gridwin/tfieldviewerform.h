#pragma once

#include "store/datasource.h"

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QPointer>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QScrollArea;
class QTextEdit;

namespace kelvara {

class Field;
class TButtonStatusBar;

// The modal window in which the grid shows and edits one field of the current record that does
// not fit a cell: a memo as plain text, a formatted memo as rich text, a binary field as a picture.
class TFieldViewerForm : public QDialog
{
    Q_OBJECT

public:
    enum Mode { vmNone, vmText, vmRichText, vmPicture };
    Q_ENUM(Mode)

    // The window's results: Ok closes with Yes, everything else with Cancel.
    static constexpr int mrCancel = 2;
    static constexpr int mrYes = 6;

    explicit TFieldViewerForm(QWidget *owner = nullptr);
    ~TFieldViewerForm() override;

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    Field *field() const { return m_field; }
    void setField(Field *field);
    DataSource *dataSource() const { return m_dataSource; }
    void setDataSource(DataSource *source);

    // The mode chosen when the window was first activated; vmNone before.
    Mode mode() const { return m_mode; }
    // The picture as shown (upright); null when there is none.
    QImage picture() const { return m_picture; }
    // Whether the picture was loaded, pasted, cut or cleared since the window was filled.
    bool pictureChanged() const { return m_pictureChanged; }

    // The mode a field is shown in.
    static Mode modeFor(const Field &field);
    // The whole kilobytes the title gives for a content of this many bytes.
    static qint64 kilobytes(qint64 bytes);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // Closing the window any other way than Ok is a Cancel.
    void reject() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void FormActivate();
    void OkbtnClick();
    void CancelbtnClick();
    void SaveAsbtnClick();
    void PrintBtnClick();
    void FileOpen();
    void SavebtnClick();
    void MenuClick();

private:
    void FormCreate();
    void fillText();
    void fillRichText();
    void fillPicture();
    bool recordSetCanModify() const;
    void writeText();
    void writePicture();
    void printPlainText(QPrinter &printer);
    void showPicture(const QImage &image, const QByteArray &bytes);
    void updateMenu();

    QString m_caption;
    Field *m_field = nullptr;
    QPointer<DataSource> m_dataSource;
    Mode m_mode = vmNone;
    bool m_filled = false;

    // The picture shown, and the encoded bytes it came from when they are at hand (the field's
    // content or a picture file); empty for a pasted picture.
    QImage m_picture;
    QByteArray m_pictureBytes;
    bool m_pictureChanged = false;

    QPlainTextEdit *Memo1 = nullptr;
    QTextEdit *RichEdit1 = nullptr;
    QScrollArea *ScrollBox1 = nullptr;
    QLabel *DBImage = nullptr;
    TButtonStatusBar *ButtonStatusBar1 = nullptr;
    QPushButton *Okbtn = nullptr;
    QPushButton *Cancelbtn = nullptr;
    QPushButton *SaveAsbtn = nullptr;
    QPushButton *PrintBtn = nullptr;
    QMenu *PopupMenu = nullptr;
    QAction *Open1 = nullptr;
    QAction *Save1 = nullptr;
    QAction *Cut1 = nullptr;
    QAction *Copy1 = nullptr;
    QAction *Paste1 = nullptr;
    QAction *Clear1 = nullptr;
};

// Shows a field of the current record in a field viewer for one modal run, the way the grid
// opens it: created with owner as its owner, given the caption, field and data source, run
// through the dialogs seam and destroyed afterwards.
void showFieldViewer(QWidget *owner, DataSource *source, Field &field, const QString &caption);

}  // namespace kelvara
