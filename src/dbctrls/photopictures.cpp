#include "dbctrls/photopictures.h"

#include "platform/jpegcodec.h"
#include "platform/photorenditions.h"
#include "store/field.h"
#include "store/table.h"

#include <QCache>

namespace kelvara {

namespace {

// Decoded pictures by their bytes' cost; a screenful of thumbnails and a few previews.
QCache<QString, PhotoPicture> &pictureCache()
{
    static QCache<QString, PhotoPicture> cache(64 * 1024 * 1024);
    return cache;
}

bool fits(const QSize &size, const QSize &bound)
{
    return size.width() <= bound.width() && size.height() <= bound.height();
}

}  // namespace

PhotoPicture renditionPicture(const Field &field, const QSize &target)
{
    const Table *table = field.dataSet();
    if (!table || !field.keepsBytesApart() || target.isEmpty())
        return PhotoPicture();
    // The thumbnail is asked for only where it may serve, so a sheet checks the photo's
    // stamp once.
    const RenditionKind kinds[] = {RenditionKind::Thumbnail, RenditionKind::Preview};
    for (RenditionKind kind : kinds) {
        if (kind == RenditionKind::Thumbnail && !fits(target, kThumbnailCover))
            continue;
        for (bool rebuild : {false, true}) {
            const std::optional<Rendition> rendition = table->rendition(&field, kind, rebuild);
            if (!rendition)
                return PhotoPicture();
            const bool whole = rendition->size == rendition->sourceSize;
            if (!whole && !fits(target, rendition->size))
                break;
            PhotoPicture picture{QImage(), rendition->sourceSize};
            try {
                // At the DCT scale that covers target, as a photo is: a 640 x 480 sheet
                // decodes the 1280 x 960 preview at half its size, a quarter of the pixels
                // to transform and convert, and nothing to scale after.
                picture.image = jpeg::decodeRendition(rendition->data, rendition->size, target);
                if (picture.image.size() == jpeg::scaledSize(rendition->size, target))
                    return picture;
            } catch (const std::exception &) { }
            // Damaged, or not small as a kept copy must be: made again from the photo on the
            // second round.
        }
    }
    return PhotoPicture();
}

PhotoPicture fieldPicture(const Field &field, const QSize &target)
{
    const Table *table = field.dataSet();
    const qint64 revision = field.blobRevision();
    if (revision == 0)
        return PhotoPicture();
    // Blob ids are never reused, so the revision also names the record; the stamp tells a
    // rewrite in place by another program.
    const QString key
        = QStringLiteral("%1/%2/%3/%4x%5")
              .arg(quintptr(table))
              .arg(field.fieldName())
              .arg(revision > 0 ? QString::fromLatin1(table->photoStamp(&field)) : QString::number(revision))
              .arg(target.width())
              .arg(target.height());
    if (revision > 0) {
        if (const PhotoPicture *kept = pictureCache().object(key))
            return *kept;
    }
    PhotoPicture picture = target.isEmpty() ? PhotoPicture() : renditionPicture(field, target);
    if (picture.isNull()) {
        const QByteArray bytes = field.asBytes();
        const int orientation = jpeg::orientation(bytes);
        picture.pictureSize = jpeg::uprightSize(jpeg::imageSize(bytes), orientation);
        picture.image = jpeg::decodeUpright(bytes, orientation, target);
    }
    if (revision > 0)
        pictureCache().insert(key, new PhotoPicture(picture), qMax<qsizetype>(1, picture.image.sizeInBytes()));
    return picture;
}

void clearPictureCache()
{
    pictureCache().clear();
}

}  // namespace kelvara
