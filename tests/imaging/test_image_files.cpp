// SPDX-License-Identifier: MIT
// Tests of file-type rules, the text helpers, and loading and saving through the file layer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "image_files_test_support.h"
#include "base/text.h"
#include "codecs/image_files.h"
#include "codecs/output_file.h"

namespace turnlet {
namespace {

using test::Bytes;
using test::PatternPicture;
using test::ReadFile;
using test::SmoothPicture;
using test::TempDir;
using test::WriteFile;

TEST(ExtractExt, TakesFromTheLastDotEvenAcrossFolders) {
    struct Case {
        const char* path;
        const char* ext;
    };
    const Case cases[] = {
        {"C:\\shots\\IMG_0001.jpg", ".jpg"},
        {"/home/u/IMG_0001.jpg", ".jpg"},
        {"archive.tar.gz", ".gz"},
        {"/my.shots/photo", ".shots/photo"},
        {"C:\\my.shots\\photo", ".shots\\photo"},
        {"photo.", "."},
        {"photo", ""},
        {"", ""},
        {".png", ".png"},
    };
    for (const Case& c : cases) EXPECT_EQ(ExtractExt(c.path), c.ext) << c.path;
}

TEST(FileTypeOf, MatchesUpperCasedExtensionExactly) {
    struct Case {
        const char* path;
        FileType type;
    };
    const Case cases[] = {
        {"photo.JPEG", FileType::Jpeg},
        {"photo.jpeg", FileType::Jpeg},
        {"photo.JpG", FileType::Jpeg},
        {"photo.jpg", FileType::Jpeg},
        {"a.b/photo.JPG", FileType::Jpeg},
        {"photo.bmp", FileType::Bmp},
        {"photo.Bmp", FileType::Bmp},
        {"photo.png", FileType::Png},
        {"photo.PNG", FileType::Png},
        {"photo.jpe", FileType::Unknown},
        {"photo.jfif", FileType::Unknown},
        {"photo.tif", FileType::Unknown},
        {"/my.shots/photo", FileType::Unknown},
        {"/my.png/photo", FileType::Unknown},
        {"photo.", FileType::Unknown},
        {"photo", FileType::Unknown},
        {"", FileType::Unknown},
        {"photo.jpg.txt", FileType::Unknown},
        {"photo.jpg ", FileType::Unknown},
        {"photo.pngx", FileType::Unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(FileTypeOf(c.path), c.type) << c.path;
}

TEST(ReplaceAll, ScansLeftToRightWithoutOverlapOrRescanning) {
    struct Case {
        const char* source;
        const char* search;
        const char* replacement;
        const char* result;
    };
    const Case cases[] = {
        {"aaa", "aa", "b", "ba"},
        {"a&b&c", "&", "", "abc"},
        {"abc", "", "x", "abc"},
        {"", "a", "b", ""},
        {"abab", "ab", "abab", "abababab"},  // inserted text is not searched again
        {"Hello hello", "hello", "bye", "Hello bye"},
        {"xyz", "xyz", "", ""},
        {"{N}x{N}", "{N}", "100", "100x100"},
        {"aaaa", "aa", "a", "aa"},
        {"abc", "abcd", "z", "abc"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReplaceAll(c.source, c.search, c.replacement), c.result)
            << c.source << " / " << c.search << " / " << c.replacement;
    }
}

class ImageFilesTest : public ::testing::Test {
  protected:
    TempDir dir_;
};

TEST_F(ImageFilesTest, WrongTypeLeavesTargetAndReadsNothing) {
    // A real PNG behind an unknown extension: the content must not be sniffed.
    const std::string png = dir_.path("real.png");
    ASSERT_TRUE(SavePicture(PatternPicture(4, 4), png, 90).ok());
    for (const char* name : {"photo.jpe", "photo.", "photo", "photo.tif"}) {
        const std::string path = dir_.path(name);
        std::filesystem::copy_file(png, path);
        Picture target = PatternPicture(5, 3);
        const Picture before = target;
        const Status status = LoadPicture(path, target);
        EXPECT_EQ(status.code(), Status::Code::WrongFileType) << name;
        EXPECT_EQ(status.file(), path);
        EXPECT_EQ(status.message(), "Wrong file type!");
        EXPECT_EQ(target.width(), 5);
        EXPECT_EQ(target.height(), 3);
        EXPECT_TRUE(target == before);
    }
    // A folder with a dot and a file name without one.
    std::filesystem::create_directories(dir_.path("my.shots"));
    Picture target = PatternPicture(2, 2);
    EXPECT_EQ(LoadPicture(dir_.path("my.shots/photo"), target).code(), Status::Code::WrongFileType);
    EXPECT_TRUE(target == PatternPicture(2, 2));
}

// file's bytes with metadata segments of total bytes (at least 4 each) inserted after the start marker.
Bytes WithMetadata(const Bytes& file, std::size_t total) {
    Bytes out(file.begin(), file.begin() + 2);
    while (total > 0) {
        const std::size_t segment = std::min<std::size_t>(total, 65537);
        const std::size_t length = segment - 2;
        out.insert(out.end(), {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        out.insert(out.end(), length - 2, 0x55);
        total -= segment;
    }
    out.insert(out.end(), file.begin() + 2, file.end());
    return out;
}

TEST_F(ImageFilesTest, PictureSizeComesFromTheHeaderWhereverItLies) {
    const std::string plain = dir_.path("plain.jpg");
    ASSERT_TRUE(SavePicture(PatternPicture(370, 230), plain, 90).ok());
    const Bytes jpeg = ReadFile(plain);
    // Where the first bytes read for the header end (a quarter of a megabyte).
    constexpr std::size_t kHead = std::size_t{256} << 10;
    struct Case {
        const char* name;
        Bytes bytes;
        bool ok;  // the size is found (370 x 230 for the JPEGs)
    };
    const Case cases[] = {
        {"plain.jpg", jpeg, true},
        // The header runs past the first bytes read: in a table, and wholly.
        {"cut-in-tables.jpg", WithMetadata(jpeg, kHead - 2 - 100), true},
        {"beyond.jpg", WithMetadata(jpeg, 5 * 65537), true},
        // Only the header is looked at: damage in the data is the decode's to find...
        {"data-cut.jpg", Bytes(jpeg.begin(), jpeg.end() - jpeg.size() / 3), true},
        // ...unless the header lies beyond the first bytes and the file is read whole anyway.
        {"big-data-cut.jpg",
         [&] {
             Bytes b = WithMetadata(jpeg, 5 * 65537);
             b.resize(b.size() - 200);
             return b;
         }(),
         false},
        {"header-cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + 60), false},
        {"metadata-cut.jpg",
         [&] {
             Bytes b = WithMetadata(jpeg, 5 * 65537);
             b.resize(kHead + 10);
             return b;
         }(),
         false},
        {"empty.jpg", Bytes{}, false},
    };
    for (const Case& c : cases) {
        const std::string path = dir_.path(c.name);
        WriteFile(path, c.bytes);
        int width = -1, height = -1;
        const Status status = ReadPictureSize(path, width, height);
        EXPECT_EQ(status.ok(), c.ok) << c.name << ": " << status.message();
        EXPECT_EQ(width, c.ok ? 370 : 0) << c.name;
        EXPECT_EQ(height, c.ok ? 230 : 0) << c.name;
        if (!c.ok) {
            EXPECT_EQ(status.file(), path) << c.name;
        }
    }
    // Other types are decoded for their size.
    for (const char* name : {"other.png", "other.bmp"}) {
        ASSERT_TRUE(SavePicture(PatternPicture(5, 9), dir_.path(name), 90).ok());
        int width = 0, height = 0;
        EXPECT_TRUE(ReadPictureSize(dir_.path(name), width, height).ok()) << name;
        EXPECT_EQ(width, 5) << name;
        EXPECT_EQ(height, 9) << name;
    }
}

TEST_F(ImageFilesTest, SaveWithWrongTypeWritesNothing) {
    for (const char* name : {"out.tif", "out.jpe", "out", "out."}) {
        const std::string path = dir_.path(name);
        const Status status = SavePicture(PatternPicture(3, 3), path, 90);
        EXPECT_EQ(status.code(), Status::Code::WrongFileType) << name;
        EXPECT_EQ(status.file(), path);
        EXPECT_FALSE(std::filesystem::exists(path)) << name;
    }
}

TEST_F(ImageFilesTest, BmpAndPngRoundTripsAreExact) {
    // Widths 1..5 give every BMP row padding from 0 to 3 bytes.
    for (const char* ext : {".bmp", ".BMP", ".png", ".Png"}) {
        for (int width = 1; width <= 5; ++width) {
            for (int height : {1, 2, 7}) {
                const Picture original = PatternPicture(width, height);
                const std::string path =
                    dir_.path("round" + std::to_string(width) + "x" + std::to_string(height) + ext);
                ASSERT_TRUE(SavePicture(original, path, 75).ok()) << path;
                Picture loaded;
                const Status status = LoadPicture(path, loaded);
                ASSERT_TRUE(status.ok()) << status.message();
                EXPECT_TRUE(loaded == original) << path;
            }
        }
    }
}

TEST_F(ImageFilesTest, LoadingWithScratchReusesItsBufferAndKeepsTargetOnFailure) {
    const std::string big = dir_.path("big.png");
    const std::string small = dir_.path("small.bmp");
    ASSERT_TRUE(SavePicture(PatternPicture(40, 30), big, 90).ok());
    ASSERT_TRUE(SavePicture(PatternPicture(7, 5), small, 90).ok());
    Picture target;
    Picture scratch(50, 50);
    const std::uint8_t* buffer = scratch.data();
    ASSERT_TRUE(LoadPicture(big, target, scratch).ok());
    EXPECT_TRUE(target == PatternPicture(40, 30));
    EXPECT_EQ(target.data(), buffer);  // decoded straight into the scratch buffer
    // Back and forth: the two buffers trade places, nothing new is allocated.
    const std::uint8_t* second = scratch.data();
    ASSERT_TRUE(LoadPicture(small, scratch, target).ok());
    EXPECT_TRUE(scratch == PatternPicture(7, 5));
    EXPECT_TRUE(scratch.data() == buffer || scratch.data() == second);

    const Picture before = scratch;
    Picture other;
    EXPECT_FALSE(LoadPicture(dir_.path("missing.png"), scratch, other).ok());
    EXPECT_TRUE(scratch == before);
}

TEST_F(ImageFilesTest, BmpWriterHeaderFields) {
    const std::string path = dir_.path("header.bmp");
    ASSERT_TRUE(SavePicture(PatternPicture(5, 3), path, 90).ok());
    const Bytes file = ReadFile(path);
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24);
    };
    const std::uint32_t rowBytes = 16;  // 15 bytes of pixels padded to 16
    ASSERT_EQ(file.size(), 54u + rowBytes * 3);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(u32(2), file.size());
    EXPECT_EQ(u32(10), 54u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 5u);
    EXPECT_EQ(u32(22), 3u);  // positive height: bottom row first
    EXPECT_EQ(file[28], 24);
    EXPECT_EQ(u32(30), 0u);
    EXPECT_EQ(u32(34), rowBytes * 3);
    EXPECT_EQ(u32(38), 2835u);
    EXPECT_EQ(u32(42), 2835u);
    // The first stored row is the picture's bottom row.
    const Picture picture = PatternPicture(5, 3);
    EXPECT_TRUE(std::equal(file.begin() + 54, file.begin() + 54 + 15, picture.row(2)));
}

std::pair<int, double> Difference(const Picture& a, const Picture& b) {
    int maxDiff = 0;
    double sum = 0;
    for (std::size_t i = 0; i < a.byteSize(); ++i) {
        const int d = std::abs(a.data()[i] - b.data()[i]);
        maxDiff = std::max(maxDiff, d);
        sum += d;
    }
    return {maxDiff, sum / static_cast<double>(a.byteSize())};
}

TEST_F(ImageFilesTest, JpegRoundTripIsCloseAndQualityMatters) {
    const Picture original = SmoothPicture(160, 120);
    for (const char* ext : {".jpg", ".JPEG"}) {
        const std::string path = dir_.path(std::string("q100") + ext);
        ASSERT_TRUE(SavePicture(original, path, 100).ok());
        Picture loaded;
        ASSERT_TRUE(LoadPicture(path, loaded).ok());
        ASSERT_EQ(loaded.width(), 160);
        ASSERT_EQ(loaded.height(), 120);
        const auto [maxDiff, meanDiff] = Difference(original, loaded);
        EXPECT_LE(maxDiff, 5);  // colour conversion rounding only
        EXPECT_LT(meanDiff, 1.0);
    }
    const std::string q90 = dir_.path("q90.jpg");
    const std::string q30 = dir_.path("q30.jpg");
    ASSERT_TRUE(SavePicture(original, q90, 90).ok());
    ASSERT_TRUE(SavePicture(original, q30, 30).ok());
    const auto size90 = std::filesystem::file_size(q90);
    const auto size30 = std::filesystem::file_size(q30);
    EXPECT_GT(size30, 200u);
    EXPECT_LT(size30, size90);
    EXPECT_LT(size90, original.byteSize() / 4);
    Picture loaded;
    ASSERT_TRUE(LoadPicture(q90, loaded).ok());
    EXPECT_LE(Difference(original, loaded).first, 12);
}

TEST_F(ImageFilesTest, JpegQualityIsClampedToOneToHundred) {
    const Picture picture = SmoothPicture(40, 30);
    auto bytesAt = [&](int quality) {
        const std::string path = dir_.path("q" + std::to_string(quality) + ".jpg");
        EXPECT_TRUE(SavePicture(picture, path, quality).ok()) << quality;
        return ReadFile(path);
    };
    EXPECT_EQ(bytesAt(0), bytesAt(1));
    EXPECT_EQ(bytesAt(-50), bytesAt(1));
    EXPECT_EQ(bytesAt(1000), bytesAt(100));
    EXPECT_NE(bytesAt(1), bytesAt(100));
}

TEST_F(ImageFilesTest, SaveReplacesAnExistingFile) {
    for (const char* name : {"same.bmp", "same.png", "same.jpg"}) {
        const std::string path = dir_.path(name);
        ASSERT_TRUE(SavePicture(PatternPicture(64, 48), path, 90).ok());
        ASSERT_TRUE(SavePicture(PatternPicture(3, 2), path, 90).ok());
        Picture loaded;
        ASSERT_TRUE(LoadPicture(path, loaded).ok()) << name;
        EXPECT_EQ(loaded.width(), 3);
        EXPECT_EQ(loaded.height(), 2);
    }
}

TEST_F(ImageFilesTest, SaveFailuresNameTheFile) {
    for (const char* name : {"missing/out.bmp", "missing/out.png", "missing/out.jpg"}) {
        const std::string path = dir_.path(name);
        const Status status = SavePicture(PatternPicture(3, 3), path, 90);
        EXPECT_EQ(status.code(), Status::Code::Error) << name;
        EXPECT_EQ(status.file(), path);
        EXPECT_NE(status.message().find(path), std::string::npos);
        EXPECT_EQ(status.reason(), "cannot create: No such file or directory") << name;
    }
    for (const char* name : {"empty.bmp", "empty.png", "empty.jpg"}) {
        const std::string path = dir_.path(name);
        const Status status = SavePicture(Picture(), path, 90);
        EXPECT_EQ(status.code(), Status::Code::Error) << name;
        EXPECT_EQ(status.file(), path);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    // A folder standing where the file should go.
    std::filesystem::create_directories(dir_.path("taken.png"));
    const Status status = SavePicture(PatternPicture(3, 3), dir_.path("taken.png"), 90);
    EXPECT_EQ(status.code(), Status::Code::Error);
    EXPECT_EQ(status.file(), dir_.path("taken.png"));
}

TEST_F(ImageFilesTest, JpegTooWideForTheFormatIsAnErrorAndWritesNothing) {
    const std::string path = dir_.path("wide.jpg");
    const Status status = SavePicture(Picture(70000, 1), path, 90);
    EXPECT_EQ(status.code(), Status::Code::Error);
    EXPECT_EQ(status.file(), path);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ImageFilesTest, UnreadableFilesGiveErrorsAndLeaveTarget) {
    std::filesystem::create_directories(dir_.path("folder.jpg"));
    for (const char* ext : {".bmp", ".jpg", ".png"}) {
        WriteFile(dir_.path(std::string("empty") + ext), {});
        WriteFile(dir_.path(std::string("text") + ext), Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
    }
    struct Case {
        const char* name;
        const char* reason;  // a part of the expected reason
    };
    const Case cases[] = {
        {"nothing.jpg", "file not found"},
        {"nothing.png", "file not found"},
        {"nothing.bmp", "file not found"},
        {"folder.jpg", "folder"},
        {"empty.bmp", "empty"},
        {"empty.jpg", "empty"},
        {"empty.png", "empty"},
        {"text.bmp", "not a BMP file"},
        {"text.png", "not a PNG file"},
        {"text.jpg", "JPEG"},
    };
    for (const Case& c : cases) {
        const std::string path = dir_.path(c.name);
        Picture target = PatternPicture(6, 4);
        const Status status = LoadPicture(path, target);
        EXPECT_EQ(status.code(), Status::Code::Error) << c.name;
        EXPECT_EQ(status.file(), path);
        EXPECT_NE(status.reason().find(c.reason), std::string::npos) << status.reason();
        EXPECT_NE(status.message().find(path), std::string::npos);
        EXPECT_TRUE(target == PatternPicture(6, 4)) << c.name;
    }
}

TEST_F(ImageFilesTest, PipeNamedLikeAPictureIsRefusedWithoutWaiting) {
    const std::string path = dir_.path("pipe.png");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    Picture target = PatternPicture(2, 2);
    const Status status = LoadPicture(path, target);
    EXPECT_EQ(status.code(), Status::Code::Error);
    EXPECT_EQ(status.reason(), "is not a regular file");
    EXPECT_TRUE(target == PatternPicture(2, 2));
}

TEST_F(ImageFilesTest, ContentIsReadByExtensionNotSniffed) {
    const std::string png = dir_.path("real.png");
    ASSERT_TRUE(SavePicture(PatternPicture(4, 4), png, 90).ok());
    const std::string bmp = dir_.path("real-png.bmp");
    std::filesystem::copy_file(png, bmp);
    Picture target;
    const Status status = LoadPicture(bmp, target);
    EXPECT_EQ(status.code(), Status::Code::Error);
    EXPECT_EQ(status.reason(), "not a BMP file");
    EXPECT_TRUE(target.empty());
}

TEST_F(ImageFilesTest, OpenFailuresReportTheSystemReason) {
    // A file standing where a folder should be: the system says why it cannot be opened.
    const std::string file = dir_.path("plain.png");
    ASSERT_TRUE(SavePicture(PatternPicture(2, 2), file, 90).ok());
    const std::string path = file + "/inside.png";
    Picture target;
    Status status = LoadPicture(path, target);
    EXPECT_EQ(status.code(), Status::Code::Error);
    EXPECT_EQ(status.reason(), "cannot open the file: Not a directory");
    status = SavePicture(PatternPicture(2, 2), path, 90);
    EXPECT_EQ(status.code(), Status::Code::Error);
    EXPECT_EQ(status.reason(), "cannot create: Not a directory");
}

TEST_F(ImageFilesTest, WriteFailuresAreReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // Small pictures fit the write buffer, so the failure shows only when the file is closed;
    // large ones fail while writing; the largest JPEG (3 MB) goes out in one write past the buffer.
    for (int size : {2, 700, 1500}) {
        for (const char* name : {"full.bmp", "full.png", "full.jpg"}) {
            const std::string path = dir_.path(name);
            std::filesystem::create_symlink("/dev/full", path);
            const Status status = SavePicture(PatternPicture(size, size), path, 90);
            EXPECT_EQ(status.code(), Status::Code::Error) << name;
            EXPECT_EQ(status.file(), path);
            EXPECT_NE(status.message().find(path), std::string::npos);
            EXPECT_EQ(status.reason(), "cannot write: No space left on device") << name << " " << size;
            // The failed file is removed (here the link that led to the device).
            EXPECT_FALSE(std::filesystem::is_symlink(path)) << name;
            std::filesystem::remove(path);
        }
    }
}

TEST(WriteErrorReason, NeverSuccess) {
    EXPECT_EQ(WriteErrorReason(ENOSPC), "No space left on device");
    EXPECT_EQ(WriteErrorReason(EIO), "Input/output error");
    EXPECT_EQ(WriteErrorReason(0), "write failed (disk full?)");
}

}  // namespace
}  // namespace turnlet
