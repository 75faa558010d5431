// SPDX-License-Identifier: MIT
// WebP and AVIF frames: written and read back by extension, transparency flattened like PNG's, and
// cut, noisy or boastful files refused with the file named.
#include <avif/avif.h>
#include <gtest/gtest.h>
#include <webp/encode.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "codecs/avif_io.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_scaled.h"
#include "codecs/webp_io.h"
#include "image_files_test_support.h"

namespace turnlet {
namespace {

using test::Bytes;
using test::ReadFile;
using test::SmoothPicture;
using test::TempDir;
using test::WriteFile;

// Largest difference of any channel of any pixel.
int MaxDifference(const Picture& a, const Picture& b) {
    int most = 0;
    for (std::size_t i = 0; i < a.byteSize(); ++i) most = std::max(most, std::abs(a.data()[i] - b.data()[i]));
    return most;
}

// Four flat quarters of clearly different colours: a swapped channel or a mirrored picture shows.
Picture Quarters(int width, int height) {
    Picture p(width, height);
    const std::uint8_t colours[4][3] = {{30, 40, 220}, {40, 200, 60}, {210, 50, 40}, {230, 230, 230}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) std::memcpy(p.pixel(x, y), colours[(y * 2 / height) * 2 + x * 2 / width], 3);
    return p;
}

std::size_t Find(const Bytes& bytes, const char* tag) {
    const Bytes wanted(tag, tag + std::strlen(tag));
    const auto at = std::search(bytes.begin(), bytes.end(), wanted.begin(), wanted.end());
    EXPECT_NE(at, bytes.end()) << tag;
    return static_cast<std::size_t>(at - bytes.begin());
}

class ModernCodecs : public ::testing::TestWithParam<const char*> {
  protected:
    std::string Path(const std::string& stem) const { return dir_.path(stem + GetParam()); }
    Bytes Saved(const Picture& picture, int quality = 90) {
        const std::string path = Path("saved");
        const Status status = SavePicture(picture, path, quality);
        EXPECT_TRUE(status.ok()) << status.message();
        return ReadFile(path);
    }
    // A load that must fail, name the file and leave the target as it was.
    void ExpectRefused(const Bytes& bytes, const std::string& stem, const std::string& reason = {}) {
        const std::string path = Path(stem);
        WriteFile(path, bytes);
        Picture target = SmoothPicture(3, 2);
        const Status status = LoadPicture(path, target);
        EXPECT_FALSE(status.ok()) << stem;
        EXPECT_EQ(status.file(), path);
        if (!reason.empty()) {
            EXPECT_NE(status.message().find(reason), std::string::npos) << status.message();
        }
        EXPECT_TRUE(target == SmoothPicture(3, 2)) << stem;
    }
    TempDir dir_;
};

// Every size from one pixel up, odd ones included, comes back at its size and close to what was
// written; the quarters keep their colours and places.
TEST_P(ModernCodecs, WrittenFramesReadBackAtTheirSizeAndColours) {
    const std::pair<int, int> sizes[] = {{1, 1}, {2, 3}, {17, 9}, {64, 48}, {301, 199}};
    for (const auto& [w, h] : sizes) {
        for (const Picture& picture : {Quarters(w, h), SmoothPicture(w, h)}) {
            WriteFile(Path("frame"), Saved(picture));
            Picture back;
            int width = 0, height = 0;
            ASSERT_TRUE(LoadPicture(Path("frame"), back).ok()) << w << "x" << h;
            ASSERT_TRUE(ReadPictureSize(Path("frame"), width, height).ok());
            EXPECT_EQ(width, w);
            EXPECT_EQ(height, h);
            ASSERT_EQ(back.width(), w);
            ASSERT_EQ(back.height(), h);
            // Flat areas away from the edges between quarters (chroma is shared by 2 x 2 pixels).
            if (w >= 64) {
                for (const auto& [x, y] : {std::pair{w / 8, h / 8}, {w * 7 / 8, h / 8}, {w / 8, h * 7 / 8}}) {
                    for (int c = 0; c < 3; ++c)
                        EXPECT_NEAR(back.pixel(x, y)[c], picture.pixel(x, y)[c], 6) << x << "," << y << " " << c;
                }
            }
            // Only across the quarters' edges may a pixel differ much (chroma is shared by 2 x 2 pixels).
            if (w >= 17 && picture.pixel(0, 0)[0] != 30) {
                EXPECT_LE(MaxDifference(back, picture), 12);
            }
        }
    }
}

// Higher quality never costs fewer bytes by much and never reads back worse; 1 and 100 both work.
TEST_P(ModernCodecs, QualityOrdersSizeAndFidelity) {
    const Picture picture = SmoothPicture(160, 120);
    std::size_t lastBytes = 0;
    int lastDifference = 256;
    for (int quality : {1, 50, 90, 100}) {
        const Bytes bytes = Saved(picture, quality);
        WriteFile(Path("q"), bytes);
        Picture back;
        ASSERT_TRUE(LoadPicture(Path("q"), back).ok()) << quality;
        const int difference = MaxDifference(back, picture);
        EXPECT_GE(bytes.size() * 11 / 10, lastBytes) << quality;
        EXPECT_LE(difference, lastDifference + 1) << quality;
        lastBytes = bytes.size();
        lastDifference = difference;
    }
    EXPECT_LE(lastDifference, 4);
}

// Files cut anywhere, or of another type, fail cleanly; so does a header claiming a picture far
// larger than the file could hold.
TEST_P(ModernCodecs, CutAndForeignFilesAreRefused) {
    const Bytes whole = Saved(Quarters(24, 16));
    for (std::size_t length = 0; length < whole.size(); length += std::max<std::size_t>(1, whole.size() / 97))
        ExpectRefused(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)), "cut");
    ExpectRefused(Bytes{'h', 'e', 'l', 'l', 'o'}, "text");
    Picture png = Quarters(4, 4);
    ASSERT_TRUE(SavePicture(png, dir_.path("other.png"), 90).ok());
    ExpectRefused(ReadFile(dir_.path("other.png")), "png");
}

// Noise anywhere in a file may decode to other pixels (the formats carry no checksum) but never
// crashes, and a picture that loads has the file's size.
TEST_P(ModernCodecs, NoiseNeverCrashes) {
    const Bytes whole = Saved(SmoothPicture(40, 30));
    std::uint32_t seed = 7;
    for (int round = 0; round < 300; ++round) {
        Bytes noisy = whole;
        for (int k = 0; k < 1 + round % 4; ++k) {
            seed = seed * 1103515245u + 12345u;
            noisy[(seed >> 8) % noisy.size()] ^= static_cast<std::uint8_t>(1 + (seed >> 24) % 255);
        }
        WriteFile(Path("noisy"), noisy);
        Picture back;
        const Status status = LoadPicture(Path("noisy"), back);
        if (status.ok())
            EXPECT_FALSE(back.empty());
        else
            EXPECT_EQ(status.file(), Path("noisy"));
    }
}

INSTANTIATE_TEST_SUITE_P(Types, ModernCodecs, ::testing::Values(".webp", ".avif"),
                         [](const auto& info) { return std::string(info.param + 1); });

TEST(ModernCodecs, FileTypesByExtension) {
    EXPECT_EQ(FileTypeOf("a.webp"), FileType::Webp);
    EXPECT_EQ(FileTypeOf("a.WebP"), FileType::Webp);
    EXPECT_EQ(FileTypeOf("a.avif"), FileType::Avif);
    EXPECT_EQ(FileTypeOf("a.AVIF"), FileType::Avif);
    EXPECT_EQ(FileTypeOf("a.avifs"), FileType::Unknown);
    EXPECT_EQ(FileTypeOf("a.web"), FileType::Unknown);
}

// The export's quality scale reaches each encoder's whole range in order, through the points
// measured against JPEG at 90.
TEST(ModernCodecs, QualityMappingsAreMonotoneThroughTheirAnchors) {
    EXPECT_FLOAT_EQ(WebpQuality(90), 94);
    EXPECT_FLOAT_EQ(WebpQuality(100), 100);
    EXPECT_EQ(AvifQuantizer(90), kAvifQuantizerAt90);
    EXPECT_EQ(AvifQuantizer(100), 0);
    EXPECT_EQ(AvifQuantizer(1), 63);
    for (int q = -5; q <= 105; ++q) {
        EXPECT_LE(WebpQuality(q), WebpQuality(q + 1)) << q;
        EXPECT_GE(AvifQuantizer(q), AvifQuantizer(q + 1)) << q;
        EXPECT_GT(WebpQuality(q), 0) << q;
    }
}

// Transparent pixels become white and half-transparent ones are blended as PNG's are.
TEST(ModernCodecs, TransparencyIsFlattenedOntoWhite) {
    TempDir dir;
    const int w = 8, h = 4;
    Bytes bgra(w * h * 4);
    for (int i = 0; i < w * h; ++i) {
        const std::uint8_t alpha = i % w < 2 ? 0 : i % w < 4 ? 128 : 255;
        const std::uint8_t pixel[4] = {200, 100, 20, alpha};
        std::memcpy(&bgra[i * 4], pixel, 4);
    }
    auto blended = [](int c, int a) { return (c * a + 255 * (255 - a) + 127) / 255; };
    auto check = [&](const Picture& p, int tolerance) {
        ASSERT_EQ(p.width(), w);
        for (int x = 0; x < w; ++x) {
            const int a = x < 2 ? 0 : x < 4 ? 128 : 255;
            EXPECT_NEAR(p.pixel(x, 1)[0], blended(200, a), tolerance) << x;
            EXPECT_NEAR(p.pixel(x, 1)[1], blended(100, a), tolerance) << x;
            EXPECT_NEAR(p.pixel(x, 1)[2], blended(20, a), tolerance) << x;
        }
    };
    std::uint8_t* webp = nullptr;
    const std::size_t size = WebPEncodeLosslessBGRA(bgra.data(), w, h, w * 4, &webp);
    ASSERT_GT(size, 0u);
    WriteFile(dir.path("alpha.webp"), Bytes(webp, webp + size));
    WebPFree(webp);
    Picture picture;
    ASSERT_TRUE(LoadPicture(dir.path("alpha.webp"), picture).ok());
    check(picture, 0);

    avifImage* image = avifImageCreate(w, h, 8, AVIF_PIXEL_FORMAT_YUV444);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.pixels = bgra.data();
    rgb.rowBytes = w * 4;
    ASSERT_EQ(avifImageRGBToYUV(image, &rgb), AVIF_RESULT_OK);
    avifEncoder* encoder = avifEncoderCreate();
    encoder->minQuantizer = encoder->maxQuantizer = encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = 0;
    avifRWData out = AVIF_DATA_EMPTY;
    ASSERT_EQ(avifEncoderWrite(encoder, image, &out), AVIF_RESULT_OK);
    WriteFile(dir.path("alpha.avif"), Bytes(out.data, out.data + out.size));
    avifRWDataFree(&out);
    avifEncoderDestroy(encoder);
    avifImageDestroy(image);
    ASSERT_TRUE(LoadPicture(dir.path("alpha.avif"), picture).ok());
    check(picture, 3);
}

// Headers that claim more pixels than we hold, or than a file of this size could carry, are refused
// before any pixel memory is asked for.
TEST(ModernCodecs, BoastfulHeadersAreRefused) {
    TempDir dir;
    auto refused = [&](const std::string& name, const Bytes& bytes, const std::string& reason) {
        WriteFile(dir.path(name), bytes);
        Picture target;
        const Status status = LoadPicture(dir.path(name), target);
        EXPECT_FALSE(status.ok()) << name;
        EXPECT_NE(status.message().find(reason), std::string::npos) << name << ": " << status.message();
        EXPECT_TRUE(target.empty());
    };
    ASSERT_TRUE(SavePicture(SmoothPicture(64, 48), dir.path("base.webp"), 90).ok());
    const Bytes webp = ReadFile(dir.path("base.webp"));
    // The lossy frame header: a start code, then 14-bit width and height.
    const std::size_t start = Find(webp, "\x9d\x01\x2a");
    auto webpSized = [&](int w, int h) {
        Bytes b = webp;
        b[start + 3] = static_cast<std::uint8_t>(w & 0xFF);
        b[start + 4] = static_cast<std::uint8_t>(w >> 8);
        b[start + 5] = static_cast<std::uint8_t>(h & 0xFF);
        b[start + 6] = static_cast<std::uint8_t>(h >> 8);
        return b;
    };
    refused("huge.webp", webpSized(16383, 16383), "larger than the limit");
    refused("bomb.webp", webpSized(9000, 9000), "decompression bomb");

    ASSERT_TRUE(SavePicture(SmoothPicture(64, 48), dir.path("base.avif"), 90).ok());
    const Bytes avif = ReadFile(dir.path("base.avif"));
    const std::size_t ispe = Find(avif, "ispe") + 8;
    auto avifSized = [&](std::uint32_t w, std::uint32_t h) {
        Bytes b = avif;
        for (int i = 0; i < 4; ++i) {
            b[ispe + i] = static_cast<std::uint8_t>(w >> (24 - 8 * i));
            b[ispe + 4 + i] = static_cast<std::uint8_t>(h >> (24 - 8 * i));
        }
        return b;
    };
    refused("huge.avif", avifSized(30000, 30000), "too large");
    refused("bomb.avif", avifSized(9000, 9000), "decompression bomb");
}

// Every input a fuzzer once found fatal is now refused with its file named.
TEST(FuzzRegressions, EachIsRefusedCleanly) {
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TURNLET_FUZZ_REGRESSIONS)) {
        Picture target;
        const Status status = LoadPicture(entry.path().string(), target);
        EXPECT_FALSE(status.ok()) << entry.path();
        EXPECT_EQ(status.file(), entry.path().string());
        // The alignment's reduced-scale decoder refuses them too, at every scale.
        if (entry.path().extension() == ".jpg") {
            const Bytes bytes = ReadFile(entry.path().string());
            for (const int denominator : {1, 2, 4, 8}) {
                Picture scaled;
                EXPECT_FALSE(DecodeJpegScaled(bytes, entry.path().string(), denominator, scaled).ok()) << entry.path();
            }
        }
        ++seen;
    }
    EXPECT_GE(seen, 3);
}

// An encoder that cannot take the picture leaves no file behind.
TEST(ModernCodecs, RefusedPicturesCreateNoFile) {
    TempDir dir;
    const Picture wide(WEBP_MAX_DIMENSION + 1, 1);
    const Status status = SavePicture(wide, dir.path("wide.webp"), 90);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find("at most"), std::string::npos) << status.message();
    EXPECT_FALSE(std::filesystem::exists(dir.path("wide.webp")));
}

// The same frame gives the same bytes at every setting, also while another encode runs beside it
// (the picture writer encodes two at once); a setting the encoder does not know fails, naming the file.
TEST(ModernCodecs, AvifBytesDependOnlyOnPictureAndSettings) {
    const Picture picture = SmoothPicture(96, 64);
    AvifEncoding tuned;
    tuned.trellis = true;
    tuned.options = {{"sb-size", "64"}, {"tune", "psnr"}};
    for (const AvifEncoding& encoding : {AvifEncoding{}, tuned}) {
        Bytes alone, first, second;
        ASSERT_TRUE(EncodeAvif(picture, 90, "a.avif", alone, encoding).ok());
        std::thread beside([&] { EXPECT_TRUE(EncodeAvif(picture, 90, "b.avif", second, encoding).ok()); });
        EXPECT_TRUE(EncodeAvif(picture, 90, "c.avif", first, encoding).ok());
        beside.join();
        EXPECT_EQ(first, alone);
        EXPECT_EQ(second, alone);
    }
    AvifEncoding unknown;
    unknown.options = {{"no-such-setting", "1"}};
    Bytes out;
    const Status status = EncodeAvif(picture, 90, "d.avif", out, unknown);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), "d.avif");
}

}  // namespace
}  // namespace turnlet
