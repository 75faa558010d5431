// SPDX-License-Identifier: MIT
// The PNG decoder on files written with libpng: every colour type, transparency, damage.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <array>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstring>

#include "codec_test_support.h"
#include "codecs/image_files.h"
#include "codecs/picture_writer.h"

namespace turnlet::test {
namespace {

// ---- PNG files written with libpng ----

struct PngLayout {
    PngLayout(int w, int h, int depth, int type, bool adam7 = false)
        : width(w), height(h), bitDepth(depth), colorType(type), interlaced(adam7) {}
    int width;
    int height;
    int bitDepth;
    int colorType;
    bool interlaced;
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;  // tRNS for palettes
    bool colorKey = false;               // tRNS for grey or RGB
    png_color_16 key{};
    std::vector<Bytes> rows;  // packed as in the file (16-bit samples big-endian)
    bool headerOnly = false;
};

void AppendToBytes(png_structp png, png_bytep data, std::size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

bool WritePngBytes(const PngLayout* layout, png_bytep* rows, Bytes* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, AppendToBytes, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(layout->width), static_cast<png_uint_32>(layout->height),
                 layout->bitDepth, layout->colorType, layout->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!layout->palette.empty())
        png_set_PLTE(png, info, layout->palette.data(), static_cast<int>(layout->palette.size()));
    if (!layout->paletteAlpha.empty()) {
        png_set_tRNS(png, info, layout->paletteAlpha.data(), static_cast<int>(layout->paletteAlpha.size()), nullptr);
    }
    if (layout->colorKey) png_set_tRNS(png, info, nullptr, 0, &layout->key);
    png_write_info(png, info);
    if (!layout->headerOnly) {
        png_write_image(png, rows);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return true;
}

Bytes BuildPng(const PngLayout& layout) {
    std::vector<png_bytep> rows;
    for (const Bytes& row : layout.rows) rows.push_back(const_cast<png_bytep>(row.data()));
    Bytes out;
    EXPECT_TRUE(WritePngBytes(&layout, rows.data(), &out));
    return out;
}

Bytes Samples16(const std::vector<std::uint32_t>& values) {
    Bytes row;
    for (std::uint32_t v : values) row.insert(row.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
    return row;
}

// Reference blend onto white, in real numbers: the decoder must round it to nearest.
std::uint8_t OnWhite(int c, int a) {
    return static_cast<std::uint8_t>(std::lround((c * a + 255.0 * (255 - a)) / 255));
}

TEST_F(CodecTest, PngPaletteBecomesBgr) {
    const std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}, {200, 100, 50}};
    for (int bits : {2, 4, 8}) {
        const int colors = bits == 2 ? 4 : 5;
        PngLayout layout{7, 3, bits, PNG_COLOR_TYPE_PALETTE};
        layout.palette.assign(palette.begin(), palette.begin() + colors);
        for (int y = 0; y < 3; ++y) {
            std::vector<int> indexes;
            for (int x = 0; x < 7; ++x) indexes.push_back((x + y) % colors);
            layout.rows.push_back(PackIndexes(indexes, bits));
        }
        const Picture picture = LoadOk("palette.png", BuildPng(layout));
        ExpectPixels(picture, 7, 3, [&](int x, int y) {
            const png_color c = palette[(x + y) % colors];
            return Bgr{c.blue, c.green, c.red};
        });
    }
}

TEST_F(CodecTest, PngGreyDepthsGiveThreeEqualChannels) {
    PngLayout layout{4, 1, 8, PNG_COLOR_TYPE_GRAY};
    layout.rows = {{0, 1, 128, 255}};
    ExpectPixels(LoadOk("grey8.png", BuildPng(layout)), 4, 1, [](int x, int) {
        const std::uint8_t v = std::array<std::uint8_t, 4>{0, 1, 128, 255}[x];
        return Bgr{v, v, v};
    });

    layout = PngLayout{9, 1, 1, PNG_COLOR_TYPE_GRAY};
    layout.rows = {PackIndexes({1, 0, 1, 1, 0, 0, 0, 1, 1}, 1)};
    ExpectPixels(LoadOk("grey1.png", BuildPng(layout)), 9, 1, [](int x, int) {
        const std::uint8_t v = (0b101100011 >> (8 - x)) & 1 ? 255 : 0;
        return Bgr{v, v, v};
    });

    // 16-bit samples keep their high byte.
    layout = PngLayout{4, 1, 16, PNG_COLOR_TYPE_GRAY};
    layout.rows = {Samples16({0x1234, 0xFFFF, 0x00FF, 0x8000})};
    ExpectPixels(LoadOk("grey16.png", BuildPng(layout)), 4, 1, [](int x, int) {
        const std::uint8_t v = std::array<std::uint8_t, 4>{0x12, 0xFF, 0x00, 0x80}[x];
        return Bgr{v, v, v};
    });

    layout = PngLayout{2, 1, 16, PNG_COLOR_TYPE_RGB};
    layout.rows = {Samples16({0x1111, 0x2222, 0x3333, 0xABCD, 0x0102, 0xFFFF})};
    ExpectPixels(LoadOk("rgb16.png", BuildPng(layout)), 2, 1, [](int x, int) {
        return x == 0 ? Bgr{0x33, 0x22, 0x11} : Bgr{0xFF, 0x01, 0xAB};
    });
}

TEST_F(CodecTest, PngAlphaIsFlattenedOntoWhite) {
    // Hand-worked blends: black at half alpha is (0 + 255 * 127) / 255 = 127; 200 at alpha 128 is
    // (25600 + 32385) / 255 = 227.4 -> 227; 100 at alpha 1 is (100 + 64770) / 255 = 254.4 -> 254.
    EXPECT_EQ(OnWhite(0, 128), 127);
    EXPECT_EQ(OnWhite(200, 128), 227);
    EXPECT_EQ(OnWhite(100, 1), 254);

    const int alphas[] = {0, 1, 64, 127, 128, 200, 254, 255};
    PngLayout layout{8, 3, 8, PNG_COLOR_TYPE_RGBA};
    auto colour = [](int x, int y) { return std::array<int, 3>{(x * 37 + y * 90) % 256, (x * 11 + 5) % 256, y * 100}; };
    for (int y = 0; y < 3; ++y) {
        Bytes row;
        for (int x = 0; x < 8; ++x) {
            const auto c = colour(x, y);
            row.insert(row.end(),
                       {std::uint8_t(c[0]), std::uint8_t(c[1]), std::uint8_t(c[2]), std::uint8_t(alphas[x])});
        }
        layout.rows.push_back(row);
    }
    auto expected = [&](int x, int y) {
        const auto c = colour(x, y);
        return Bgr{OnWhite(c[2], alphas[x]), OnWhite(c[1], alphas[x]), OnWhite(c[0], alphas[x])};
    };
    ExpectPixels(LoadOk("rgba.png", BuildPng(layout)), 8, 3, expected);
    layout.interlaced = true;
    ExpectPixels(LoadOk("rgba-interlaced.png", BuildPng(layout)), 8, 3, expected);

    layout = PngLayout{3, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA};
    layout.rows = {{100, 0, 100, 255, 0, 128}};
    ExpectPixels(LoadOk("greyalpha.png", BuildPng(layout)), 3, 1, [](int x, int) {
        const std::uint8_t v = x == 0 ? 255 : x == 1 ? 100 : 127;
        return Bgr{v, v, v};
    });

    layout = PngLayout{2, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA};
    layout.rows = {Samples16({0xC8FF, 0, 0, 0x80FF, 0x1234, 0x5678, 0x9ABC, 0xFFFF})};
    ExpectPixels(LoadOk("rgba16.png", BuildPng(layout)), 2, 1, [](int x, int) {
        return x == 0 ? Bgr{OnWhite(0, 0x80), OnWhite(0, 0x80), OnWhite(0xC8, 0x80)} : Bgr{0x9A, 0x56, 0x12};
    });
}

TEST_F(CodecTest, PngTransparencyChunk) {
    PngLayout layout{4, 1, 8, PNG_COLOR_TYPE_PALETTE};
    layout.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 200}, {9, 9, 9}};
    layout.paletteAlpha = {255, 0, 128};  // the fourth colour has no entry: opaque
    layout.rows = {{0, 1, 2, 3}};
    ExpectPixels(LoadOk("trns-palette.png", BuildPng(layout)), 4, 1, [](int x, int) {
        switch (x) {
            case 0:
                return Bgr{0, 0, 255};
            case 1:
                return Bgr{255, 255, 255};
            case 2:
                return Bgr{OnWhite(200, 128), OnWhite(0, 128), OnWhite(0, 128)};
            default:
                return Bgr{9, 9, 9};
        }
    });

    layout = PngLayout{3, 1, 8, PNG_COLOR_TYPE_RGB};
    layout.colorKey = true;
    layout.key.red = 10;
    layout.key.green = 20;
    layout.key.blue = 30;
    layout.rows = {{10, 20, 30, 10, 20, 31, 0, 0, 0}};
    ExpectPixels(LoadOk("trns-rgb.png", BuildPng(layout)), 3, 1, [](int x, int) {
        return x == 0 ? Bgr{255, 255, 255} : x == 1 ? Bgr{31, 20, 10} : Bgr{0, 0, 0};
    });
}

TEST_F(CodecTest, PngInterlacedMatchesPlain) {
    const std::pair<int, int> sizes[] = {{1, 1}, {3, 5}, {13, 11}, {9, 1}, {1, 9}, {2, 2}, {17, 3}};
    for (const auto& [width, height] : sizes) {
        const Picture original = PatternPicture(width, height);
        PngLayout layout{width, height, 8, PNG_COLOR_TYPE_RGB, true};
        for (int y = 0; y < height; ++y) {
            Bytes row;
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* p = original.pixel(x, y);
                row.insert(row.end(), {p[2], p[1], p[0]});
            }
            layout.rows.push_back(row);
        }
        EXPECT_TRUE(LoadOk("interlaced.png", BuildPng(layout)) == original) << width << " x " << height;
    }
}

TEST_F(CodecTest, PngWriterWritesEightBitRgb) {
    const std::string path = dir_.path("out.png");
    ASSERT_TRUE(SavePicture(PatternPicture(5, 4), path, 90).ok());
    const Bytes file = test::ReadFile(path);
    ASSERT_GT(file.size(), 33u);
    EXPECT_EQ(png_sig_cmp(file.data(), 0, 8), 0);
    EXPECT_EQ(std::string(file.begin() + 12, file.begin() + 16), "IHDR");
    EXPECT_EQ(file[24], 8);  // bit depth
    EXPECT_EQ(file[25], PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(file[28], PNG_INTERLACE_NONE);
}

Bytes SmallPng() {
    PngLayout layout{6, 5, 8, PNG_COLOR_TYPE_RGB};
    const Picture picture = PatternPicture(6, 5);
    for (int y = 0; y < 5; ++y) {
        Bytes row;
        for (int x = 0; x < 6; ++x)
            row.insert(row.end(), {picture.pixel(x, y)[2], picture.pixel(x, y)[1], picture.pixel(x, y)[0]});
        layout.rows.push_back(row);
    }
    return BuildPng(layout);
}

// Offset of the first byte of data of the first chunk of the given type.
std::size_t ChunkData(const Bytes& png, const char* type) {
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const std::size_t length = png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
        if (std::memcmp(&png[at + 4], type, 4) == 0) return at + 8;
        at += 12 + length;
    }
    ADD_FAILURE() << "no " << type << " chunk";
    return 0;
}

void FixCrc(Bytes& png, std::size_t dataAt) {
    const std::size_t length = png[dataAt - 8] << 24 | png[dataAt - 7] << 16 | png[dataAt - 6] << 8 | png[dataAt - 5];
    const uLong crc = crc32(0, &png[dataAt - 4], static_cast<uInt>(length + 4));
    for (int i = 0; i < 4; ++i) png[dataAt + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
}

TEST_F(CodecTest, PngDamage) {
    const Bytes good = SmallPng();
    ASSERT_TRUE(LoadOk("good.png", good) == PatternPicture(6, 5));
    ExpectEveryCutFails("cut.png", good);

    // A flipped byte in the image data: caught by the chunk's checksum.
    const std::size_t idat = ChunkData(good, "IDAT");
    Bytes bad = good;
    bad[idat + 5] ^= 0x55;
    EXPECT_NE(ExpectError("crc.png", bad).reason().find("damaged"), std::string::npos);
    // The same with a matching checksum: zlib finds it.
    FixCrc(bad, idat);
    ExpectError("zlib.png", bad);
    // Garbage over the whole compressed stream.
    bad = good;
    for (std::size_t i = idat; i < idat + 20; ++i) bad[i] = static_cast<std::uint8_t>(i * 77);
    FixCrc(bad, idat);
    ExpectError("garbage.png", bad);
    // An impossible header field.
    bad = good;
    bad[ChunkData(good, "IHDR") + 8] = 7;  // bit depth 7
    FixCrc(bad, ChunkData(good, "IHDR"));
    ExpectError("depth.png", bad);
}

TEST_F(CodecTest, PngAbsurdSizesAreRejectedBeforeAllocating) {
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{100000, 100000}, {20000, 20000}}) {
        PngLayout layout{width, height, 8, PNG_COLOR_TYPE_RGB};
        layout.headerOnly = true;
        const Status status = ExpectError("huge.png", BuildPng(layout));
        EXPECT_NE(status.reason().find("larger than the limit of 250 megapixels"), std::string::npos)
            << status.reason();
    }
    // Sizes whose product overflows 64-bit arithmetic.
    Bytes widest = SmallPng();
    std::fill_n(widest.begin() + static_cast<std::ptrdiff_t>(ChunkData(widest, "IHDR")), 8, 0xFF);
    FixCrc(widest, ChunkData(widest, "IHDR"));
    EXPECT_NE(ExpectError("widest.png", widest).reason().find("larger than the limit"), std::string::npos);
    // Beyond libpng's own width ceiling: still a clean error.
    Bytes wide = SmallPng();
    const std::size_t ihdr = ChunkData(wide, "IHDR");
    const std::uint8_t twoMillionByOne[8] = {0x00, 0x1E, 0x84, 0x80, 0, 0, 0, 1};
    std::memcpy(&wide[ihdr], twoMillionByOne, 8);
    FixCrc(wide, ihdr);
    ExpectError("wide.png", wide);
}

}  // namespace
}  // namespace turnlet::test
