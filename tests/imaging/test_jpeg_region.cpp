// SPDX-License-Identifier: MIT
// Region decoding: every pixel it keeps equals that pixel of TurboJPEG's whole-picture decode, for
// every chroma layout, progressive and restart-marker files, odd sizes and regions on every edge.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it (above).
#include <jpeglib.h>

#include "image_files_test_support.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_io.h"

namespace turnlet {
namespace {

using test::Bytes;

struct Layout {
    const char* name;
    int components;  // 1: grey
    int h0, v0;      // luma sampling factors (chroma 1 x 1)
    bool progressive;
    int restartRows;
};

// Through the libjpeg API, which can set every sampling factor and a restart interval.
Bytes Encode(const Picture& picture, const Layout& layout) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &data, &size);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width());
    cinfo.image_height = static_cast<JDIMENSION>(picture.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    if (layout.components == 1) jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    cinfo.comp_info[0].h_samp_factor = layout.h0;
    cinfo.comp_info[0].v_samp_factor = layout.v0;
    if (layout.progressive) jpeg_simple_progression(&cinfo);
    cinfo.restart_in_rows = layout.restartRows;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.row(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(data, data + size);
    std::free(data);
    return out;
}

// What the decoder did before region decoding existed.
Picture TurboDecode(const Bytes& jpeg) {
    tjhandle handle = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    EXPECT_EQ(tjDecompressHeader3(handle, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colorspace), 0);
    Picture out(width, height);
    EXPECT_EQ(tjDecompress2(handle, jpeg.data(), jpeg.size(), out.data(), width, width * 3, height, TJPF_BGR, 0), 0);
    tjDestroy(handle);
    return out;
}

// Texture with detail at every scale, so that a wrong upsampling neighbour changes bytes.
Picture Busy(int width, int height) {
    Picture picture(width, height);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.pixel(x, y);
            const unsigned noise = random() % 40;
            p[0] = static_cast<std::uint8_t>(x * 5 + noise);
            p[1] = static_cast<std::uint8_t>(y * 3 + (x ^ y) % 17 + noise);
            p[2] = static_cast<std::uint8_t>((x * y) / 7 + noise);
        }
    }
    return picture;
}

std::string Describe(const Layout& layout, int width, int height, const PixelRect& r) {
    char text[160];
    std::snprintf(text, sizeof text, "%s %dx%d region %d,%d %dx%d", layout.name, width, height, r.left, r.top, r.width,
                  r.height);
    return text;
}

const Layout kLayouts[] = {
    {"4:4:4", 3, 1, 1, false, 0},
    {"4:2:2", 3, 2, 1, false, 0},
    {"4:2:0", 3, 2, 2, false, 0},
    {"4:4:0", 3, 1, 2, false, 0},
    {"4:1:1", 3, 4, 1, false, 0},
    {"grey", 1, 1, 1, false, 0},
    {"4:2:0 progressive", 3, 2, 2, true, 0},
    {"4:2:2 restart", 3, 2, 1, false, 1},
    {"4:2:0 restart", 3, 2, 2, false, 2},
};

TEST(JpegRegion, EveryKeptPixelEqualsTheWholeDecode) {
    std::mt19937 random(11);
    for (const auto& [width, height] : std::vector<std::pair<int, int>>{{97, 61}, {130, 75}, {33, 200}}) {
        const Picture source = Busy(width, height);
        for (const Layout& layout : kLayouts) {
            const Bytes jpeg = Encode(source, layout);
            const Picture whole = TurboDecode(jpeg);
            ASSERT_EQ(whole.width(), width);
            // Regions on each edge and corner, single pixels and lines, random ones, and ones reaching outside.
            std::vector<PixelRect> regions = {
                {0, 0, width, height},    {0, 0, 1, 1},          {width - 1, height - 1, 1, 1},
                {0, 5, width, 9},         {5, 0, 9, height},     {width - 17, 3, 17, 20},
                {3, height - 17, 20, 17}, {-40, -40, 60, 60},    {width - 10, height - 10, 100, 100},
                {17, 17, 1, height},      {width + 5, 0, 10, 10}};
            for (int i = 0; i < 25; ++i) {
                const int left = static_cast<int>(random() % width), top = static_cast<int>(random() % height);
                regions.push_back({left, top, 1 + static_cast<int>(random() % (width - left)),
                                   1 + static_cast<int>(random() % (height - top))});
            }
            for (const PixelRect& wanted : regions) {
                for (const bool checkWholeFile : {false, true}) {
                    Picture out;
                    PictureArea got;
                    const Status status = DecodeJpegRegion(jpeg, "r.jpg", wanted, {true, checkWholeFile}, out, got);
                    const std::string what = Describe(layout, width, height, wanted);
                    ASSERT_TRUE(status.ok()) << what << ": " << status.message();
                    EXPECT_EQ(got.fullWidth, width);
                    EXPECT_EQ(got.fullHeight, height);
                    ASSERT_EQ(out.width(), got.area.width) << what;
                    ASSERT_EQ(out.height(), got.area.height) << what;
                    ASSERT_TRUE(PixelRect({0, 0, width, height}).contains(got.area)) << what;
                    ASSERT_TRUE(got.area.contains(
                        PixelRect{std::max(0, wanted.left), std::max(0, wanted.top),
                                  std::min(width, wanted.left + wanted.width) - std::max(0, wanted.left),
                                  std::min(height, wanted.top + wanted.height) - std::max(0, wanted.top)}))
                        << what;
                    for (int y = 0; y < out.height(); ++y) {
                        ASSERT_EQ(0,
                                  std::memcmp(out.row(y), whole.pixel(got.area.left, got.area.top + y), out.stride()))
                            << what << " row " << y;
                    }
                }
            }
        }
    }
}

// Pictures of several megabytes ask for their memory ahead of the rows as they decode, into fresh
// buffers and into reused ones of other sizes (a region after a whole picture, and the other way
// round): the bytes stay the whole decode's.
TEST(JpegRegion, LargePicturesDecodedIntoFreshAndReusedBuffersEqualTheWholeDecode) {
    const Picture source = Busy(1800, 1400);  // 7.5 MB decoded: past the memory asked for ahead
    const Bytes jpeg = Encode(source, kLayouts[2]);
    const Picture whole = TurboDecode(jpeg);
    Picture reused;
    reused.reserve(std::size_t{3} * 2000 * 1500);
    for (const PixelRect wanted : {PixelRect{0, 0, 1800, 1400}, PixelRect{0, 300, 1800, 1000},
                                   PixelRect{900, 100, 700, 1250}, PixelRect{0, 0, 1800, 1400}}) {
        for (const bool fresh : {false, true}) {
            Picture local;
            Picture& out = fresh ? local : reused;
            PictureArea got;
            ASSERT_TRUE(DecodeJpegRegion(jpeg, "large.jpg", wanted, {true, true}, out, got).ok());
            for (int y = 0; y < out.height(); ++y) {
                ASSERT_EQ(0, std::memcmp(out.row(y), whole.pixel(got.area.left, got.area.top + y), out.stride()))
                    << wanted.left << "," << wanted.top << " row " << y;
            }
        }
    }
}

// A decode that stops after the region does not see damage further down; one asked to check the
// whole file does, as the whole decode does. A file cut short is refused either way: its end marker
// is missing, and a half-copied photograph must not pass for whole.
TEST(JpegRegion, DamageBelowTheRegionFailsOnlyWhenTheWholeFileIsChecked) {
    const Bytes good = Encode(Busy(64, 256), kLayouts[2]);
    Bytes damaged = good;
    std::uint32_t seed = 7;
    for (std::size_t i = good.size() / 2; i < good.size() * 3 / 4; ++i) {
        seed = seed * 1103515245u + 12345u;
        damaged[i] = static_cast<std::uint8_t>((seed >> 16) % 255);  // never 0xFF: no marker appears
    }
    Picture out;
    PictureArea got;
    EXPECT_TRUE(DecodeJpegRegion(damaged, "bad.jpg", {0, 0, 64, 16}, {true, false}, out, got).ok());
    const Status checked = DecodeJpegRegion(damaged, "bad.jpg", {0, 0, 64, 16}, {true, true}, out, got);
    EXPECT_NE(checked.reason().find("damaged or truncated JPEG data"), std::string::npos) << checked.reason();
    EXPECT_FALSE(DecodeJpeg(damaged, "bad.jpg", out).ok());
    // A region that misses the picture reads the header only, or the whole file when asked.
    EXPECT_FALSE(DecodeJpegRegion(damaged, "bad.jpg", {100, 0, 5, 5}, {true, true}, out, got).ok());
    ASSERT_TRUE(DecodeJpegRegion(damaged, "bad.jpg", {100, 0, 5, 5}, {true, false}, out, got).ok());
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(got.fullWidth, 64);
    ASSERT_TRUE(DecodeJpegRegion(good, "good.jpg", {100, 0, 5, 5}, {true, true}, out, got).ok());
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(got.fullHeight, 256);

    for (const std::size_t keep : {good.size() * 3 / 4, good.size() - 2, good.size() - 1}) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep));
        for (const PixelRect& wanted : {PixelRect{0, 0, 64, 16}, PixelRect{100, 0, 5, 5}}) {
            EXPECT_EQ(DecodeJpegRegion(cut, "cut.jpg", wanted, {true, false}, out, got).reason(),
                      "damaged or truncated JPEG file (its end marker is missing)")
                << keep;
            EXPECT_FALSE(DecodeJpegRegion(cut, "cut.jpg", wanted, {true, true}, out, got).ok()) << keep;
        }
    }
}

// Other types are decoded whole; the area says so.
TEST(JpegRegion, LoadPictureRegionReadsOtherTypesWhole) {
    test::TempDir dir;
    const Picture picture = test::PatternPicture(21, 13);
    for (const char* name : {"p.png", "p.bmp"}) {
        ASSERT_TRUE(SavePicture(picture, dir.path(name), 90).ok());
        ByteBuffer bytes;
        Picture out;
        PictureArea got;
        ASSERT_TRUE(LoadPictureRegion(
                        dir.path(name),
                        [](int, int) {
                            return PixelRect{3, 3, 2, 2};
                        },
                        false, bytes, out, got)
                        .ok())
            << name;
        EXPECT_TRUE(out == picture) << name;
        EXPECT_EQ(got.area, (PixelRect{0, 0, 21, 13})) << name;
    }
    ByteBuffer bytes;
    Picture out;
    PictureArea got;
    EXPECT_EQ(LoadPictureRegion(
                  dir.path("p.gif"),
                  [](int, int) {
                      return PixelRect{0, 0, 1, 1};
                  },
                  false, bytes, out, got)
                  .code(),
              Status::Code::WrongFileType);
}

}  // namespace
}  // namespace turnlet
