#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace kelvara {

// Decodes the JPEG photographs kept in picture fields, with libjpeg-turbo. Every failure, and
// every decoder warning (a cut-off file among them), throws Error("JPEG error #<code>").
namespace jpeg {

// Pictures with more pixels than this are refused before any pixel memory is allocated.
constexpr qint64 maxPixels = 100'000'000;

// Each scan of a progressive file is a pass over the whole picture. Photographs have about 10
// (libjpeg's own progressive script writes 10 for colour, 6 for grey); more than this is refused.
constexpr int maxScans = 100;

// The size the header declares; reads no image data.
QSize imageSize(const QByteArray &bytes);

// The size decode() gives for a picture of imageSize asked to cover cover: the smallest of the
// decoder's scales 1/8 ... 8/8 whose result is at least cover in both directions. An empty
// cover asks for the full size.
QSize scaledSize(const QSize &imageSize, const QSize &cover);

// Decodes the whole picture, scaled down by DCT scaling to scaledSize(size, cover). Grey
// pictures come back as Format_Grayscale8, all others as Format_RGB32. Before any pixel work,
// refuses (each with a message of its own) pictures above maxPixels and files whose
// compressed data is far too short for the size they declare; stops at scan maxScans + 1, or
// earlier when the scans would decode far more blocks than the data can describe.
QImage decode(const QByteArray &bytes, const QSize &cover = QSize());

} // namespace jpeg
} // namespace kelvara
