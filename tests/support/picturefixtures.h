#pragma once

#include <QByteArray>
#include <QColor>
#include <QDataStream>
#include <QImage>
#include <QSize>

namespace kelvara::test {

// Picture files as a user may pick them, made in the test.
QByteArray encoded(const QImage &image, const char *format = "JPG", int quality = 90);
QByteArray jpegBytes(const QSize &size, const QColor &color);

// A 1 x 1 GIF, as the first filter of the picture dialog lets a user pick one.
QByteArray gifBytes();

// Rewrites a JPEG's frame header so that it declares another size; the scan data stays small.
QByteArray withDeclaredSize(QByteArray jpeg, int width, int height);

// Red, green, blue and yellow quarters, top-left, top-right, bottom-left and bottom-right:
// every turn and mirror of it looks different.
QImage quadrants(const QSize &size);

// The Exif block a camera writes into its APP1 segment: "Exif\0\0", a TIFF header in the given
// byte order and one directory holding the orientation tag (one SHORT), and no next directory.
QByteArray exifOrientationBlock(int orientation, QDataStream::ByteOrder order = QDataStream::BigEndian);
// Byte offsets in that block, for tests that damage it.
constexpr int exifTiffStart = 6;                    // the "MM" or "II" of the TIFF header
constexpr int exifIfdOffsetAt = exifTiffStart + 4;  // where the first directory is, from the TIFF header
constexpr int exifEntryCountAt = exifTiffStart + 8;
constexpr int exifFirstEntryAt = exifEntryCountAt + 2;

// The JPEG with an APP1 segment holding payload right after its start-of-image marker, where
// cameras put their Exif block. Qt writes no Exif block of its own.
QByteArray withApp1(const QByteArray &jpeg, const QByteArray &payload);
// withApp1(jpeg, exifOrientationBlock(orientation)).
QByteArray withOrientation(const QByteArray &jpeg, int orientation);

}  // namespace kelvara::test
