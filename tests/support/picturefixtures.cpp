#include "picturefixtures.h"

#include <QBuffer>

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
    static const unsigned char gif[] = {
        'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xff, 0xff, 0xff, 0, 0, 0,
        0x21, 0xf9, 4, 1, 0, 0, 0, 0, 0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, 0x3b};
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

} // namespace kelvara::test
