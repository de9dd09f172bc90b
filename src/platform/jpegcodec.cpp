#include "jpegcodec.h"

#include "error.h"

#include <QSysInfo>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace kelvara::jpeg {

namespace {

// libjpeg reports failures through this manager; it leaves the decoder with a longjmp, so
// no C++ exception ever unwinds through libjpeg's C frames.
struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
};

[[noreturn]] void leaveDecoder(j_common_ptr cinfo)
{
    auto *manager = reinterpret_cast<ErrorManager *>(cinfo->err);
    manager->code = cinfo->err->msg_code;
    std::longjmp(manager->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level)
{
    // Level -1 is a warning about damaged data (a cut-off file, a corrupt segment), after
    // which libjpeg would go on and fill the rest with grey: treat it as the error it is.
    if (level < 0)
        leaveDecoder(cinfo);
}

enum class Outcome { Done, TooLarge, NoMemory };

struct Job
{
    const unsigned char *data = nullptr;
    unsigned long size = 0;
    QSize cover;
    bool headerOnly = false;
    QImage *image = nullptr;     // lives in the caller's frame, never in the one that setjmps
    QSize declared;
    Outcome outcome = Outcome::Done;
    int code = 0;
};

int scaleNumerator(const QSize &image, const QSize &cover)
{
    if (cover.width() <= 0 || cover.height() <= 0)
        return 8;
    for (int n = 1; n < 8; ++n) {
        const qint64 w = (qint64(image.width()) * n + 7) / 8;
        const qint64 h = (qint64(image.height()) * n + 7) / 8;
        if (w >= cover.width() && h >= cover.height())
            return n;
    }
    return 8;
}

// Adobe writers store CMYK inverted (0 = full ink); others store it plainly.
void cmykToRgb32(const JSAMPLE *in, uchar *out, JDIMENSION width, bool inverted)
{
    auto *pixels = reinterpret_cast<QRgb *>(out);
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        int c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        pixels[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// Everything that may leave through the error manager. Only trivially destructible locals
// here: a longjmp skips this frame.
void runDecoder(jpeg_decompress_struct &cinfo, Job &job)
{
    jpeg_mem_src(&cinfo, job.data, job.size);
    jpeg_read_header(&cinfo, TRUE);
    job.declared = QSize(int(cinfo.image_width), int(cinfo.image_height));
    if (job.headerOnly)
        return;
    if (qint64(cinfo.image_width) * qint64(cinfo.image_height) > maxPixels) {
        job.outcome = Outcome::TooLarge;
        return;
    }

    cinfo.scale_num = JDIMENSION(scaleNumerator(job.declared, job.cover));
    cinfo.scale_denom = 8;
    bool cmyk = false;
    QImage::Format format = QImage::Format_RGB32;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        cmyk = true;
        break;
    default:
        // Written straight into QImage's 0xAARRGGBB words; libjpeg sets the alpha byte to 0xFF.
        cinfo.out_color_space = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA
                                                                              : JCS_EXT_ARGB;
        break;
    }

    jpeg_start_decompress(&cinfo);
    *job.image = QImage(int(cinfo.output_width), int(cinfo.output_height), format);
    if (job.image->isNull()) {
        jpeg_abort_decompress(&cinfo);
        job.outcome = Outcome::NoMemory;
        return;
    }
    // Freed by jpeg_destroy_decompress, also after an error.
    JSAMPARRAY cmykRow = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                            JPOOL_IMAGE, cinfo.output_width * 4, 1)
                              : nullptr;
    while (cinfo.output_scanline < cinfo.output_height) {
        uchar *line = job.image->scanLine(int(cinfo.output_scanline));
        JSAMPROW row = cmyk ? cmykRow[0] : line;
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (cmyk)
            cmykToRgb32(cmykRow[0], line, cinfo.output_width, cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&cinfo);
}

// False when libjpeg failed; job.code then holds its message number.
bool run(Job &job)
{
    jpeg_decompress_struct cinfo;
    ErrorManager manager;
    cinfo.err = jpeg_std_error(&manager.pub);
    manager.pub.error_exit = leaveDecoder;
    manager.pub.emit_message = onMessage;
    manager.code = 0;
    if (setjmp(manager.jump)) {
        jpeg_destroy_decompress(&cinfo);
        job.code = manager.code;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    runDecoder(cinfo, job);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

Job makeJob(const QByteArray &bytes)
{
    Job job;
    job.data = reinterpret_cast<const unsigned char *>(bytes.constData());
    job.size = static_cast<unsigned long>(bytes.size());
    return job;
}

[[noreturn]] void fail(const Job &job)
{
    throw Error(QStringLiteral("JPEG error #%1").arg(job.code));
}

} // namespace

QSize imageSize(const QByteArray &bytes)
{
    Job job = makeJob(bytes);
    job.headerOnly = true;
    if (!run(job))
        fail(job);
    return job.declared;
}

QSize scaledSize(const QSize &imageSize, const QSize &cover)
{
    const int n = scaleNumerator(imageSize, cover);
    return QSize(int((qint64(imageSize.width()) * n + 7) / 8), int((qint64(imageSize.height()) * n + 7) / 8));
}

QImage decode(const QByteArray &bytes, const QSize &cover)
{
    QImage image;
    Job job = makeJob(bytes);
    job.cover = cover;
    job.image = &image;
    if (!run(job))
        fail(job);
    switch (job.outcome) {
    case Outcome::TooLarge:
        throw Error(QStringLiteral("The picture is too large to show: %1 x %2 pixels (the limit is %3 megapixels)")
                        .arg(job.declared.width())
                        .arg(job.declared.height())
                        .arg(maxPixels / 1'000'000));
    case Outcome::NoMemory:
        throw Error(QStringLiteral("Not enough memory to show a picture of %1 x %2 pixels")
                        .arg(job.declared.width())
                        .arg(job.declared.height()));
    case Outcome::Done:
        break;
    }
    return image;
}

} // namespace kelvara::jpeg
