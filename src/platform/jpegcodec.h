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

// What the markers of a JPEG file say of it, read without decoding its data: what a writer
// that embeds the bytes as they are (a PDF file) must know of them.
struct Markers
{
    QSize size;
    int components = 0;
    int precision = 8;
    // The start-of-frame marker's number, 0xC0 ... 0xCF: 0 baseline, 1 extended and 2 progressive
    // with Huffman coding; the others are lossless, hierarchical or arithmetic-coded.
    int frameType = 0;
    int scans = 0;
};

// Walks a JPEG file's markers from its start to its end marker, passing over its compressed
// data without decoding it. Throws Error for bytes that are no JPEG, that are cut off before
// their end marker or whose markers are damaged, and for what decode() refuses before any
// pixel work: pictures above maxPixels, too little data for their size or their scans, more
// than maxScans scans. A picture damaged inside its compressed data passes: only decoding finds
// that.
Markers readMarkers(const QByteArray &bytes);

// A smaller copy kept of a photo (a preview, a thumbnail) is there to be shown at once, so it
// is held to tighter bounds than a photo: one that breaks them was not made as such copies are
// and is better made again than decoded whole. This program writes them baseline, one pass over
// the blocks; libjpeg's progressive script makes about 5.3.
constexpr int renditionMaxPasses = 8;

// Decodes a kept copy that must be exactly size pixels, scaled to cover as decode() does and
// within decode()'s bounds. Refuses, before any pixel work, one that declares another size and
// one of more bytes than its pixels hold uncompressed (3 bytes each, and 4 KB for the tables);
// stops at the first scan that would take its scans over more than renditionMaxPasses times
// its blocks.
QImage decodeRendition(const QByteArray &bytes, const QSize &size, const QSize &cover = QSize());

// A phone stores a portrait photograph as its sensor saw it, lying on its side, with an Exif
// orientation tag that says how to show it. The values are Exif's, named here by what
// upright() does to the stored picture:
//   1 nothing                    5 mirror top-bottom, then turn 90 degrees clockwise (transpose)
//   2 mirror left-right          6 turn 90 degrees clockwise
//   3 turn 180 degrees           7 mirror left-right, then turn 90 degrees clockwise (transverse)
//   4 mirror top-bottom          8 turn 90 degrees counter-clockwise
// The stored bytes are never changed; every picture shown, copied or drawn goes through upright().

// The orientation the Exif block of the bytes gives, read from the header without decoding any
// image data. 1 when there is no Exif block, when it is damaged, cut off or holds no valid
// tag, and when the bytes are no JPEG at all: a bad tag never costs the picture.
int orientation(const QByteArray &bytes);

// The picture decoded from bytes stored at orientation, turned and mirrored to stand upright.
// Any orientation outside 1 ... 8 leaves it as it is.
QImage upright(const QImage &stored, int orientation);
// The same with the orientation read from the bytes the picture was decoded from.
QImage upright(const QImage &stored, const QByteArray &bytes);

// True for orientations 5 to 8, which swap width and height.
bool swapsSides(int orientation);
// The size a stored picture has once upright. The swap is its own inverse, so this also gives
// the stored size for an upright one, such as the cover to pass to decode() for a view.
QSize uprightSize(const QSize &size, int orientation);

// decode() and upright() in one, for a view or a cell: cover is the upright size to fill, and a
// sideways picture is decoded for it turned, so that a portrait photograph drawn into a
// landscape box is not decoded too small.
QImage decodeUpright(const QByteArray &bytes, int orientation, const QSize &cover = QSize());

// Encodes a picture as a baseline JPEG at quality (1 ... 100) with libjpeg-turbo's compressor:
// grey pictures as one channel, all others as colour. Alpha is dropped. Throws Error on failure.
QByteArray encode(const QImage &picture, int quality = 85);

}  // namespace jpeg
}  // namespace kelvara
