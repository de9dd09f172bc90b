#include "platform/jpegcodec.h"

#include "store/error.h"

#include <QBuffer>
#include <QImageReader>
#include <QSysInfo>
#include <QTransform>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace kelvara::jpeg {

namespace {

enum class Outcome {
    Done,
    TooLarge,
    NoMemory,
    TooManyScans,
    TooLittleData,
    TooLittleDataForScans,
    NotTheSizeAsked,
    TooManyPasses
};

// libjpeg reports failures through this manager; it leaves the decoder with a longjmp, so
// no C++ exception ever unwinds through libjpeg's C frames.
struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
    Outcome stop;  // set when we, not libjpeg, end the decode
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

// Each scan is a pass over the blocks of its components, and arithmetic coding lets a scan of
// a blank area cost almost no data, so a short file of many scans could keep the decoder busy
// for minutes. Two bounds: maxScans, and as many blocks decoded over all scans as 16 times the
// bits of compressed data. At the least data a picture may have (one bit per block, below)
// that still allows 16 passes over the whole picture; libjpeg's own progressive script makes
// about 5.3 (10 scans, most of them of one component). Real pictures carry far more data: a
// grainy photograph about 60 bits per block, which pays for 960 passes, and even a blank one
// saved by Qt 5.4, which pays for 86.
constexpr qint64 blocksPerBit = 16;

struct ScanMonitor
{
    jpeg_progress_mgr pub{};
    int scan = 0;
    qint64 blocks = 0;         // of all scans begun
    qint64 maxBlocks = 0;      // none while only the header is read
    qint64 maxPassBlocks = 0;  // none but for a kept copy
};

// libjpeg calls this before each row of compressed data while jpeg_start_decompress gathers
// the scans of a multi-scan file, and on each jpeg_read_scanlines; input_scan_number counts
// the scans begun, whose header has been read.
void checkScans(j_common_ptr common)
{
    auto *cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto *monitor = reinterpret_cast<ScanMonitor *>(cinfo->progress);
    if (cinfo->input_scan_number == monitor->scan)
        return;
    monitor->scan = cinfo->input_scan_number;
    for (int c = 0; c < cinfo->comps_in_scan; ++c) {
        const jpeg_component_info *component = cinfo->cur_comp_info[c];
        monitor->blocks += qint64(component->width_in_blocks) * qint64(component->height_in_blocks);
    }
    Outcome stop = Outcome::Done;
    if (monitor->scan > maxScans)
        stop = Outcome::TooManyScans;
    else if (monitor->maxBlocks > 0 && monitor->blocks > monitor->maxBlocks)
        stop = Outcome::TooLittleDataForScans;
    else if (monitor->maxPassBlocks > 0 && monitor->blocks > monitor->maxPassBlocks)
        stop = Outcome::TooManyPasses;
    if (stop != Outcome::Done) {
        auto *manager = reinterpret_cast<ErrorManager *>(common->err);
        manager->stop = stop;
        std::longjmp(manager->jump, 1);
    }
}

// Compressed bytes a picture of these blocks must have at least: one bit per 8 x 8 block of
// every component. With Huffman coding no file can have less (every block costs at least one
// code of one bit; a shorter file runs out of data, which libjpeg reports). Arithmetic coding
// can squeeze a blank area to almost nothing, and that is how a file of some kilobytes claims
// a hundred megapixels; but a photograph stays far above the bound (sensor noise keeps the
// blocks apart): a grainy 12-megapixel one takes about 60 bits per block, and even a blank
// white one saved by Qt at quality 75 takes 5.4 (2.0 with optimised Huffman tables). Only a
// near-blank arithmetic-coded picture, which no camera writes, is refused for it.
qint64 blocksOf(const jpeg_decompress_struct &cinfo)
{
    qint64 blocks = 0;
    for (int c = 0; c < cinfo.num_components; ++c)
        blocks += qint64(cinfo.comp_info[c].width_in_blocks) * qint64(cinfo.comp_info[c].height_in_blocks);
    return blocks;
}

qint64 leastDataBytes(const jpeg_decompress_struct &cinfo)
{
    return (blocksOf(cinfo) + 7) / 8;
}

struct Job
{
    const unsigned char *data = nullptr;
    unsigned long size = 0;
    QSize cover;
    QSize asked;  // the size a kept copy must declare; none for a photo
    bool headerOnly = false;
    QImage *image = nullptr;  // lives in the caller's frame, never in the one that setjmps
    QSize declared;
    qint64 dataBytes = 0;  // compressed bytes from the first scan on
    qint64 leastBytes = 0;
    ScanMonitor monitor;
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
    if (job.asked.isValid() && job.declared != job.asked) {
        job.outcome = Outcome::NotTheSizeAsked;
        return;
    }
    // Metadata (Exif, thumbnails) comes before the first scan header and is not counted.
    job.dataBytes = qint64(cinfo.src->bytes_in_buffer);
    job.leastBytes = leastDataBytes(cinfo);
    if (job.dataBytes < job.leastBytes) {
        job.outcome = Outcome::TooLittleData;
        return;
    }
    job.monitor.maxBlocks = job.dataBytes * 8 * blocksPerBit;
    if (job.asked.isValid())
        job.monitor.maxPassBlocks = blocksOf(cinfo) * renditionMaxPasses;

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
        cinfo.out_color_space = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB;
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
    JSAMPARRAY cmykRow = cmyk
        ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, cinfo.output_width * 4, 1)
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

// False when libjpeg failed; job.code then holds its message number. True when the decode
// ran, or was stopped by a bound of ours (job.outcome says which).
bool run(Job &job)
{
    jpeg_decompress_struct cinfo;
    ErrorManager manager;
    cinfo.err = jpeg_std_error(&manager.pub);
    manager.pub.error_exit = leaveDecoder;
    manager.pub.emit_message = onMessage;
    manager.code = 0;
    manager.stop = Outcome::Done;
    job.monitor.pub.progress_monitor = checkScans;
    if (setjmp(manager.jump)) {
        jpeg_destroy_decompress(&cinfo);
        job.code = manager.code;
        job.outcome = manager.stop;
        return manager.stop != Outcome::Done;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &job.monitor.pub;
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

}  // namespace

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

namespace {

QImage decodeJob(Job &job)
{
    QImage image;
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
    case Outcome::TooManyScans:
        throw Error(QStringLiteral("The picture is stored in too many scans to show: more than %1 "
                                   "(a photograph has about 10)")
                        .arg(maxScans));
    case Outcome::TooLittleData:
        throw Error(QStringLiteral("The picture's data is too short for its size: %1 bytes for %2 x %3 pixels "
                                   "(at least %4 needed)")
                        .arg(job.dataBytes)
                        .arg(job.declared.width())
                        .arg(job.declared.height())
                        .arg(job.leastBytes));
    case Outcome::TooLittleDataForScans:
        throw Error(QStringLiteral("The picture's data is too short for its scans: %1 bytes for %2 x %3 pixels "
                                   "in %4 scans or more")
                        .arg(job.dataBytes)
                        .arg(job.declared.width())
                        .arg(job.declared.height())
                        .arg(job.monitor.scan));
    case Outcome::NotTheSizeAsked:
        throw Error(QStringLiteral("The kept copy declares %1 x %2 pixels instead of %3 x %4")
                        .arg(job.declared.width())
                        .arg(job.declared.height())
                        .arg(job.asked.width())
                        .arg(job.asked.height()));
    case Outcome::TooManyPasses:
        throw Error(QStringLiteral("The kept copy of %1 x %2 pixels is stored in more than %3 passes over its "
                                   "blocks (scan %4)")
                        .arg(job.declared.width())
                        .arg(job.declared.height())
                        .arg(renditionMaxPasses)
                        .arg(job.monitor.scan));
    case Outcome::Done: break;
    }
    return image;
}

}  // namespace

QImage decode(const QByteArray &bytes, const QSize &cover)
{
    Job job = makeJob(bytes);
    job.cover = cover;
    return decodeJob(job);
}

QImage decodeRendition(const QByteArray &bytes, const QSize &size, const QSize &cover)
{
    if (size.isEmpty())
        throw Error(QStringLiteral("The kept copy has no size"));
    // Tables and markers take some hundred bytes; what exceeds the raw pixels is no copy
    // made to be small, and reading its header would not make it cheaper to refuse.
    const qint64 most = 4096 + 3 * qint64(size.width()) * qint64(size.height());
    if (bytes.size() > most)
        throw Error(QStringLiteral("The kept copy of %1 x %2 pixels takes %3 bytes, more than the %4 its pixels "
                                   "and tables may take")
                        .arg(size.width())
                        .arg(size.height())
                        .arg(bytes.size())
                        .arg(most));
    Job job = makeJob(bytes);
    job.cover = cover;
    job.asked = size;
    return decodeJob(job);
}

Markers readMarkers(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    const auto broken = [](const char *why) {
        return Error(QStringLiteral("The picture is no complete JPEG file: %1").arg(QLatin1String(why)));
    };
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        throw broken("it does not begin as one");
    struct Component
    {
        int id = 0;
        qint64 blocks = 0;
    };
    std::vector<Component> components;
    Markers markers;
    bool frame = false;
    qint64 dataBytes = 0;
    qint64 scanBlocks = 0;
    qsizetype at = 2;
    while (true) {
        if (at >= size)
            throw broken("it is cut off");
        if (data[at] != 0xFF)
            throw broken("a marker is damaged");
        while (at < size && data[at] == 0xFF)  // fill bytes before a marker
            ++at;
        if (at >= size)
            throw broken("it is cut off");
        const uchar marker = data[at++];
        if (marker == 0xD9)
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;  // markers without a segment
        if (marker == 0x00 || marker == 0xD8)
            throw broken("a marker is damaged");
        if (at + 2 > size)
            throw broken("it is cut off");
        const int length = (data[at] << 8) | data[at + 1];
        if (length < 2 || at + length > size)
            throw broken("it is cut off");
        const uchar *segment = data + at + 2;
        const int segmentLength = length - 2;
        at += length;
        const bool startOfFrame
            = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (frame || segmentLength < 6)
                throw broken("its frame header is damaged");
            const int count = segment[5];
            if (count == 0 || segmentLength < 6 + 3 * count)
                throw broken("its frame header is damaged");
            markers.precision = segment[0];
            markers.size = QSize((segment[3] << 8) | segment[4], (segment[1] << 8) | segment[2]);
            markers.components = count;
            markers.frameType = marker - 0xC0;
            // A height of 0 is given later in a DNL segment, which no camera writes.
            if (markers.size.isEmpty())
                throw broken("it declares no size");
            if (qint64(markers.size.width()) * markers.size.height() > maxPixels)
                throw Error(
                    QStringLiteral("The picture is too large to show: %1 x %2 pixels (the limit is %3 megapixels)")
                        .arg(markers.size.width())
                        .arg(markers.size.height())
                        .arg(maxPixels / 1'000'000));
            int maxH = 1, maxV = 1;
            for (int c = 0; c < count; ++c) {
                maxH = std::max(maxH, segment[7 + 3 * c] >> 4);
                maxV = std::max(maxV, segment[7 + 3 * c] & 0xF);
            }
            for (int c = 0; c < count; ++c) {
                const int h = std::max(1, segment[7 + 3 * c] >> 4), v = std::max(1, segment[7 + 3 * c] & 0xF);
                const qint64 wide = (qint64(markers.size.width()) * h + 8 * maxH - 1) / (8 * maxH);
                const qint64 high = (qint64(markers.size.height()) * v + 8 * maxV - 1) / (8 * maxV);
                components.push_back(Component{segment[6 + 3 * c], wide * high});
            }
            frame = true;
        } else if (marker == 0xDA) {
            if (!frame || segmentLength < 1 || segmentLength < 1 + 2 * segment[0])
                throw broken("a scan header is damaged");
            if (++markers.scans > maxScans)
                throw Error(QStringLiteral("The picture is stored in too many scans to show: more than %1 "
                                           "(a photograph has about 10)")
                                .arg(maxScans));
            for (int c = 0; c < segment[0]; ++c) {
                for (const Component &component : components) {
                    if (component.id == segment[1 + 2 * c])
                        scanBlocks += component.blocks;
                }
            }
            // The compressed data runs to the next marker other than a restart; a 0xFF byte of
            // the data is followed by 0.
            const qsizetype begin = at;
            while (true) {
                const void *found = std::memchr(data + at, 0xFF, size_t(size - at));
                if (!found || static_cast<const uchar *>(found) + 1 >= data + size)
                    throw broken("it is cut off");
                at = static_cast<const uchar *>(found) - data;
                const uchar next = data[at + 1];
                if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7))
                    break;
                at += 2;
            }
            dataBytes += at - begin;
        }
    }
    if (!frame || markers.scans == 0)
        throw broken("it holds no picture");
    qint64 blocks = 0;
    for (const Component &component : components)
        blocks += component.blocks;
    // The bounds decode() holds a picture to, so that what it would refuse is refused here too.
    if (dataBytes < (blocks + 7) / 8 || scanBlocks > dataBytes * 8 * blocksPerBit)
        throw Error(QStringLiteral("The picture's data is too short for its size: %1 bytes for %2 x %3 pixels")
                        .arg(dataBytes)
                        .arg(markers.size.width())
                        .arg(markers.size.height()));
    return markers;
}

int orientation(const QByteArray &bytes)
{
    // Qt's JPEG reader keeps the Exif block while it reads the header and parses the tag with
    // bounds checks; asking it for the transformation reads no scan. Reading over a QBuffer
    // it takes the bytes in place, without copying them.
    // Bytes that are no JPEG at all would only make Qt's reader complain on the console.
    if (!bytes.startsWith("\xff\xd8"))
        return 1;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoDetectImageFormat(false);
    switch (reader.transformation()) {
    case QImageIOHandler::TransformationNone: return 1;
    case QImageIOHandler::TransformationMirror: return 2;
    case QImageIOHandler::TransformationRotate180: return 3;
    case QImageIOHandler::TransformationFlip: return 4;
    case QImageIOHandler::TransformationFlipAndRotate90: return 5;
    case QImageIOHandler::TransformationRotate90: return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90: return 7;
    case QImageIOHandler::TransformationRotate270: return 8;
    }
    return 1;
}

QImage upright(const QImage &stored, int orientation)
{
    // Turns by multiples of 90 degrees are exact pixel moves in QImage::transformed, and
    // mirroring copies rows: no pixel is interpolated.
    const auto turned
        = [](const QImage &image, qreal degrees) { return image.transformed(QTransform().rotate(degrees)); };
    switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return stored.mirrored(true, true);
    case 4: return stored.mirrored(false, true);
    case 5: return turned(stored.mirrored(false, true), 90);
    case 6: return turned(stored, 90);
    case 7: return turned(stored.mirrored(true, false), 90);
    case 8: return turned(stored, 270);
    default: return stored;
    }
}

QImage upright(const QImage &stored, const QByteArray &bytes)
{
    return upright(stored, orientation(bytes));
}

bool swapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

QSize uprightSize(const QSize &size, int orientation)
{
    return swapsSides(orientation) ? size.transposed() : size;
}

QImage decodeUpright(const QByteArray &bytes, int orientation, const QSize &cover)
{
    return upright(decode(bytes, uprightSize(cover, orientation)), orientation);
}

namespace {

struct EncodeJob
{
    const QImage *image = nullptr;  // Format_RGB32 or Format_Grayscale8
    int quality = 85;
    unsigned char *out = nullptr;  // allocated by libjpeg's memory destination
    unsigned long outSize = 0;
    int code = 0;
};

// Only trivially destructible locals here: a longjmp may leave this frame.
void runEncoder(jpeg_compress_struct &cinfo, EncodeJob &job)
{
    const QImage &image = *job.image;
    const bool grey = image.format() == QImage::Format_Grayscale8;
    jpeg_mem_dest(&cinfo, &job.out, &job.outSize);
    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    cinfo.input_components = grey ? 1 : 4;
    // QImage's 0xAARRGGBB words read as bytes, as the decoder writes them.
    cinfo.in_color_space
        = grey ? JCS_GRAYSCALE : (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, job.quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
}

// False when libjpeg failed; job.code then holds its message number. The job lives in the
// caller's frame, never in the one that setjmps.
bool runEncode(EncodeJob &job)
{
    jpeg_compress_struct cinfo;
    ErrorManager manager;
    cinfo.err = jpeg_std_error(&manager.pub);
    manager.pub.error_exit = leaveDecoder;
    manager.code = 0;
    manager.stop = Outcome::Done;
    if (setjmp(manager.jump)) {
        jpeg_destroy_compress(&cinfo);
        job.code = manager.code;
        return false;
    }
    jpeg_create_compress(&cinfo);
    runEncoder(cinfo, job);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

QByteArray encode(const QImage &picture, int quality)
{
    if (picture.isNull())
        throw Error(QStringLiteral("There is no picture to encode"));
    const QImage image = picture.format() == QImage::Format_Grayscale8 || picture.format() == QImage::Format_RGB32
        ? picture
        : picture.convertToFormat(picture.isGrayscale() ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    EncodeJob job;
    job.image = &image;
    job.quality = qBound(1, quality, 100);
    if (!runEncode(job)) {
        std::free(job.out);
        throw Error(QStringLiteral("JPEG error #%1").arg(job.code));
    }
    QByteArray bytes(reinterpret_cast<const char *>(job.out), qsizetype(job.outSize));
    std::free(job.out);
    return bytes;
}

}  // namespace kelvara::jpeg
