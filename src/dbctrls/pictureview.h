#pragma once

#include "dbctrls/photopictures.h"

#include <QByteArray>
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <functional>

namespace kelvara {

class Field;

// Names one version of a picture's stored bytes: the record and the field's blob revision,
// which changes whenever the bytes are replaced. New bytes not yet saved have no stable name.
struct PictureKey
{
    qint64 record = 0;
    qint64 revision = 0;  // 0: no bytes stored; -1: new bytes waiting to be saved
    // The stored bytes' size and head, which another program's rewrite in place changes
    // while the revision stays (Table::photoStamp).
    QByteArray stamp;

    bool isStable() const { return revision > 0; }
    friend bool operator==(const PictureKey &a, const PictureKey &b)
    {
        return a.record == b.record && a.revision == b.revision && a.stamp == b.stamp;
    }
    friend bool operator!=(const PictureKey &a, const PictureKey &b) { return !(a == b); }
};

// Shows a decoded copy of a JPEG picture upright, as its Exif orientation says, stretched to
// the view (aspect not kept) or at natural size from the top-left corner. Stretched, it draws
// from the photo's stored preview when that covers the view, else decodes no larger than it
// draws; the photo's bytes are read only when needed (natural size, copy).
class PictureView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool Stretch READ stretch WRITE setStretch)

public:
    using ByteSource = std::function<QByteArray()>;
    // A smaller copy of the picture that covers a size in device pixels; null when none does.
    using PreviewSource = std::function<PhotoPicture(const QSize &cover)>;

    explicit PictureView(QWidget *parent = nullptr);

    bool stretch() const { return m_stretch; }
    void setStretch(bool stretch);

    bool hasPicture() const { return !m_image.isNull(); }
    void clear();

    // Shows the picture named key. The bytes are read and decoded only when key differs from
    // the picture shown or is not stable. Throws Error when they are no JPEG; the view then
    // keeps what it showed.
    void showPicture(const PictureKey &key, const ByteSource &bytes);
    // The same, drawn from preview when it covers the view; bytes are then kept to be read
    // later, when a larger picture is needed, and must give the same picture while key is shown
    // (empty when they no longer can).
    void showPicture(const PictureKey &key, const ByteSource &bytes, const PreviewSource &preview);

    // A picture decoded as this view draws it: a caller can check a file before storing it and
    // then show it under its stored key without decoding it again.
    struct Decoded
    {
        QByteArray bytes;
        int orientation = 1;  // Exif's, as jpeg::orientation reads it
        QSize size;           // upright: the header's, swapped for a sideways picture
        QImage image;         // upright
    };
    // Throws Error when the bytes are no JPEG.
    Decoded decodeForView(const QByteArray &bytes) const;
    void showDecoded(const PictureKey &key, Decoded picture);
    // The same for the picture held by a blob field in its table's current record.
    void showField(const Field &field);
    static PictureKey keyOf(const Field &field);
    // Reads the field's bytes while its table stands on the record of key, else gives none.
    static ByteSource bytesOf(const Field &field, const PictureKey &key);
    PictureKey key() const { return m_key; }

    // The picture upright at full size, decoded again from the kept bytes; null when none is
    // shown. This is what goes to the clipboard.
    QImage picture() const;
    // The upright size of the picture; empty when none is shown.
    QSize pictureSize() const { return m_pictureSize; }
    // The Exif orientation the shown picture is stored at; 1 when none is shown.
    int orientation() const;
    // Whether the view draws from a preview rather than from the photo's own bytes.
    bool showsPreview() const { return m_fromPreview; }
    // The upright decoded copy the view draws from, possibly smaller than the picture.
    QImage decodedImage() const { return m_image; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QSize coverSize() const;
    void decodeFor(const QSize &cover);
    // Reads the photo's bytes for a picture shown from its preview; false when they are gone.
    bool loadBytes() const;

    bool m_stretch = true;
    PictureKey m_key;
    mutable QByteArray m_bytes;
    mutable int m_orientation = 1;
    mutable ByteSource m_source;  // bytes not read yet
    bool m_fromPreview = false;
    QSize m_pictureSize;
    QImage m_image;
    QPixmap m_scaled;  // m_image stretched to the view, made on first paint at a size
};

}  // namespace kelvara
