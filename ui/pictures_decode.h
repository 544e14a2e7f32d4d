#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>

namespace kalvenor {

// The image of an icon file's first directory entry, or a null image when the file fails the
// header checks (longer than 6 bytes, type 1, at least one image, the image inside the data) or
// the image is not a DIB this decoder reads (1, 4 or 8 bits with a palette, 24 or 32 bits).
QImage decodeIconFile(const std::uint8_t* data, std::size_t size);

// A JPEG decoded from memory with libjpeg; garbage or truncated data gives a null image.
QImage decodeJpeg(const std::uint8_t* data, std::size_t size);

} // namespace kalvenor
