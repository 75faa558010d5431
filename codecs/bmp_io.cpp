// SPDX-License-Identifier: MIT
// Windows bitmap reader and writer; every read is checked against the size of the file in memory.
#include "bmp_io.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace turnlet {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiJpeg = 4;
constexpr std::uint32_t kBiPng = 5;
constexpr std::uint32_t kBiAlphaBitfields = 6;
constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dots per inch

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

std::string TooLarge(std::int64_t width, std::int64_t height) {
    return "picture of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is larger than the limit of " + std::to_string(kMaxPicturePixels / 1'000'000) + " megapixels";
}

// One colour channel of a 16- or 32-bit pixel under a bit mask, scaled to 0..255 with rounding
// (value * 255 / max, to nearest) through a table. Masks wider than 16 bits keep their top 16 bits.
class MaskedChannel {
  public:
    explicit MaskedChannel(std::uint32_t mask) {
        if (mask == 0) {
            table_.assign(1, 0);
            return;
        }
        shift_ = std::countr_zero(mask);
        std::uint32_t max = mask >> shift_;
        const int width = std::bit_width(max);
        if (width > 16) {
            shift_ += width - 16;
            max >>= width - 16;
        }
        mask_ = max;
        table_.resize(static_cast<std::size_t>(max) + 1);
        for (std::uint32_t v = 0; v <= max; ++v) {
            table_[v] = static_cast<std::uint8_t>((std::uint64_t{v} * 255 + max / 2) / max);
        }
    }
    // Masking with max keeps the index inside the table even for a mask with holes.
    std::uint8_t operator()(std::uint32_t pixel) const { return table_[(pixel >> shift_) & mask_]; }

  private:
    int shift_ = 0;
    std::uint32_t mask_ = 0;
    std::vector<std::uint8_t> table_;
};

struct Masks {
    std::uint32_t red = 0, green = 0, blue = 0;
};

void ConvertMaskedRow(const std::uint8_t* src, std::uint8_t* dst, int width, int bytesPerPixel,
                      const MaskedChannel& red, const MaskedChannel& green, const MaskedChannel& blue) {
    for (int x = 0; x < width; ++x, src += bytesPerPixel, dst += 3) {
        const std::uint32_t pixel = bytesPerPixel == 2 ? U16(src) : U32(src);
        dst[0] = blue(pixel);
        dst[1] = green(pixel);
        dst[2] = red(pixel);
    }
}

void ConvertPaletteRow(const std::uint8_t* src, std::uint8_t* dst, int width, int bits,
                       const std::array<std::uint8_t, 256 * 3>& palette) {
    if (bits == 8) {
        for (int x = 0; x < width; ++x, dst += 3) std::memcpy(dst, &palette[src[x] * 3], 3);
        return;
    }
    const int perByte = 8 / bits;
    const unsigned valueMask = (1u << bits) - 1;
    for (int x = 0; x < width; ++x, dst += 3) {
        const int shift = 8 - bits * (x % perByte + 1);  // the leftmost pixel sits in the high bits
        const unsigned index = (src[x / perByte] >> shift) & valueMask;
        std::memcpy(dst, &palette[index * 3], 3);
    }
}

}  // namespace

Status DecodeBmp(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out) {
    const std::uint8_t* d = bytes.data();
    const std::size_t size = bytes.size();
    auto fail = [&file](std::string reason) { return Status::Error(file, std::move(reason)); };

    if (size < kFileHeaderSize + 4 || d[0] != 'B' || d[1] != 'M') return fail("not a BMP file");
    const std::uint32_t dataOffset = U32(d + 10);
    const std::uint32_t headerSize = U32(d + 14);
    if (headerSize != kCoreHeaderSize && headerSize != kInfoHeaderSize && headerSize != 52 && headerSize != 56 &&
        headerSize != 108 && headerSize != 124) {
        return fail("unsupported BMP header of " + std::to_string(headerSize) + " bytes");
    }
    if (kFileHeaderSize + headerSize > size) return fail("damaged or truncated BMP header");

    std::int64_t width = 0;
    std::int64_t height = 0;
    int bits = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t colorsUsed = 0;
    bool topDown = false;
    std::size_t paletteEntrySize = 4;
    const std::uint8_t* h = d + kFileHeaderSize;
    if (headerSize == kCoreHeaderSize) {
        width = U16(h + 4);
        height = U16(h + 6);
        bits = U16(h + 10);
        paletteEntrySize = 3;
    } else {
        width = static_cast<std::int32_t>(U32(h + 4));
        const auto rawHeight = static_cast<std::int32_t>(U32(h + 8));
        if (rawHeight == INT32_MIN) return fail("invalid BMP height");
        topDown = rawHeight < 0;
        height = topDown ? -static_cast<std::int64_t>(rawHeight) : rawHeight;
        bits = U16(h + 14);
        compression = U32(h + 16);
        colorsUsed = U32(h + 32);
    }
    if (width <= 0 || height <= 0) {
        return fail("invalid BMP size " + std::to_string(width) + " x " + std::to_string(height));
    }
    if (width * height > kMaxPicturePixels) return fail(TooLarge(width, height));
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return fail("unsupported BMP depth of " + std::to_string(bits) + " bits per pixel");
    }

    switch (compression) {
        case kBiRgb:
            break;
        case kBiBitfields:
        case kBiAlphaBitfields:
            if (bits != 16 && bits != 32) {
                return fail("BMP bit masks with " + std::to_string(bits) + " bits per pixel are not supported");
            }
            break;
        case kBiRle8:
        case kBiRle4:
            return fail("RLE-compressed BMP files are not supported");
        case kBiJpeg:
            return fail("BMP files holding JPEG data are not supported");
        case kBiPng:
            return fail("BMP files holding PNG data are not supported");
        default:
            return fail("unsupported BMP compression " + std::to_string(compression));
    }

    Masks masks;
    if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
        // After a 40-byte header the masks follow it; longer headers hold them at the same place.
        constexpr std::size_t kMasksAt = kFileHeaderSize + kInfoHeaderSize;
        if (kMasksAt + 12 > size) return fail("damaged or truncated BMP header");
        masks = {U32(d + kMasksAt), U32(d + kMasksAt + 4), U32(d + kMasksAt + 8)};
    } else if (bits == 16) {
        masks = {0x7C00, 0x03E0, 0x001F};
    }

    const std::size_t headersEnd = kFileHeaderSize + headerSize;
    if (dataOffset < headersEnd || dataOffset > size) return fail("BMP pixel data offset points outside the file");

    // Palette entries absent from the file stay black, and so do indexes past the declared count.
    std::array<std::uint8_t, 256 * 3> palette{};
    if (bits <= 8) {
        std::size_t count = std::size_t{1} << bits;
        if (colorsUsed != 0 && colorsUsed < count) count = colorsUsed;
        count = std::min(count, (dataOffset - headersEnd) / paletteEntrySize);
        for (std::size_t i = 0; i < count; ++i) std::memcpy(&palette[i * 3], d + headersEnd + i * paletteEntrySize, 3);
    }

    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    const std::uint64_t lastRowBytes = (static_cast<std::uint64_t>(width) * bits + 7) / 8;
    // The padding of the last row may be missing; some writers leave it out.
    const std::uint64_t needed = rowBytes * static_cast<std::uint64_t>(height - 1) + lastRowBytes;
    if (needed > size - dataOffset) return fail("damaged or truncated BMP data");

    const int w = static_cast<int>(width);
    const int ht = static_cast<int>(height);
    out.allocate(w, ht);
    const std::uint8_t* pixels = d + dataOffset;
    auto sourceRow = [&](int y) { return pixels + rowBytes * static_cast<std::uint64_t>(topDown ? y : ht - 1 - y); };

    if (bits <= 8) {
        for (int y = 0; y < ht; ++y) ConvertPaletteRow(sourceRow(y), out.row(y), w, bits, palette);
    } else if (bits == 24) {
        for (int y = 0; y < ht; ++y) std::memcpy(out.row(y), sourceRow(y), out.stride());
    } else if (bits == 32 &&
               (compression == kBiRgb || (masks.red == 0xFF0000 && masks.green == 0xFF00 && masks.blue == 0xFF))) {
        for (int y = 0; y < ht; ++y) {
            const std::uint8_t* src = sourceRow(y);
            std::uint8_t* dst = out.row(y);
            for (int x = 0; x < w; ++x, src += 4, dst += 3) std::memcpy(dst, src, 3);
        }
    } else {
        const MaskedChannel red(masks.red), green(masks.green), blue(masks.blue);
        for (int y = 0; y < ht; ++y) ConvertMaskedRow(sourceRow(y), out.row(y), w, bits / 8, red, green, blue);
    }
    return Status::Ok();
}

Status WriteBmp(const Picture& picture, OutputFile& out) {
    const std::uint64_t rowBytes = (picture.stride() + 3) / 4 * 4;
    const std::uint64_t imageBytes = rowBytes * static_cast<std::uint64_t>(picture.height());
    constexpr std::uint32_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;
    if (imageBytes + kHeadersSize > UINT32_MAX) return Status::Error(out.path(), "picture is too large for a BMP file");

    std::array<std::uint8_t, kHeadersSize> header{};
    header[0] = 'B';
    header[1] = 'M';
    Put32(&header[2], static_cast<std::uint32_t>(kHeadersSize + imageBytes));
    Put32(&header[10], kHeadersSize);
    std::uint8_t* info = &header[kFileHeaderSize];
    Put32(info, kInfoHeaderSize);
    Put32(info + 4, static_cast<std::uint32_t>(picture.width()));
    Put32(info + 8, static_cast<std::uint32_t>(picture.height()));  // positive: bottom row first
    Put16(info + 12, 1);
    Put16(info + 14, 24);
    Put32(info + 16, kBiRgb);
    Put32(info + 20, static_cast<std::uint32_t>(imageBytes));
    Put32(info + 24, kPixelsPerMetre);
    Put32(info + 28, kPixelsPerMetre);

    Status status = out.write(header.data(), header.size());
    const std::uint8_t padding[4] = {0, 0, 0, 0};
    const std::size_t padBytes = rowBytes - picture.stride();
    for (int y = picture.height() - 1; y >= 0 && status.ok(); --y) {
        status = out.write(picture.row(y), picture.stride());
        if (status.ok() && padBytes) status = out.write(padding, padBytes);
    }
    return status;
}

}  // namespace turnlet
