#pragma once

#include "store/renditions.h"

#include <QByteArray>
#include <QSize>

#include <vector>

namespace kelvara {

// The renditions kept of every photo: an upright screen preview sharp on a 640 x 480 picture
// sheet at device pixel ratio 2, and a thumbnail for grid cells, both JPEG.
constexpr QSize kPreviewCover(1280, 960);
constexpr QSize kThumbnailCover(192, 144);

// The size a picture of size takes when scaled, aspect kept, to cover cover in both directions;
// never larger than the picture itself.
QSize coverScaledSize(const QSize &size, const QSize &cover);

// The preview and the thumbnail of a JPEG photo; none for bytes that are no JPEG, or that do
// not decode.
std::vector<Rendition> makePhotoRenditions(const QByteArray &photo);

// Makes the store keep them for every photo saved from now on.
void installPhotoRenditions();

}  // namespace kelvara
