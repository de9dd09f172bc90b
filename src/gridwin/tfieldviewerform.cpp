#include "gridwin/tfieldviewerform.h"

#include "grid/fieldkind.h"
#include "gridwin/companionlook.h"
#include "gridwin/tbuttonstatusbar.h"
#include "platform/dialogs.h"
#include "platform/errorreport.h"
#include "platform/jpegcodec.h"
#include "platform/longtext.h"
#include "platform/textfile.h"
#include "report/printdialogs.h"
#include "store/datasource.h"
#include "store/error.h"
#include "store/field.h"
#include "store/table.h"
#include "store/tablefiles.h"

#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QTextDocument>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtEndian>

#include <climits>
#include <memory>

namespace kelvara {

namespace {

const QStringList kPictureOpenFilters = {
    QStringLiteral("Bitmap files (*.bmp) (*.bmp)"),
    QStringLiteral("Jpeg files (*.jpg *.jpeg) (*.jpg *.jpeg)"),
    QStringLiteral("All files (*.*) (*)"),
};
const QStringList kPictureSaveFilters = {
    QStringLiteral("Bitmap files (*.bmp) (*.bmp)"),
    QStringLiteral("Jpeg files (*.jpg *.jpeg) (*.jpg *.jpeg)"),
};
const QStringList kTextSaveFilters = {QStringLiteral("Text Documents (*.txt) (*.txt)")};

enum MenuTag { mtNone = 0, mtCut = 1, mtCopy = 2, mtPaste = 3, mtClear = 4 };

// The store's graphic header: a 16-bit count of 1, a 16-bit type of 256 and the 32-bit size of
// what follows, all little-endian.
constexpr int kGraphicHeaderSize = 8;

bool hasGraphicHeader(const QByteArray &bytes)
{
    if (bytes.size() < kGraphicHeaderSize)
        return false;
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    return qFromLittleEndian<quint16>(data) == 1 && qFromLittleEndian<quint16>(data + 2) == 256
        && qint64(qFromLittleEndian<quint32>(data + 4)) == bytes.size() - kGraphicHeaderSize;
}

QByteArray withGraphicHeader(const QByteArray &bytes)
{
    QByteArray header(kGraphicHeaderSize, '\0');
    auto *data = reinterpret_cast<uchar *>(header.data());
    qToLittleEndian<quint16>(1, data);
    qToLittleEndian<quint16>(256, data + 2);
    qToLittleEndian<quint32>(quint32(bytes.size()), data + 4);
    return header + bytes;
}

bool isJpeg(const QByteArray &bytes)
{
    return bytes.size() >= 3 && uchar(bytes.at(0)) == 0xff && uchar(bytes.at(1)) == 0xd8 && uchar(bytes.at(2)) == 0xff;
}

// Decodes a picture's bytes as the picture sheets show it: JPEG through our codec, turned upright
// as its Exif tag says; anything else the toolkit reads. Throws Error when they are no picture.
QImage decodePicture(const QByteArray &bytes)
{
    if (isJpeg(bytes))
        return jpeg::decodeUpright(bytes, jpeg::orientation(bytes));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QImage image = reader.read();
    if (image.isNull())
        throw Error(reader.errorString());
    return image;
}

void writeFileBytes(const QString &fileName, const QByteArray &bytes)
{
    tablefiles::refuse(fileName);
    // Written beside the old file and renamed over it, so a failed write never leaves half a file.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Error(QStringLiteral("Cannot create file %1. %2").arg(fileName, file.errorString()));
}

QString savedMessage(const QString &fileName)
{
    return QFileInfo(fileName).absoluteFilePath() + QStringLiteral(" Saved !");
}

}  // namespace

TFieldViewerForm::TFieldViewerForm(QWidget *owner) : QDialog(owner)
{
    FormCreate();
}

TFieldViewerForm::~TFieldViewerForm() = default;

void TFieldViewerForm::FormCreate()
{
    setObjectName(QStringLiteral("FieldViewerForm"));
    // A sizeable tool window without title-bar buttons: the window closes through its own buttons.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    companionlook::apply(*this);
    resize(400, 400);

    auto *windowLayout = new QVBoxLayout(this);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->setSpacing(0);
    // The area above the bar holds the one content control of the mode, or nothing.
    auto *contentArea = new QWidget(this);
    windowLayout->addWidget(contentArea, 1);
    auto *layout = new QVBoxLayout(contentArea);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Memo1 = new QPlainTextEdit(contentArea);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->installEventFilter(this);
    Memo1->hide();
    layout->addWidget(Memo1, 1);

    RichEdit1 = new QTextEdit(contentArea);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setAcceptRichText(true);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->installEventFilter(this);
    RichEdit1->hide();
    layout->addWidget(RichEdit1, 1);

    ScrollBox1 = new QScrollArea(contentArea);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setBackgroundRole(QPalette::Base);
    // The image fills at least the visible area, so that its menu is reachable with no picture.
    ScrollBox1->setWidgetResizable(true);
    DBImage = new QLabel;
    DBImage->setObjectName(QStringLiteral("DBImage"));
    DBImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    DBImage->setBackgroundRole(QPalette::Base);
    DBImage->setContextMenuPolicy(Qt::CustomContextMenu);
    ScrollBox1->setWidget(DBImage);
    ScrollBox1->hide();
    layout->addWidget(ScrollBox1, 1);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    auto addItem = [this](const char *name, const QString &text, int tag) {
        QAction *action = PopupMenu->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setData(tag);
        return action;
    };
    Open1 = addItem("Open1", QStringLiteral("Open..."), mtNone);
    Save1 = addItem("Save1", QStringLiteral("Save..."), mtNone);
    PopupMenu->addSeparator();
    Cut1 = addItem("Cut1", QStringLiteral("Cut..."), mtCut);
    Copy1 = addItem("Copy1", QStringLiteral("Copy..."), mtCopy);
    Paste1 = addItem("Paste1", QStringLiteral("Paste..."), mtPaste);
    PopupMenu->addSeparator();
    Clear1 = addItem("Clear1", QStringLiteral("Clear..."), mtClear);
    connect(Open1, &QAction::triggered, this, &TFieldViewerForm::FileOpen);
    connect(Save1, &QAction::triggered, this, &TFieldViewerForm::SavebtnClick);
    for (QAction *action : {Cut1, Copy1, Paste1, Clear1})
        connect(action, &QAction::triggered, this, &TFieldViewerForm::MenuClick);
    connect(PopupMenu, &QMenu::aboutToShow, this, &TFieldViewerForm::updateMenu);
    connect(DBImage, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu->popup(DBImage->mapToGlobal(pos)); });

    ButtonStatusBar1 = new TButtonStatusBar(this);
    ButtonStatusBar1->setObjectName(QStringLiteral("ButtonStatusBar1"));
    windowLayout->addWidget(ButtonStatusBar1);
    auto addButton = [this](const char *name, const QString &caption) {
        QPushButton *button = ButtonStatusBar1->addButtonPanel(caption, 65);
        button->setObjectName(QLatin1String(name));
        // Enter belongs to the editors; no button of this window is a default one.
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    };
    Okbtn = addButton("Okbtn", QStringLiteral("&Ok"));
    Cancelbtn = addButton("Cancelbtn", QStringLiteral("&Cancel"));
    SaveAsbtn = addButton("SaveAsbtn", QStringLiteral("&Save As"));
    PrintBtn = addButton("PrintBtn", QStringLiteral("&Print"));
    connect(Okbtn, &QPushButton::clicked, this, &TFieldViewerForm::OkbtnClick);
    connect(Cancelbtn, &QPushButton::clicked, this, &TFieldViewerForm::CancelbtnClick);
    connect(SaveAsbtn, &QPushButton::clicked, this, &TFieldViewerForm::SaveAsbtnClick);
    connect(PrintBtn, &QPushButton::clicked, this, &TFieldViewerForm::PrintBtnClick);
}

void TFieldViewerForm::setCaption(const QString &caption)
{
    m_caption = caption;
}

void TFieldViewerForm::setField(Field *field)
{
    m_field = field;
}

void TFieldViewerForm::setDataSource(DataSource *source)
{
    m_dataSource = source;
}

TFieldViewerForm::Mode TFieldViewerForm::modeFor(const Field &field)
{
    switch (fieldKind(&field)) {
    case FieldKind::MemoLike: return field.dataType() == ftFmtMemo ? vmRichText : vmText;
    case FieldKind::Picture: return vmPicture;
    default: return vmNone;
    }
}

qint64 TFieldViewerForm::kilobytes(qint64 bytes)
{
    // Rounded up, so that a small picture reads 1Kb rather than nothing at all.
    return bytes <= 0 ? 0 : (bytes + 1023) / 1024;
}

void TFieldViewerForm::showEvent(QShowEvent *event)
{
    if (!m_filled) {
        companionlook::centerOnScreen(*this);
        FormActivate();
    }
    QDialog::showEvent(event);
}

void TFieldViewerForm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
    QDialog::changeEvent(event);
}

void TFieldViewerForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        CancelbtnClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFieldViewerForm::eventFilter(QObject *watched, QEvent *event)
{
    // Esc in an editor cancels the window, as it does anywhere else in it.
    if ((watched == Memo1 || watched == RichEdit1) && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            CancelbtnClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFieldViewerForm::FormActivate()
{
    // Filled once: later activations, after a message box or file dialog of this window, keep
    // what the user did.
    if (m_filled)
        return;
    m_filled = true;
    setWindowTitle(m_caption);
    if (!m_field)
        return;
    m_mode = modeFor(*m_field);
    guarded(this, [&] {
        switch (m_mode) {
        case vmText: fillText(); break;
        case vmRichText: fillRichText(); break;
        case vmPicture: fillPicture(); break;
        case vmNone: break;
        }
    });
}

bool TFieldViewerForm::recordSetCanModify() const
{
    const Table *table = m_dataSource && m_dataSource->dataSet() ? m_dataSource->dataSet() : m_field->dataSet();
    return table && table->canModify();
}

void TFieldViewerForm::fillText()
{
    const QString content = m_field->asString();
    putWrapped(*Memo1, content, [&] { Memo1->setPlainText(content); });
    Memo1->setReadOnly(!recordSetCanModify());
    Memo1->show();
    Memo1->setFocus();
}

void TFieldViewerForm::fillRichText()
{
    // Formatted memos are kept as the text of the editor's rich-text (HTML) form; anything else
    // stored there is shown as plain text.
    const QString content = m_field->asString();
    putWrapped(*RichEdit1, content, [&] {
        if (Qt::mightBeRichText(content))
            RichEdit1->setHtml(content);
        else
            RichEdit1->setPlainText(content);
    });
    RichEdit1->document()->setModified(false);
    RichEdit1->setReadOnly(!recordSetCanModify());
    RichEdit1->show();
    RichEdit1->setFocus();
}

void TFieldViewerForm::fillPicture()
{
    SaveAsbtn->parentWidget()->hide();
    PrintBtn->parentWidget()->hide();
    ScrollBox1->show();

    QByteArray bytes = m_field->asBytes();
    if (hasGraphicHeader(bytes))
        bytes.remove(0, kGraphicHeaderSize);
    QImage image;
    try {
        image = decodePicture(bytes);
    } catch (const Error &) {
        // Content that is no picture shows as none; it stays in the field untouched.
        return;
    }
    showPicture(image, bytes);
    try {
        setWindowTitle(m_caption + QStringLiteral(" - Bitmap Image - ")
                       + QString::number(kilobytes(m_field->blobSize())) + QStringLiteral("Kb"));
    } catch (const Error &) {
        setWindowTitle(m_caption + QStringLiteral(" - Bitmap Image"));
    }
}

void TFieldViewerForm::showPicture(const QImage &image, const QByteArray &bytes)
{
    m_picture = image;
    m_pictureBytes = image.isNull() ? QByteArray() : bytes;
    DBImage->setPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image));
}

void TFieldViewerForm::OkbtnClick()
{
    guarded(this, [&] {
        if (m_mode == vmText || m_mode == vmRichText)
            writeText();
        else
            writePicture();
        done(mrYes);
    });
}

void TFieldViewerForm::writeText()
{
    if (!m_dataSource)
        throw Error(QStringLiteral("Datasource Not Assigned"));
    if (!recordSetCanModify())
        return;
    // An untouched formatted memo is left as stored, not rewritten in the editor's own form.
    if (m_mode == vmRichText && !RichEdit1->document()->isModified())
        return;
    m_field->dataSet()->edit();
    m_field->setAsString(m_mode == vmText ? Memo1->toPlainText() : RichEdit1->toHtml());
}

void TFieldViewerForm::writePicture()
{
    Table *table = m_dataSource ? m_dataSource->dataSet() : nullptr;
    if (!table || !m_field || (table->state() != dsEdit && table->state() != dsInsert))
        return;
    // Only a picture the user replaced is written: the stored bytes are the original photograph,
    // which a decode and encode would only make worse.
    if (!m_pictureChanged)
        return;
    Field *target = table->fieldByName(m_field->fieldName());
    if (m_picture.isNull()) {
        target->clear();
        return;
    }
    // The picture sheets show JPEG only: a picture from anywhere else is stored as one.
    QByteArray bytes = isJpeg(m_pictureBytes) ? m_pictureBytes : jpeg::encode(m_picture);
    if (target->dataType() == ftTypedBinary)
        bytes = withGraphicHeader(bytes);
    target->setAsBytes(bytes);
}

void TFieldViewerForm::CancelbtnClick()
{
    done(mrCancel);
}

void TFieldViewerForm::reject()
{
    CancelbtnClick();
}

void TFieldViewerForm::SaveAsbtnClick()
{
    guarded(this, [&] {
        const QString fileName
            = dialogs().saveFileName(this, QStringLiteral("Save Text As"), QString(), kTextSaveFilters);
        if (fileName.isEmpty())
            return;
        const QString text = m_mode == vmText ? Memo1->toPlainText() : RichEdit1->toPlainText();
        writeLines(fileName, splitLines(text));
        dialogs().information(this, savedMessage(fileName));
    });
}

void TFieldViewerForm::PrintBtnClick()
{
    guarded(this, [&] {
        QPrinter printer;
        printer.setDocName(m_caption);
        if (!printDialogs().print(this, printer))
            return;
        if (m_mode == vmText) {
            printPlainText(printer);
            return;
        }
        printer.setFullPage(true);
        RichEdit1->document()->print(&printer);
        if (printer.printerState() == QPrinter::Error)
            throw Error(QStringLiteral("Error Printing Text."));
    });
}

void TFieldViewerForm::printPlainText(QPrinter &printer)
{
    const QStringList lines = splitLines(Memo1->toPlainText());
    QPainter painter;
    if (!painter.begin(&printer)) {
        dialogs().error(this, QStringLiteral("Error Printing Text."));
        return;
    }
    painter.setFont(QFont(QFont(Memo1->font().family(), 10), &printer));
    const QFontMetrics metrics = painter.fontMetrics();
    const int pageWidth = printer.width();
    const int pageHeight = printer.height();
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs;
    int y = 0;
    for (const QString &line : lines) {
        // A line wider than the paper goes on over the next printed rows rather than being cut.
        const QRect bounds = metrics.boundingRect(QRect(0, 0, pageWidth, INT_MAX / 2), flags, line);
        const int height = qMax(bounds.height(), metrics.lineSpacing());
        if (y > 0 && y + height > pageHeight) {
            printer.newPage();
            y = 0;
        }
        painter.drawText(QRect(0, y, pageWidth, height), flags, line);
        y += height;
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error)
        dialogs().error(this, QStringLiteral("Error Printing Text."));
}

void TFieldViewerForm::FileOpen()
{
    guarded(this, [&] {
        const QString fileName
            = dialogs().openFileName(this, QStringLiteral("Load Picture File"), QString(), kPictureOpenFilters);
        if (fileName.isEmpty())
            return;
        const QByteArray bytes = readFileBytes(fileName);
        QImage image;
        try {
            image = decodePicture(bytes);
        } catch (const Error &error) {
            throw Error(QStringLiteral("Cannot load picture file %1. %2").arg(fileName, error.message()));
        }
        showPicture(image, bytes);
        m_pictureChanged = true;
    });
}

void TFieldViewerForm::SavebtnClick()
{
    guarded(this, [&] {
        // With no picture there is nothing to write, and nothing to claim.
        if (m_picture.isNull())
            return;
        const QString fileName
            = dialogs().saveFileName(this, QStringLiteral("Save Bitmap As"), QString(), kPictureSaveFilters);
        if (fileName.isEmpty())
            return;
        QByteArray bytes = m_pictureBytes;
        if (bytes.isEmpty()) {
            // A pasted picture has no format of its own: the name's extension chooses, bitmap else.
            QByteArray format = QFileInfo(fileName).suffix().toLower().toLatin1();
            if (format == "jpg" || format == "jpeg") {
                bytes = jpeg::encode(m_picture);
            } else {
                if (!QImageWriter::supportedImageFormats().contains(format))
                    format = "bmp";
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::WriteOnly);
                QImageWriter writer(&buffer, format);
                if (!writer.write(m_picture))
                    throw Error(QStringLiteral("Cannot create file %1. %2").arg(fileName, writer.errorString()));
            }
        }
        writeFileBytes(fileName, bytes);
        dialogs().information(this, savedMessage(fileName));
    });
}

void TFieldViewerForm::MenuClick()
{
    const auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    guarded(this, [&] {
        QClipboard *clipboard = QGuiApplication::clipboard();
        switch (action->data().toInt()) {
        case mtCut:
            if (m_picture.isNull())
                return;
            clipboard->setImage(m_picture);
            showPicture(QImage(), QByteArray());
            m_pictureChanged = true;
            break;
        case mtCopy:
            if (!m_picture.isNull())
                clipboard->setImage(m_picture);
            break;
        case mtPaste: {
            const QImage image = clipboard->image();
            if (image.isNull())
                return;
            showPicture(image, QByteArray());
            m_pictureChanged = true;
            break;
        }
        case mtClear:
            showPicture(QImage(), QByteArray());
            m_pictureChanged = true;
            break;
        default: break;
        }
    });
}

void TFieldViewerForm::updateMenu()
{
    const bool hasPicture = !m_picture.isNull();
    Save1->setEnabled(hasPicture);
    Cut1->setEnabled(hasPicture);
    Copy1->setEnabled(hasPicture);
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    Paste1->setEnabled(data && data->hasImage());
}

void showFieldViewer(QWidget *owner, DataSource *source, Field &field, const QString &caption)
{
    auto form = std::make_unique<TFieldViewerForm>(owner);
    form->setCaption(caption);
    form->setField(&field);
    form->setDataSource(source);
    dialogs().exec(*form);
}

}  // namespace kelvara
