// Times what a picture sheet costs: a full-size decode of a 12-megapixel camera JPEG (the
// baseline), the view's first show at 640 x 480 stretched without and with the photo's stored
// preview, the show again after a data change, which must find the picture already decoded,
// a thumbnail drawn into a grid cell from the store, and loading the photo (check, renditions,
// store, show). A first show reads the picture as a user meets it: through a table opened anew,
// not from SQLite's page cache of an earlier read.

#include "dbctrls/photopictures.h"
#include "dbctrls/pictureview.h"
#include "platform/jpegcodec.h"
#include "platform/photorenditions.h"
#include "store/datasource.h"
#include "store/field.h"
#include "store/kelvaratable.h"
#include "store/table.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

using namespace kelvara;

namespace {

// Smooth light and colour gradients with sensor-like noise, so the file is as large and as
// hard to decode as a camera's.
QByteArray cameraLikeJpeg(const QSize &size, int noise)
{
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        QLinearGradient sky(0, 0, 0, size.height());
        sky.setColorAt(0, QColor(120, 170, 230));
        sky.setColorAt(0.55, QColor(240, 220, 180));
        sky.setColorAt(1, QColor(70, 110, 40));
        painter.fillRect(image.rect(), sky);
        QRadialGradient hive(size.width() * 0.4, size.height() * 0.6, size.height() * 0.35);
        hive.setColorAt(0, QColor(200, 150, 40));
        hive.setColorAt(1, QColor(200, 150, 40, 0));
        painter.fillRect(image.rect(), hive);
    }
    QRandomGenerator random(4711);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(random.bounded(quint32(2 * noise + 1))) - noise;
            const QRgb p = line[x];
            line[x] = qRgb(qBound(0, qRed(p) + n, 255), qBound(0, qGreen(p) + n, 255), qBound(0, qBlue(p) + n, 255));
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

// Median of runs, in milliseconds; prepare, when given, runs untimed before each run.
double medianMs(int runs, const std::function<void()> &work, const std::function<void()> &prepare = {})
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

void measure(const char *label, int noise)
{
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QSize pictureSize(4000, 3000);
    const QByteArray jpeg = cameraLikeJpeg(pictureSize, noise);
    std::printf("\n%s: %d x %d, noise +-%d, %.2f MB JPEG at quality 90\n", label, pictureSize.width(),
                pictureSize.height(), noise, double(jpeg.size()) / (1024.0 * 1024.0));

    // Stored first without renditions, as by a program that kept none.
    installRenditionMaker(RenditionMaker());
    {
        Table table;
        table.setTableName(QStringLiteral("kelvara"));
        createKelvaraTable(table);
        table.open();
        table.append();
        table.fieldByName(QStringLiteral("pic1"))->setAsBytes(jpeg);
        table.post();
        table.close();
    }

    const double fullDecode = medianMs(5, [&] {
        const QImage image = jpeg::decode(jpeg);
        if (image.size() != pictureSize)
            qFatal("full decode gave the wrong size");
    });

    // Each timed read goes through a table opened just before (untimed), so the bytes come
    // through a new connection whose page cache holds none of them, as after starting the
    // program. The previous table is closed first; the file itself may stay in the system's
    // cache, as it would for a user who opened it a moment ago.
    std::unique_ptr<Table> fresh;
    const Field *freshPic1 = nullptr;
    const auto openFresh = [&] {
        fresh.reset();
        fresh = std::make_unique<Table>();
        fresh->setTableName(QStringLiteral("kelvara"));
        fresh->open();
        fresh->first();
        freshPic1 = fresh->fieldByName(QStringLiteral("pic1"));
    };

    // The parts of a first show, one by one.
    const double readBytes = medianMs(
        5, [&] { freshPic1->asBytes(); }, openFresh);
    const double scaledDecode = medianMs(5, [&] { jpeg::decode(jpeg, QSize(640, 480)); });

    // A new view each time, as for a record not shown before: read the bytes from the store,
    // decode for 640 x 480, draw.
    QSize decodedSize;
    const double firstShow = medianMs(
        5,
        [&] {
            PictureView view;
            view.resize(640, 480);
            view.showField(*freshPic1);
            view.grab();
            decodedSize = view.decodedImage().size();
        },
        openFresh);
    fresh.reset();

    // Loading the photo again as Load... does, now with renditions made: the check decode for
    // the view, the save with its preview and thumbnail in the same transaction, the show.
    installPhotoRenditions();
    const double load = medianMs(5, [&] {
        Table table;
        table.setTableName(QStringLiteral("kelvara"));
        table.open();
        table.first();
        PictureView view;
        view.resize(640, 480);
        PictureView::Decoded picture = view.decodeForView(jpeg);
        table.edit();
        Field *pic1 = table.fieldByName(QStringLiteral("pic1"));
        pic1->setAsBytes(picture.bytes);
        table.post();
        view.showDecoded(PictureView::keyOf(*pic1), std::move(picture));
        view.grab();
    });
    const double renditionsAlone = medianMs(5, [&] { makePhotoRenditions(jpeg); });

    QSize previewShown;
    bool fromPreview = false;
    const double previewShow = medianMs(
        5,
        [&] {
            PictureView view;
            view.resize(640, 480);
            view.showField(*freshPic1);
            view.grab();
            previewShown = view.decodedImage().size();
            fromPreview = view.showsPreview();
        },
        openFresh);

    // The preview's own decode for the sheet, in the same run: at the DCT scale that covers
    // 640 x 480, as the view does, and whole then scaled down, as it did before.
    const std::optional<Rendition> preview = fresh->rendition(freshPic1, RenditionKind::Preview);
    if (!preview)
        qFatal("no preview stored");
    const double previewScaledDecode
        = medianMs(9, [&] { jpeg::decodeRendition(preview->data, preview->size, QSize(640, 480)); });
    const double previewWholeDecode = medianMs(9, [&] {
        const QImage scaled
            = jpeg::decode(preview->data).scaled(QSize(640, 480), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (scaled.size() != QSize(640, 480))
            qFatal("the preview did not scale");
    });

    // A grid cell of 64 x 48: the thumbnail read from the store (the memory cache emptied
    // before each run), fitted with its aspect kept and centred.
    openFresh();
    QImage cell(64, 48, QImage::Format_RGB32);
    QSize thumbnailSize;
    const double thumbnail = medianMs(
        101,
        [&] {
            const PhotoPicture picture = fieldPicture(*freshPic1, cell.size());
            thumbnailSize = picture.image.size();
            QSize fitted = picture.image.size().scaled(cell.size(), Qt::KeepAspectRatio);
            QPainter painter(&cell);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.fillRect(cell.rect(), Qt::white);
            painter.drawImage(
                QRect(QPoint((cell.width() - fitted.width()) / 2, (cell.height() - fitted.height()) / 2), fitted),
                picture.image);
        },
        [] { clearPictureCache(); });
    const int rebuilds = fresh->renditionRebuilds();
    fresh.reset();

    Table table;
    table.setTableName(QStringLiteral("kelvara"));
    table.open();
    table.first();
    table.edit();
    DataSource source;
    source.setDataSet(&table);
    const Field &pic1 = *table.fieldByName(QStringLiteral("pic1"));
    Field &comment1 = *table.fieldByName(QStringLiteral("comment1"));

    PictureView view;
    view.resize(640, 480);
    view.showField(pic1);
    view.grab();
    int round = 0;
    const double reshow = medianMs(201, [&] {
        comment1.setText(QStringLiteral("comment %1").arg(++round));  // the data change
        view.showField(pic1);
    });
    const double reshowAndPaint = medianMs(201, [&] {
        comment1.setText(QStringLiteral("comment %1").arg(++round));
        view.showField(pic1);
        view.grab();
    });
    table.close();
    QDir::setCurrent(QDir::tempPath());

    std::printf("  full-size decode (baseline):              %8.2f ms\n", fullDecode);
    std::printf("  first show at 640 x 480, stretched:       %8.2f ms  (decoded at %d x %d)\n", firstShow,
                decodedSize.width(), decodedSize.height());
    std::printf("    of which reading the bytes from the store %6.2f ms, the scaled decode %6.2f ms\n", readBytes,
                scaledDecode);
    std::printf("  show again after a data change:           %8.3f ms\n", reshow);
    std::printf("  show again after a data change + repaint: %8.3f ms\n", reshowAndPaint);
    std::printf("  first show / full decode = %.2f (target <= 0.50): %s\n", firstShow / fullDecode,
                firstShow <= 0.5 * fullDecode ? "met" : "MISSED");
    std::printf("  first show from the stored preview:       %8.2f ms  (%s, %d x %d)\n", previewShow,
                fromPreview ? "drawn from the preview" : "NOT from the preview", previewShown.width(),
                previewShown.height());
    std::printf("  first show with preview / full decode = %.3f (target <= 0.05): %s\n", previewShow / fullDecode,
                previewShow <= 0.05 * fullDecode ? "met" : "MISSED");
    std::printf("    the %d x %d preview (%.0f KB) decoded at the scale that covers 640 x 480 %6.2f ms, "
                "whole and scaled %6.2f ms\n",
                preview->size.width(), preview->size.height(), double(preview->data.size()) / 1024.0,
                previewScaledDecode, previewWholeDecode);
    std::printf("  thumbnail into a 64 x 48 cell from the store: %6.3f ms median (thumbnail %d x %d, "
                "target <= 1 ms): %s\n",
                thumbnail, thumbnailSize.width(), thumbnailSize.height(), thumbnail <= 1.0 ? "met" : "MISSED");
    std::printf("  load (check, renditions, save, show):     %8.2f ms, of which making the renditions %6.2f ms\n", load,
                renditionsAlone);
    std::printf("  load / full decode = %.2f (target <= 3.00): %s\n", load / fullDecode,
                load <= 3.0 * fullDecode ? "met" : "MISSED");
    std::printf("  renditions made at show time: %d (0: every show found them stored)\n", rebuilds);
    std::printf("  scaled decode alone / full decode = %.2f\n", scaledDecode / fullDecode);
    std::printf("  show again = %.3f ms (target <= 1 ms): %s; with repaint %.3f ms = %.4f x the full decode\n", reshow,
                reshow <= 1.0 ? "met" : "MISSED", reshowAndPaint, reshowAndPaint / fullDecode);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    measure("camera-like picture, grainy", 12);
    measure("camera-like picture, clean", 4);
    return 0;
}
