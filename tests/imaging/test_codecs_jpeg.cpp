// SPDX-License-Identifier: MIT
// The JPEG decoder and writer on files made with TurboJPEG.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>

#include "codec_test_support.h"
#include "codecs/image_files.h"
#include "codecs/picture_writer.h"

namespace turnlet::test {
namespace {

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
}  // namespace turnlet::test
