#include "platform/photorenditions.h"

#include "platform/jpegcodec.h"

#include <exception>

namespace kelvara {

QSize coverScaledSize(const QSize &size, const QSize &cover)
{
    if (size.isEmpty() || cover.isEmpty())
        return size;
    const qint64 w = size.width(), h = size.height();
    // In integers, so that a 4000 x 3000 photo gives exactly 1280 x 960.
    QSize scaled;
    if (qint64(cover.width()) * h >= qint64(cover.height()) * w)
        scaled = QSize(cover.width(), int((h * cover.width() + w - 1) / w));
    else
        scaled = QSize(int((w * cover.height() + h - 1) / h), cover.height());
    return scaled.width() >= size.width() || scaled.height() >= size.height() ? size : scaled;
}

std::vector<Rendition> makePhotoRenditions(const QByteArray &photo)
{
    if (!photo.startsWith("\xff\xd8"))
        return {};
    try {
        const int orientation = jpeg::orientation(photo);
        const QSize upright = jpeg::uprightSize(jpeg::imageSize(photo), orientation);
        const QSize previewSize = coverScaledSize(upright, kPreviewCover);
        // DCT scaling decodes no more than the next scale above the preview.
        QImage preview = jpeg::decodeUpright(photo, orientation, previewSize);
        if (preview.size() != previewSize)
            preview = preview.scaled(previewSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QSize thumbnailSize = coverScaledSize(upright, kThumbnailCover);
        const QImage thumbnail = thumbnailSize == previewSize
            ? preview
            : preview.scaled(thumbnailSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        return {Rendition{RenditionKind::Preview, previewSize, upright, jpeg::encode(preview, 85)},
                Rendition{RenditionKind::Thumbnail, thumbnailSize, upright, jpeg::encode(thumbnail, 80)}};
    } catch (const std::exception &) {
        return {};
    }
}

void installPhotoRenditions()
{
    installRenditionMaker(makePhotoRenditions);
}

}  // namespace kelvara
