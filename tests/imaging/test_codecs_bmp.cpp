// SPDX-License-Identifier: MIT
// The BMP decoder on files built byte by byte: every depth and layout, damaged and hostile files.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>

#include "codec_test_support.h"
#include "codecs/image_files.h"
#include "codecs/picture_writer.h"

namespace turnlet::test {
namespace {

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

Bytes PackWords(const std::vector<std::uint32_t>& values, int bytesEach) {
    Bytes row;
    for (std::uint32_t v : values) {
        for (int i = 0; i < bytesEach; ++i) row.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    return row;
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

}  // namespace
}  // namespace turnlet::test
