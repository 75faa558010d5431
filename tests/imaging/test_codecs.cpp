// SPDX-License-Identifier: MIT
// Tests of the three decoders on files built byte by byte: every BMP depth and layout, PNG colour
// types through libpng's writer, JPEG variants through TurboJPEG, and damaged or hostile files.
#include <gtest/gtest.h>
#include <png.h>
#include <turbojpeg.h>
#include <zlib.h>

#include <array>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <functional>

#include "image_files_test_support.h"
#include "codecs/image_files.h"
#include "codecs/picture_writer.h"

namespace turnlet {
namespace {

using test::Bytes;
using test::PatternPicture;
using test::PixelAt;
using test::SmoothPicture;
using test::TempDir;
using test::WriteFile;
using Bgr = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}

// ---- BMP files built by hand ----

struct BmpLayout {
    BmpLayout(int w, int h, int b, std::uint32_t c = 0, std::uint32_t header = 40)
        : width(w), height(h), bits(b), compression(c), headerSize(header) {}
    int width;
    int height;
    int bits;
    std::uint32_t compression;
    std::uint32_t headerSize;
    bool topDown = false;
    std::vector<Bgr> palette;  // blue, green, red
    std::vector<std::uint32_t> masks;
    std::uint32_t colorsUsed = 0;
    std::vector<Bytes> rows;  // top row first, without padding
    bool padLastRow = true;
};

Bytes BuildBmp(const BmpLayout& layout) {
    const bool core = layout.headerSize == 12;
    Bytes file(14 + layout.headerSize, 0);
    file[0] = 'B';
    file[1] = 'M';
    Put32(file, 14, layout.headerSize);
    if (core) {
        Put16(file, 18, static_cast<std::uint32_t>(layout.width));
        Put16(file, 20, static_cast<std::uint32_t>(layout.height));
        Put16(file, 22, 1);
        Put16(file, 24, static_cast<std::uint32_t>(layout.bits));
    } else {
        Put32(file, 18, static_cast<std::uint32_t>(layout.width));
        Put32(file, 22, static_cast<std::uint32_t>(layout.topDown ? -layout.height : layout.height));
        Put16(file, 26, 1);
        Put16(file, 28, static_cast<std::uint32_t>(layout.bits));
        Put32(file, 30, layout.compression);
        Put32(file, 46, layout.colorsUsed);
    }
    for (std::size_t i = 0; i < layout.masks.size(); ++i) {
        if (layout.headerSize == 40) file.resize(file.size() + 4);
        Put32(file, 54 + 4 * i, layout.masks[i]);
    }
    for (const Bgr& c : layout.palette) {
        file.insert(file.end(), c.begin(), c.end());
        if (!core) file.push_back(0x5A);  // reserved byte, must be ignored
    }
    Put32(file, 10, static_cast<std::uint32_t>(file.size()));
    const std::size_t n = layout.rows.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Bytes& row = layout.rows[layout.topDown ? i : n - 1 - i];
        file.insert(file.end(), row.begin(), row.end());
        if (i + 1 < n || layout.padLastRow) file.resize(file.size() + (4 - row.size() % 4) % 4, 0);
    }
    Put32(file, 2, static_cast<std::uint32_t>(file.size()));
    return file;
}

Bytes PackIndexes(const std::vector<int>& indexes, int bits) {
    Bytes row((indexes.size() * bits + 7) / 8, 0);
    for (std::size_t x = 0; x < indexes.size(); ++x) {
        const std::size_t bit = x * bits;
        row[bit / 8] |= static_cast<std::uint8_t>(indexes[x] << (8 - bits - bit % 8));
    }
    return row;
}

Bytes PackWords(const std::vector<std::uint32_t>& values, int bytesEach) {
    Bytes row;
    for (std::uint32_t v : values) {
        for (int i = 0; i < bytesEach; ++i) row.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    return row;
}

class CodecTest : public ::testing::Test {
  protected:
    Status Load(const std::string& name, const Bytes& bytes, Picture& target) {
        const std::string path = dir_.path(name);
        WriteFile(path, bytes);
        return LoadPicture(path, target);
    }
    Picture LoadOk(const std::string& name, const Bytes& bytes) {
        Picture picture;
        const Status status = Load(name, bytes, picture);
        EXPECT_TRUE(status.ok()) << status.message();
        return picture;
    }
    // A failing load must name the file and leave the target untouched.
    Status ExpectError(const std::string& name, const Bytes& bytes) {
        Picture target = PatternPicture(3, 2);
        const Status status = Load(name, bytes, target);
        EXPECT_EQ(status.code(), Status::Code::Error) << name;
        EXPECT_EQ(status.file(), dir_.path(name));
        EXPECT_TRUE(target == PatternPicture(3, 2)) << name;
        return status;
    }
    // Every shorter copy of a valid file fails cleanly.
    void ExpectEveryCutFails(const std::string& name, const Bytes& whole) {
        for (std::size_t length = 1; length < whole.size(); ++length) {
            SCOPED_TRACE("cut at " + std::to_string(length) + " of " + std::to_string(whole.size()));
            ExpectError(name, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
        }
    }

    TempDir dir_;
};

void ExpectPixels(const Picture& picture, int width, int height, const std::function<Bgr(int, int)>& expected) {
    ASSERT_EQ(picture.width(), width);
    ASSERT_EQ(picture.height(), height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) EXPECT_EQ(PixelAt(picture, x, y), expected(x, y)) << x << "," << y;
    }
}

TEST_F(CodecTest, BmpPaletteDepths) {
    const std::vector<Bgr> palette16 = [] {
        std::vector<Bgr> p;
        for (int i = 0; i < 16; ++i) p.push_back({std::uint8_t(i * 16), std::uint8_t(255 - i * 16), std::uint8_t(i)});
        return p;
    }();
    for (int bits : {1, 4, 8}) {
        for (bool topDown : {false, true}) {
            for (std::uint32_t headerSize : {12u, 40u, 124u}) {
                if (headerSize == 12 && topDown) continue;  // the old header has unsigned sizes
                const int width = 11;                       // crosses byte boundaries at every depth
                const int height = 3;
                const int colors = 1 << std::min(bits, 4);
                auto index = [&](int x, int y) { return (x * 3 + y * 5) % colors; };
                BmpLayout layout{width, height, bits};
                layout.headerSize = headerSize;
                layout.topDown = topDown;
                layout.palette.assign(palette16.begin(), palette16.begin() + colors);
                layout.colorsUsed = bits == 8 ? static_cast<std::uint32_t>(colors) : 0;
                for (int y = 0; y < height; ++y) {
                    std::vector<int> row;
                    for (int x = 0; x < width; ++x) row.push_back(index(x, y));
                    layout.rows.push_back(PackIndexes(row, bits));
                }
                SCOPED_TRACE(std::to_string(bits) + " bits, header " + std::to_string(headerSize) +
                             (topDown ? ", top-down" : ""));
                const Picture picture = LoadOk("palette.bmp", BuildBmp(layout));
                ExpectPixels(picture, width, height, [&](int x, int y) { return palette16[index(x, y)]; });
            }
        }
    }
}

TEST_F(CodecTest, BmpPaletteIndexesBeyondThePaletteAreBlack) {
    const Bgr red{0, 0, 255}, green{0, 255, 0};
    BmpLayout layout{4, 1, 8};
    layout.palette = {red, green};
    layout.rows = {PackIndexes({0, 1, 2, 255}, 8)};
    // Declared count of two colours, and the palette actually stored holding two.
    layout.colorsUsed = 2;
    Picture picture = LoadOk("short.bmp", BuildBmp(layout));
    ExpectPixels(picture, 4, 1, [&](int x, int) { return x == 0 ? red : x == 1 ? green : Bgr{0, 0, 0}; });
    // No declared count (256 expected) but only two entries before the pixel data.
    layout.colorsUsed = 0;
    picture = LoadOk("missing.bmp", BuildBmp(layout));
    ExpectPixels(picture, 4, 1, [&](int x, int) { return x == 0 ? red : x == 1 ? green : Bgr{0, 0, 0}; });
    // An absurd count is capped, not trusted.
    layout.colorsUsed = 0xFFFFFFFF;
    picture = LoadOk("absurd.bmp", BuildBmp(layout));
    ExpectPixels(picture, 4, 1, [&](int x, int) { return x == 0 ? red : x == 1 ? green : Bgr{0, 0, 0}; });
}

TEST_F(CodecTest, Bmp16BitsDefault555) {
    // Channels scale as v * 255 / 31 rounded to nearest; the top bit is unused.
    const std::vector<std::uint32_t> values = {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x0001, 0x0421, 0x8000, 0x4210};
    const std::vector<Bgr> expected = {{255, 255, 255}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0},
                                       {8, 0, 0},       {8, 8, 8},   {0, 0, 0},   {132, 132, 132}};
    BmpLayout layout{4, 2, 16};
    layout.rows = {PackWords({values.begin(), values.begin() + 4}, 2),
                   PackWords({values.begin() + 4, values.end()}, 2)};
    const Picture picture = LoadOk("555.bmp", BuildBmp(layout));
    ExpectPixels(picture, 4, 2, [&](int x, int y) { return expected[y * 4 + x]; });
}

TEST_F(CodecTest, Bmp16Bits565WithMasksAfterOrInsideTheHeader) {
    const std::vector<std::uint32_t> values = {0xF800, 0x07E0, 0x001F, 0x0020, 0xFFFF, 0x0841};
    // Six-bit green: 1 * 255 / 63 = 4.05 -> 4; five-bit: 1 * 255 / 31 = 8.2 -> 8.
    const std::vector<Bgr> expected = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 4, 0}, {255, 255, 255}, {8, 8, 8}};
    for (std::uint32_t headerSize : {40u, 56u, 108u, 124u}) {
        BmpLayout layout{3, 2, 16, 3, headerSize};
        layout.masks = {0xF800, 0x07E0, 0x001F};
        layout.rows = {PackWords({0xF800, 0x07E0, 0x001F}, 2), PackWords({0x0020, 0xFFFF, 0x0841}, 2)};
        SCOPED_TRACE("header " + std::to_string(headerSize));
        const Picture picture = LoadOk("565.bmp", BuildBmp(layout));
        ExpectPixels(picture, 3, 2, [&](int x, int y) { return expected[y * 3 + x]; });
    }
}

TEST_F(CodecTest, Bmp24BitsEveryPaddingBothOrders) {
    for (int width = 1; width <= 5; ++width) {
        for (bool topDown : {false, true}) {
            const Picture original = PatternPicture(width, 3);
            BmpLayout layout{width, 3, 24};
            layout.topDown = topDown;
            for (int y = 0; y < 3; ++y) layout.rows.emplace_back(original.row(y), original.row(y) + original.stride());
            EXPECT_TRUE(LoadOk("24.bmp", BuildBmp(layout)) == original) << width << (topDown ? " top-down" : "");
            // Writers that leave out the last row's padding are accepted.
            layout.padLastRow = false;
            EXPECT_TRUE(LoadOk("24-unpadded.bmp", BuildBmp(layout)) == original) << width;
        }
    }
}

TEST_F(CodecTest, Bmp32BitsIgnoresTheFourthByte) {
    for (bool topDown : {false, true}) {
        const Picture original = PatternPicture(3, 2);
        BmpLayout layout{3, 2, 32};
        layout.topDown = topDown;
        for (int y = 0; y < 2; ++y) {
            Bytes row;
            for (int x = 0; x < 3; ++x) {
                const std::uint8_t* p = original.pixel(x, y);
                row.insert(row.end(), {p[0], p[1], p[2], static_cast<std::uint8_t>(0x11 * (x + y + 1))});
            }
            layout.rows.push_back(row);
        }
        EXPECT_TRUE(LoadOk("32.bmp", BuildBmp(layout)) == original);
    }
}

TEST_F(CodecTest, Bmp32BitsWithMasks) {
    // Red in the top byte, then green, then blue, alpha-like byte at the bottom.
    BmpLayout layout{2, 1, 32, 3};
    layout.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
    layout.rows = {PackWords({0x102030FF, 0xFFEEDD00}, 4)};
    Picture picture = LoadOk("rgbx.bmp", BuildBmp(layout));
    ExpectPixels(picture, 2, 1, [](int x, int) { return x == 0 ? Bgr{0x30, 0x20, 0x10} : Bgr{0xDD, 0xEE, 0xFF}; });

    // Ten bits a channel: 1023 -> 255, 512 -> 512 * 255 / 1023 = 127.6 -> 128, 1 -> 0.
    layout = BmpLayout{3, 1, 32, 3, 108};
    layout.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    layout.rows = {PackWords({0x3FF00000 | (512u << 10) | 1u, 0x000FFC00, 0x000003FF}, 4)};
    picture = LoadOk("10bit.bmp", BuildBmp(layout));
    ExpectPixels(picture, 3, 1, [](int x, int) {
        return x == 0 ? Bgr{0, 128, 255} : x == 1 ? Bgr{0, 255, 0} : Bgr{255, 0, 0};
    });

    // The ordinary masks take the same path as plain 32-bit files.
    layout = BmpLayout{1, 1, 32, 3};
    layout.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    layout.rows = {PackWords({0xAA123456}, 4)};
    ExpectPixels(LoadOk("bgrx.bmp", BuildBmp(layout)), 1, 1, [](int, int) { return Bgr{0x56, 0x34, 0x12}; });

    // A mask of zero gives that channel 0.
    layout.masks = {0x00FF0000, 0, 0x000000FF};
    ExpectPixels(LoadOk("nogreen.bmp", BuildBmp(layout)), 1, 1, [](int, int) { return Bgr{0x56, 0, 0x12}; });
}

BmpLayout SmallBmp24() {
    BmpLayout layout{4, 3, 24};  // 12-byte rows: no padding, so every cut loses pixels
    const Picture picture = PatternPicture(4, 3);
    for (int y = 0; y < 3; ++y) layout.rows.emplace_back(picture.row(y), picture.row(y) + picture.stride());
    return layout;
}

TEST_F(CodecTest, BmpRejectsWhatItCannotRead) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"wrong magic", [](Bytes& b) { b[0] = 'M'; }, "not a BMP file"},
        {"RLE8", [](Bytes& b) { Put32(b, 30, 1); }, "RLE"},
        {"RLE4", [](Bytes& b) { Put32(b, 30, 2); }, "RLE"},
        {"JPEG inside", [](Bytes& b) { Put32(b, 30, 4); }, "JPEG"},
        {"PNG inside", [](Bytes& b) { Put32(b, 30, 5); }, "PNG"},
        {"unknown compression", [](Bytes& b) { Put32(b, 30, 77); }, "compression"},
        {"masks on 24 bits", [](Bytes& b) { Put32(b, 30, 3); }, "not supported"},
        {"depth 2", [](Bytes& b) { Put16(b, 28, 2); }, "depth"},
        {"depth 0", [](Bytes& b) { Put16(b, 28, 0); }, "depth"},
        {"depth 64", [](Bytes& b) { Put16(b, 28, 64); }, "depth"},
        {"zero width", [](Bytes& b) { Put32(b, 18, 0); }, "invalid BMP size"},
        {"negative width", [](Bytes& b) { Put32(b, 18, static_cast<std::uint32_t>(-4)); }, "invalid BMP size"},
        {"zero height", [](Bytes& b) { Put32(b, 22, 0); }, "invalid BMP size"},
        {"height INT_MIN", [](Bytes& b) { Put32(b, 22, 0x80000000u); }, "height"},
        {"huge", [](Bytes& b) { Put32(b, 18, 100000), Put32(b, 22, 100000); },
         "larger than the limit of 250 megapixels"},
        {"huge top-down", [](Bytes& b) { Put32(b, 18, 100000), Put32(b, 22, static_cast<std::uint32_t>(-100000)); },
         "larger"},
        {"widest", [](Bytes& b) { Put32(b, 18, 0x7FFFFFFF), Put32(b, 22, 1); }, "larger"},
        {"tall, fits the limit, no data", [](Bytes& b) { Put32(b, 22, 1000000); }, "truncated"},
        {"data offset past the end", [](Bytes& b) { Put32(b, 10, 100000); }, "outside the file"},
        {"data offset inside the header", [](Bytes& b) { Put32(b, 10, 20); }, "outside the file"},
        {"data offset at 4 GB", [](Bytes& b) { Put32(b, 10, 0xFFFFFFFF); }, "outside the file"},
        {"header size 20", [](Bytes& b) { Put32(b, 14, 20); }, "header"},
        {"header size huge", [](Bytes& b) { Put32(b, 14, 0xFFFFFFF0); }, "header"},
        {"header longer than the file", [](Bytes& b) { Put32(b, 14, 124), b.resize(100); }, "header"},
    };
    for (const Case& c : cases) {
        Bytes file = BuildBmp(SmallBmp24());
        c.damage(file);
        const Status status = ExpectError("bad.bmp", file);
        EXPECT_NE(status.reason().find(c.reason), std::string::npos) << c.what << ": " << status.reason();
    }
}

TEST_F(CodecTest, BmpMasksCutOffByTheFileEnd) {
    BmpLayout layout{1, 1, 16, 3};
    Bytes file = BuildBmp(layout);  // no masks and no pixels: the header ends the file
    file.resize(14 + 40);
    Put32(file, 10, 54);
    ExpectError("nomasks.bmp", file);
}

TEST_F(CodecTest, BmpEveryTruncationFails) {
    ExpectEveryCutFails("cut.bmp", BuildBmp(SmallBmp24()));
    BmpLayout layout{9, 2, 4};
    layout.palette.assign(16, Bgr{1, 2, 3});
    layout.rows = {PackIndexes({1, 2, 3, 4, 5, 6, 7, 8, 9}, 4), PackIndexes({9, 8, 7, 6, 5, 4, 3, 2, 1}, 4)};
    layout.padLastRow = false;
    ExpectEveryCutFails("cut4.bmp", BuildBmp(layout));
}

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

// ---- JPEG files made with TurboJPEG ----

Bytes Compress(const std::uint8_t* pixels, int width, int height, int format, int subsampling, int flags = 0) {
    tjhandle handle = tjInitCompress();
    unsigned char* data = nullptr;
    unsigned long size = 0;
    const int pitch = width * tjPixelSize[format];
    EXPECT_EQ(tjCompress2(handle, pixels, width, pitch, height, format, &data, &size, subsampling, 90, flags), 0)
        << tjGetErrorStr2(handle);
    Bytes out(data, data + size);
    tjFree(data);
    tjDestroy(handle);
    return out;
}

Bytes SmallJpeg(int flags = 0) {
    const Picture picture = SmoothPicture(48, 32);
    return Compress(picture.data(), 48, 32, TJPF_BGR, TJSAMP_420, flags);
}

std::size_t FindMarker(const Bytes& jpeg, std::uint8_t marker) {
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
    }
    ADD_FAILURE() << "no marker " << int(marker);
    return 0;
}

TEST_F(CodecTest, JpegGreyGivesThreeEqualChannels) {
    Bytes grey(40 * 24);
    for (std::size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<std::uint8_t>(i % 40 * 6);
    const Picture picture = LoadOk("grey.jpg", Compress(grey.data(), 40, 24, TJPF_GRAY, TJSAMP_GRAY));
    ASSERT_EQ(picture.width(), 40);
    ASSERT_EQ(picture.height(), 24);
    int maxDiff = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 40; ++x) {
            const std::uint8_t* p = picture.pixel(x, y);
            ASSERT_EQ(p[0], p[1]);
            ASSERT_EQ(p[1], p[2]);
            maxDiff = std::max(maxDiff, std::abs(p[0] - grey[y * 40 + x]));
        }
    }
    EXPECT_LE(maxDiff, 12);
}

TEST_F(CodecTest, JpegProgressiveAndOddSizesDecode) {
    const Picture original = SmoothPicture(33, 17);
    for (int subsampling : {TJSAMP_444, TJSAMP_422, TJSAMP_420}) {
        for (int flags : {0, TJFLAG_PROGRESSIVE}) {
            const Picture picture = LoadOk("odd.jpg", Compress(original.data(), 33, 17, TJPF_BGR, subsampling, flags));
            ASSERT_EQ(picture.width(), 33);
            ASSERT_EQ(picture.height(), 17);
            // Colours stay roughly where they were: blue, green and red are not swapped.
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(picture.pixel(16, 8)[c], original.pixel(16, 8)[c], 12) << c;
        }
    }
}

TEST_F(CodecTest, JpegWriterKeepsFullColourResolutionFromQuality90) {
    for (const auto& [quality, expected] : std::vector<std::pair<int, int>>{
             {100, TJSAMP_444}, {90, TJSAMP_444}, {89, TJSAMP_420}, {50, TJSAMP_420}, {1, TJSAMP_420}}) {
        const std::string path = dir_.path("q.jpg");
        ASSERT_TRUE(SavePicture(SmoothPicture(32, 16), path, quality).ok());
        const Bytes file = test::ReadFile(path);
        tjhandle handle = tjInitDecompress();
        int width = 0, height = 0, subsampling = -1, colorspace = -1;
        EXPECT_EQ(tjDecompressHeader3(handle, file.data(), file.size(), &width, &height, &subsampling, &colorspace), 0);
        tjDestroy(handle);
        EXPECT_EQ(subsampling, expected) << quality;
        EXPECT_EQ(colorspace, TJCS_YCbCr);
        EXPECT_EQ(width, 32);
        EXPECT_EQ(height, 16);
    }
}

TEST_F(CodecTest, JpegCmykIsRejected) {
    Bytes cmyk(16 * 8 * 4, 0x40);
    const Status status = ExpectError("cmyk.jpg", Compress(cmyk.data(), 16, 8, TJPF_CMYK, TJSAMP_444));
    EXPECT_EQ(status.reason(), "CMYK JPEG is not supported");
}

TEST_F(CodecTest, JpegEveryTruncationFails) {
    ExpectEveryCutFails("cut.jpg", SmallJpeg());
    ExpectEveryCutFails("cutp.jpg", SmallJpeg(TJFLAG_PROGRESSIVE));
}

TEST_F(CodecTest, JpegCorruption) {
    const Bytes good = SmallJpeg();
    const std::size_t scan = FindMarker(good, 0xDA);
    const std::size_t end = FindMarker(good, 0xD9);
    ASSERT_LT(scan + 40, end);
    // An end-of-image marker in the middle of the scan: the rest of the picture is missing.
    Bytes bad = good;
    bad[(scan + end) / 2] = 0xFF;
    bad[(scan + end) / 2 + 1] = 0xD9;
    EXPECT_NE(ExpectError("eoi.jpg", bad).reason().find("damaged or truncated JPEG data"), std::string::npos);
    // A wrecked Huffman table.
    bad = good;
    const std::size_t dht = FindMarker(good, 0xC4);
    std::fill(bad.begin() + dht + 5, bad.begin() + dht + 21, 0xFF);
    ExpectError("dht.jpg", bad);
    // Garbage runs anywhere in the scan: the result is an error or a picture of the right size.
    for (std::size_t at = scan + 14; at + 8 < end; at += 7) {
        bad = good;
        for (std::size_t i = at; i < at + 8; ++i) bad[i] = static_cast<std::uint8_t>(i * 151 + 3);
        Picture target = PatternPicture(3, 2);
        const Status status = Load("garbage.jpg", bad, target);
        if (status.ok()) {
            EXPECT_EQ(target.width(), 48);
            EXPECT_EQ(target.height(), 32);
        } else {
            EXPECT_EQ(status.file(), dir_.path("garbage.jpg"));
            EXPECT_TRUE(target == PatternPicture(3, 2));
        }
    }
}

TEST_F(CodecTest, JpegAbsurdSizesAreRejectedBeforeAllocating) {
    const Bytes good = SmallJpeg();
    const std::size_t sof = FindMarker(good, 0xC0);
    auto withSize = [&](int width, int height) {
        Bytes bad = good;
        bad[sof + 5] = static_cast<std::uint8_t>(height >> 8);
        bad[sof + 6] = static_cast<std::uint8_t>(height);
        bad[sof + 7] = static_cast<std::uint8_t>(width >> 8);
        bad[sof + 8] = static_cast<std::uint8_t>(width);
        return bad;
    };
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{60000, 60000}, {30000, 9000}}) {
        const Status status = ExpectError("huge.jpg", withSize(width, height));
        EXPECT_NE(status.reason().find("larger than the limit of 250 megapixels"), std::string::npos)
            << status.reason();
    }
    // Beyond what the JPEG decoder itself accepts, or empty.
    ExpectError("max.jpg", withSize(65535, 65535));
    ExpectError("zero.jpg", withSize(0, 32));
    ExpectError("zero.jpg", withSize(48, 0));
}

// Writes overlap, yet the files end as if written one after the other: when one fails, none
// started after it stays, and the failure comes back once, first in order.
TEST(PictureWriter, AFailedWriteLeavesNoLaterFileAndIsReportedFirst) {
    TempDir dir;
    const Picture picture = PatternPicture(300, 200);
    // The failing write is slow (encoded before its file is opened), so later ones finish first.
    const Picture large = PatternPicture(3000, 2000);
    for (const int failing : {0, 1, 3}) {
        SCOPED_TRACE(failing);
        std::vector<std::string> paths;
        for (int k = 0; k < 5; ++k)
            paths.push_back(dir.path(std::to_string(failing) + "_" + std::to_string(k) + ".jpg"));
        std::filesystem::create_directory(paths[failing]);  // in the way
        PictureWriter writer;
        Status status;
        int k = 0;
        for (; k < 5 && status.ok(); ++k) status = writer.Start(k == failing ? large : picture, paths[k], 90);
        if (status.ok()) status = writer.Wait();
        EXPECT_EQ(status.file(), paths[failing]);
        EXPECT_TRUE(writer.Wait().ok());  // reported once
        for (int j = 0; j < 5; ++j) EXPECT_EQ(std::filesystem::is_regular_file(paths[j]), j < failing) << j;
    }
    PictureWriter writer;
    for (int k = 0; k < 4; ++k)
        ASSERT_TRUE(writer.Start(picture, dir.path("ok" + std::to_string(k) + ".png"), 90).ok());
    ASSERT_TRUE(writer.Wait().ok());
    Picture back;
    ASSERT_TRUE(LoadPicture(dir.path("ok3.png"), back).ok());
    EXPECT_TRUE(back == picture);
}

}  // namespace
}  // namespace turnlet
