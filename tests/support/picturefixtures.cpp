#include "picturefixtures.h"

#include <QBuffer>
#include <QPainter>

namespace kelvara::test {

QByteArray encoded(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, quality))
        qFatal("cannot encode a %s fixture", format);
    return bytes;
}

QByteArray jpegBytes(const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return encoded(image);
}

QByteArray gifBytes()
{
    static const unsigned char gif[]
        = {'G', 'I', 'F', '8', '9', 'a',  1, 0, 1, 0, 0x80, 0, 0, 0xff, 0xff, 0xff, 0, 0,    0, 0x21, 0xf9, 4,
           1,   0,   0,   0,   0,   0x2c, 0, 0, 0, 0, 1,    0, 1, 0,    0,    2,    2, 0x44, 1, 0,    0x3b};
    return QByteArray(reinterpret_cast<const char *>(gif), sizeof gif);
}

QByteArray withDeclaredSize(QByteArray jpeg, int width, int height)
{
    for (qsizetype i = 2; i + 8 < jpeg.size(); ++i) {
        const auto marker = uchar(jpeg.at(i + 1));
        // Any start-of-frame marker, arithmetic-coded ones included (DHT, JPG and DAC share the range).
        const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (uchar(jpeg.at(i)) == 0xff && frame) {
            jpeg[i + 5] = char(height >> 8);
            jpeg[i + 6] = char(height & 0xff);
            jpeg[i + 7] = char(width >> 8);
            jpeg[i + 8] = char(width & 0xff);
            return jpeg;
        }
    }
    qFatal("no frame header in the fixture");
}

QImage quadrants(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width() / 2;
    const int h = size.height() / 2;
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, w, h), Qt::red);
    painter.fillRect(QRect(w, 0, size.width() - w, h), Qt::green);
    painter.fillRect(QRect(0, h, w, size.height() - h), Qt::blue);
    painter.fillRect(QRect(w, h, size.width() - w, size.height() - h), Qt::yellow);
    return image;
}

QByteArray exifOrientationBlock(int orientation, QDataStream::ByteOrder order)
{
    QByteArray block("Exif\0\0", 6);
    block += order == QDataStream::BigEndian ? "MM" : "II";
    QDataStream out(&block, QIODevice::Append);
    out.setByteOrder(order);
    out << quint16(42) << quint32(8);                    // TIFF magic, first directory right after
    out << quint16(1);                                   // one entry:
    out << quint16(0x0112) << quint16(3) << quint32(1);  // Orientation, SHORT, one value,
    out << quint16(orientation) << quint16(0);           // left-justified in the value field
    out << quint32(0);                                   // no next directory
    return block;
}

QByteArray withApp1(const QByteArray &jpeg, const QByteArray &payload)
{
    if (!jpeg.startsWith("\xff\xd8") || payload.size() > 0xffff - 2)
        qFatal("cannot put an APP1 segment into the fixture");
    const int length = int(payload.size()) + 2;  // the length counts itself
    QByteArray segment("\xff\xe1", 2);
    segment += char(length >> 8);
    segment += char(length & 0xff);
    segment += payload;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

QByteArray withOrientation(const QByteArray &jpeg, int orientation)
{
    return withApp1(jpeg, exifOrientationBlock(orientation));
}

}  // namespace kelvara::test
