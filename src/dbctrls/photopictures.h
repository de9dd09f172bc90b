#pragma once

#include <QImage>
#include <QSize>

namespace kelvara {

class Field;

// A photo as drawn somewhere: upright, at least the size asked for or the whole picture.
struct PhotoPicture
{
    QImage image;       // null when there is none
    QSize pictureSize;  // the photo's own size, upright

    bool isNull() const { return image.isNull(); }
    bool isFull() const { return !image.isNull() && image.size() == pictureSize; }
    // Whether the image serves a drawing that needs target device pixels.
    bool covers(const QSize &target) const
    {
        return isFull() || (image.width() >= target.width() && image.height() >= target.height());
    }
};

// The smallest kept rendition of the photo a field holds (for the record a link reads) that
// covers target, decoded at the smallest DCT scale that still covers it; null when none does,
// none is kept, or the field's bytes wait to be saved.
// A rendition that does not decode is made again once, never reported.
PhotoPicture renditionPicture(const Field &field, const QSize &target);

// The picture of a photo field for a target size, for grid cells and other drawers: from a
// rendition when one covers target, else decoded from the photo (DCT-scaled to target; an
// empty target asks for full size). Kept in a bounded memory cache by table, record, field
// and blob revision. Throws Error when the photo is no JPEG.
PhotoPicture fieldPicture(const Field &field, const QSize &target);

// Empties that cache, e.g. to measure reading from the store.
void clearPictureCache();

}  // namespace kelvara
