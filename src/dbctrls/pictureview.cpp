#include "dbctrls/pictureview.h"

#include "platform/jpegcodec.h"
#include "store/field.h"
#include "store/table.h"

#include <QPainter>
#include <QPointer>

namespace kelvara {

PictureView::PictureView(QWidget *parent) : QWidget(parent) { }

void PictureView::setStretch(bool stretch)
{
    if (stretch == m_stretch)
        return;
    m_stretch = stretch;
    m_scaled = QPixmap();
    update();
}

void PictureView::clear()
{
    m_key = PictureKey();
    m_bytes.clear();
    m_orientation = 1;
    m_source = ByteSource();
    m_fromPreview = false;
    m_pictureSize = QSize();
    m_image = QImage();
    m_scaled = QPixmap();
    update();
}

QSize PictureView::coverSize() const
{
    if (!m_stretch)
        return QSize();
    const qreal ratio = devicePixelRatioF();
    return QSize(qMax(1, qCeil(width() * ratio)), qMax(1, qCeil(height() * ratio)));
}

void PictureView::showPicture(const PictureKey &key, const ByteSource &bytes)
{
    if (key.isStable() && key == m_key && hasPicture())
        return;
    showDecoded(key, decodeForView(bytes()));
}

void PictureView::showPicture(const PictureKey &key, const ByteSource &bytes, const PreviewSource &preview)
{
    if (key.isStable() && key == m_key && hasPicture())
        return;
    if (key.isStable() && m_stretch && preview) {
        PhotoPicture picture = preview(coverSize());
        if (!picture.isNull() && picture.covers(coverSize())) {
            m_key = key;
            m_bytes.clear();
            m_source = bytes;
            m_orientation = 1;
            m_fromPreview = true;
            m_pictureSize = picture.pictureSize;
            m_image = std::move(picture.image);
            m_scaled = QPixmap();
            update();
            return;
        }
    }
    showDecoded(key, decodeForView(bytes()));
}

bool PictureView::loadBytes() const
{
    if (!m_source)
        return !m_bytes.isEmpty();
    m_bytes = m_source();
    m_source = ByteSource();
    m_orientation = jpeg::orientation(m_bytes);
    return !m_bytes.isEmpty();
}

int PictureView::orientation() const
{
    loadBytes();
    return m_orientation;
}

PictureView::Decoded PictureView::decodeForView(const QByteArray &bytes) const
{
    Decoded picture;
    picture.orientation = jpeg::orientation(bytes);
    picture.image = jpeg::decodeUpright(bytes, picture.orientation, coverSize());
    picture.size = jpeg::uprightSize(jpeg::imageSize(bytes), picture.orientation);
    picture.bytes = bytes;
    return picture;
}

void PictureView::showDecoded(const PictureKey &key, Decoded picture)
{
    m_key = key;
    m_bytes = std::move(picture.bytes);
    m_orientation = picture.orientation;
    m_source = ByteSource();
    m_fromPreview = false;
    m_pictureSize = picture.size;
    m_image = std::move(picture.image);
    m_scaled = QPixmap();
    update();
}

PictureKey PictureView::keyOf(const Field &field)
{
    return PictureKey{field.dataSet()->bookmark().recordId(), field.blobRevision(),
                      field.dataSet()->photoStamp(&field)};
}

PictureView::ByteSource PictureView::bytesOf(const Field &field, const PictureKey &key)
{
    // The field object lives only while its table is open; its table and name outlive it.
    return [table = QPointer<Table>(field.dataSet()), name = field.fieldName(), key] {
        const Field *now = table && table->active() ? table->findField(name) : nullptr;
        return now && keyOf(*now) == key ? now->asBytes() : QByteArray();
    };
}

void PictureView::showField(const Field &field)
{
    const PictureKey key = keyOf(field);
    showPicture(key, bytesOf(field, key), [&field](const QSize &cover) { return renditionPicture(field, cover); });
}

QImage PictureView::picture() const
{
    if (!hasPicture())
        return QImage();
    if (!m_fromPreview && m_image.size() == m_pictureSize)
        return m_image;
    // A preview is never the photo, even at full size: it was encoded again.
    if (!loadBytes())
        return m_image;
    return jpeg::decodeUpright(m_bytes, m_orientation, QSize());
}

void PictureView::decodeFor(const QSize &cover)
{
    // The kept bytes decoded before; should a larger decode fail all the same (memory), the
    // smaller copy is drawn instead.
    try {
        if (!loadBytes())
            return;
        m_image = jpeg::decodeUpright(m_bytes, m_orientation, cover);
        m_fromPreview = false;
        m_scaled = QPixmap();
    } catch (const std::exception &) { }
}

void PictureView::paintEvent(QPaintEvent *)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    const bool full = !m_fromPreview && m_image.size() == m_pictureSize;
    if (!m_stretch) {
        if (!full)
            decodeFor(QSize());
        painter.drawImage(0, 0, m_image);
        return;
    }
    const QSize target = coverSize();
    // Stretched, a preview the size of the whole picture draws as well as the photo.
    if (m_image.size() != m_pictureSize && (m_image.width() < target.width() || m_image.height() < target.height()))
        decodeFor(target);
    if (m_scaled.size() != target) {
        m_scaled = QPixmap::fromImage(m_image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaled.setDevicePixelRatio(devicePixelRatioF());
    }
    painter.drawPixmap(0, 0, m_scaled);
}

}  // namespace kelvara
