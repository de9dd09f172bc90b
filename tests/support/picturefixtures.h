#pragma once

#include <QByteArray>
#include <QColor>
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

} // namespace kelvara::test
