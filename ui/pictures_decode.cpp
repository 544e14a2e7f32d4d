#include "ui/pictures_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
// jpeglib.h uses FILE and size_t without including their headers.
#include <jpeglib.h>

namespace kalvenor {

namespace {

std::uint32_t le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

std::uint32_t le32(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// A device-independent bitmap as an icon file stores it: BITMAPINFOHEADER (its height covers
// the colour rows and the mask rows), the palette (B, G, R, 0 per entry), the colour rows, then
// the 1-bit AND mask (1 = transparent); all rows bottom up, each padded to 4 bytes.
QImage decodeIconDib(const std::uint8_t* dib, std::size_t size)
{
    if (size < 40)
        return {};
    const std::uint32_t headerSize = le32(dib);
    const auto width = static_cast<std::int32_t>(le32(dib + 4));
    const auto doubledHeight = static_cast<std::int32_t>(le32(dib + 8));
    const std::uint32_t bitCount = le16(dib + 14);
    const std::uint32_t compression = le32(dib + 16);
    const std::uint32_t coloursUsed = le32(dib + 32);
    if (headerSize < 40 || headerSize > size || compression != 0)
        return {};
    if (width < 1 || width > 256 || doubledHeight < 2 || doubledHeight > 512)
        return {};
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return {};
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(doubledHeight) / 2;

    std::size_t colours = 0;
    if (bitCount <= 8) {
        colours = coloursUsed != 0 ? coloursUsed : (1u << bitCount);
        if (colours > (1u << bitCount))
            return {};
    }
    const std::size_t paletteOffset = headerSize;
    const std::size_t xorStride = (w * bitCount + 31) / 32 * 4;
    const std::size_t andStride = (w + 31) / 32 * 4;
    const std::size_t xorOffset = paletteOffset + colours * 4;
    const std::size_t andOffset = xorOffset + xorStride * h;
    const bool hasMask = andOffset + andStride * h <= size;
    // Only a 32-bit image may leave the mask out: its alpha channel says the same.
    if (andOffset > size || (!hasMask && bitCount != 32))
        return {};

    QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32);
    bool anyAlpha = false;
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* row = dib + xorOffset + (h - 1 - y) * xorStride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        for (std::size_t x = 0; x < w; ++x) {
            QRgb pixel = 0;
            if (bitCount <= 8) {
                const std::size_t bitPos = x * bitCount;
                const unsigned shift = 8 - bitCount - static_cast<unsigned>(bitPos % 8);
                const unsigned index = (row[bitPos / 8] >> shift) & ((1u << bitCount) - 1);
                if (index < colours) {
                    const std::uint8_t* entry = dib + paletteOffset + index * 4;
                    pixel = qRgb(entry[2], entry[1], entry[0]);
                } else {
                    pixel = qRgb(0, 0, 0);
                }
            } else if (bitCount == 24) {
                const std::uint8_t* p = row + x * 3;
                pixel = qRgb(p[2], p[1], p[0]);
            } else {
                const std::uint8_t* p = row + x * 4;
                pixel = qRgba(p[2], p[1], p[0], p[3]);
                anyAlpha = anyAlpha || p[3] != 0;
            }
            out[x] = pixel;
        }
    }
    if (hasMask && !(bitCount == 32 && anyAlpha)) {
        for (std::size_t y = 0; y < h; ++y) {
            const std::uint8_t* row = dib + andOffset + (h - 1 - y) * andStride;
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
            for (std::size_t x = 0; x < w; ++x) {
                const bool transparent = (row[x / 8] >> (7 - x % 8)) & 1;
                out[x] = transparent ? qRgba(0, 0, 0, 0) : (out[x] | 0xFF000000u);
            }
        }
    }
    return image;
}

struct JpegErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// libjpeg's own handler ends the process; returning here turns every decoding error into a
// null image instead.
[[noreturn]] void jpegErrorExit(j_common_ptr info)
{
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    std::longjmp(errors->jump, 1);
}

// Counts warnings instead of printing them: libjpeg only warns about a truncated or corrupt
// stream and pads the picture with grey, which is no picture to show.
void jpegCountWarnings(j_common_ptr info, int level)
{
    if (level < 0)
        ++info->err->num_warnings;
}

} // namespace

QImage decodeIconFile(const std::uint8_t* data, std::size_t size)
{
    // Header: reserved (2), type (2) = 1 for icons, image count (2); then 16-byte entries of
    // which the first gives the image size at offset 8 and its offset at 12 (14 and 18 in
    // the file).
    if (data == nullptr || size <= 6 || le16(data + 2) != 1 || le16(data + 4) < 1)
        return {};
    if (size < 6 + 16)
        return {};
    const std::uint64_t imageSize = le32(data + 14);
    const std::uint64_t imageOffset = le32(data + 18);
    if (imageOffset + imageSize > size)
        return {};
    const std::uint8_t* image = data + imageOffset;
    static constexpr std::uint8_t pngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (imageSize >= sizeof pngSignature && std::memcmp(image, pngSignature, 8) == 0)
        return QImage::fromData(image, static_cast<int>(imageSize), "PNG");
    return decodeIconDib(image, static_cast<std::size_t>(imageSize));
}

namespace {

// Decodes into out; false on any error. The image lives in the caller's frame, so the longjmp
// back from libjpeg leaves no object of this frame half-built.
bool decodeJpegInto(const std::uint8_t* data, std::size_t size, QImage& out)
{
    jpeg_decompress_struct info {};
    JpegErrorManager errors {};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jpegErrorExit;
    errors.base.emit_message = jpegCountWarnings;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || info.output_width > 16384 || info.output_height > 16384) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    out = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
        QImage::Format_RGB888);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    const bool clean = errors.base.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    return clean;
}

} // namespace

QImage decodeJpeg(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size == 0)
        return {};
    QImage image;
    if (!decodeJpegInto(data, size, image))
        return {};
    return image;
}

} // namespace kalvenor
