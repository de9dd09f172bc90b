// Times the job sheet of a job with five camera photos written as a PDF file (laying out the
// sheet and writing the file, photos and fonts included) against one full-size decode of the
// same five photos with the JPEG codec (libjpeg-turbo), measured in the same run. The PDF takes
// the photos' bytes as they are stored, so it should cost a small part of decoding them.

#include "benchfigures.h"
#include "platform/jpegcodec.h"
#include "report/jobsheet.h"
#include "report/printpreview.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <vector>

using namespace kelvara;

namespace {

// Light and colour gradients with sensor-like noise, so that the file is as large and as hard
// to decode as a camera's; each photo another light.
QByteArray cameraLikeJpeg(const QSize &size, int seed)
{
    QImage image(size, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        QLinearGradient light(0, 0, size.width(), size.height());
        light.setColorAt(0, QColor(110 + 20 * seed, 160, 220));
        light.setColorAt(0.6, QColor(235, 215, 170 - 10 * seed));
        light.setColorAt(1, QColor(60, 100 + 10 * seed, 40));
        painter.fillRect(image.rect(), light);
    }
    QRandomGenerator random(quint32(1000 + seed));
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(random.bounded(25u)) - 12;
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

double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return bench::median(times);
}

bool readArguments(const QStringList &args, int &width, int &runs)
{
    for (qsizetype i = 1; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == QLatin1String("--width") && i + 1 < args.size())
            width = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = args[++i].toInt(&ok);
        if (!ok || width < 8 || runs < 1) {
            std::fprintf(stderr,
                         "usage: bench_jobsheet [--width PIXELS] [--runs N]\n"
                         "  the photos are PIXELS wide, 3/4 as high (default 4000: 12 megapixels)\n");
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int width = 4000;
    int runs = 5;
    if (!readArguments(app.arguments(), width, runs))
        return 2;
    const QSize size(width, width * 3 / 4);

    JobSheet::Job job;
    job.title = QStringLiteral("Job Sheet 14/06/2026 Ingrid Haugen");
    job.groups = {{QString(),
                   {{QStringLiteral("Date"), QStringLiteral("14/06/2026")},
                    {QStringLiteral("First Name"), QStringLiteral("Ingrid")},
                    {QStringLiteral("Last name"), QStringLiteral("Haugen")},
                    {QStringLiteral("City"), QStringLiteral("Voss")}}},
                  {QStringLiteral("Where to pick up"), {{QStringLiteral("Street 1"), QStringLiteral("Bryggen 7")}}}};
    job.notesLabel = QStringLiteral("Notes");
    job.notes = QStringLiteral("A large swarm in the apple tree, taken with a box and a sheet. ").repeated(6);
    job.photosLabel = QStringLiteral("Photos");
    qint64 bytes = 0;
    for (int i = 0; i < 5; ++i) {
        job.photos.push_back({cameraLikeJpeg(size, i), QStringLiteral("Photo %1 of the swarm").arg(i + 1)});
        bytes += job.photos.back().bytes.size();
    }
    std::printf("five photos of %d x %d, %.1f MB of JPEG in all, %d runs each (medians)\n", size.width(), size.height(),
                double(bytes) / (1024.0 * 1024.0), runs);

    const double decode = medianMs(runs, [&] {
        for (const JobSheet::Photo &photo : job.photos)
            jpeg::decode(photo.bytes);
    });
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sheet.pdf"));
    const double sheet = medianMs(runs, [&] {
        JobSheet document(job);
        writePdfFile(document, file);
    });
    std::printf("full decode of the five photos: %.1f ms\n", decode);
    std::printf("job sheet PDF (layout and file, %.1f MB): %.1f ms\n",
                double(QFileInfo(file).size()) / (1024.0 * 1024.0), sheet);
    std::printf("job sheet PDF / full decode = %.3f\n", sheet / decode);
    return 0;
}
