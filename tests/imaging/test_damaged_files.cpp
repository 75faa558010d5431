// SPDX-License-Identifier: MIT
// Hostile and cut-off files: each must fail (or load) quickly, in little memory, with a reason that
// says what is wrong with the file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "image_files_test_support.h"
#include "codecs/image_files.h"

namespace turnlet {
namespace {

using test::Bytes;
using test::TempDir;
using test::WriteFile;

void Put32(Bytes& b, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}

void AppendChunk(Bytes& png, const char* type, const Bytes& data) {
    Put32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    Put32(png, static_cast<std::uint32_t>(crc32(0, &png[typeAt], static_cast<uInt>(data.size() + 4))));
}

Bytes Deflate(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    EXPECT_EQ(compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size())), Z_OK);
    out.resize(size);
    return out;
}

// A zlib stream of `bytes` zeros, made in pieces so that the zeros never sit in memory at once.
Bytes DeflateZeros(std::size_t bytes) {
    z_stream z{};
    EXPECT_EQ(deflateInit(&z, 9), Z_OK);
    const Bytes zeros(1 << 20, 0);
    Bytes out;
    std::uint8_t buffer[1 << 14];
    int result = Z_OK;
    do {
        const std::size_t piece = std::min(bytes, zeros.size());
        bytes -= piece;
        z.next_in = const_cast<Bytef*>(zeros.data());
        z.avail_in = static_cast<uInt>(piece);
        const int flush = bytes == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            result = deflate(&z, flush);
            out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
    } while (result != Z_STREAM_END);
    deflateEnd(&z);
    return out;
}

constexpr int kWidth = 7;
constexpr int kHeight = 5;

// Signature and the header of a 7 x 5 RGB picture.
Bytes PngStart() {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    Put32(header, kWidth);
    Put32(header, kHeight);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    AppendChunk(png, "IHDR", header);
    return png;
}

// Rows of grey value 10 * y, each after its filter byte 0.
void AppendPixelsAndEnd(Bytes& png) {
    Bytes raw;
    for (int y = 0; y < kHeight; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), kWidth * 3, static_cast<std::uint8_t>(10 * y));
    }
    AppendChunk(png, "IDAT", Deflate(raw));
    AppendChunk(png, "IEND", {});
}

struct ChildLoad {
    long peakGrowthKb = -1;
    double milliseconds = -1;
    std::string outcome;  // "ok" or the failure's reason
};

// Sanitizers reserve terabytes of address space up front; a limit on it only works without them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kCanLimitAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kCanLimitAddressSpace = false;
#else
constexpr bool kCanLimitAddressSpace = true;
#endif
#else
constexpr bool kCanLimitAddressSpace = true;
#endif

// Loads path in a child process so that the peak resident size it reports is that of this load
// alone, whatever the test binary did before. With extraMb the child may reserve at most that much
// more address space: memory asked for but never touched shows there, not in the resident size.
ChildLoad LoadInChild(const std::string& path, long extraMb = 0) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        if (extraMb > 0) {
            long pages = 0;
            if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
                if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
                std::fclose(statm);
            }
            const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
                                 static_cast<rlim_t>(extraMb) * 1024 * 1024;
            const rlimit space{limit, limit};
            setrlimit(RLIMIT_AS, &space);
        }
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        Picture picture;
        const Status status = LoadPicture(path, picture);
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        getrusage(RUSAGE_SELF, &after);
        const std::string report = std::to_string(after.ru_maxrss - before.ru_maxrss) + " " +
                                   std::to_string(elapsed.count()) + " " + (status.ok() ? "ok" : status.reason());
        ssize_t ignored = write(pipeEnds[1], report.data(), report.size());
        (void)ignored;
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
    close(pipeEnds[0]);
    int exitStatus = 0;
    waitpid(pid, &exitStatus, 0);
    ChildLoad load;
    std::istringstream in(report);
    in >> load.peakGrowthKb >> load.milliseconds;
    std::getline(in >> std::ws, load.outcome);
    return load;
}

// The old decoder spent 6 s and 2 GB on these; a damaged file must cost milliseconds and a few MB.
constexpr double kMaxMilliseconds = 500;
constexpr long kMaxGrowthKb = 32 * 1024;

TEST(DamagedPng, ChunkLongerThanTheFileFailsAtOnce) {
    TempDir dir;
    for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "iCCP", "IDAT", "abCd"}) {
        Bytes png = PngStart();
        Put32(png, 0x7FFFFFFF);
        png.insert(png.end(), type, type + 4);
        png.resize(57, 'a');
        const std::string path = dir.path(std::string(type) + ".png");
        WriteFile(path, png);
        const ChildLoad load = LoadInChild(path);
        std::printf("[  MEASURE ] %s claiming 2 GB in a 57-byte file: %.2f ms, peak +%ld KB\n", type, load.milliseconds,
                    load.peakGrowthKb);
        EXPECT_NE(load.outcome.find("damaged or truncated PNG file"), std::string::npos)
            << type << ": " << load.outcome;
        EXPECT_GE(load.milliseconds, 0) << type;
        EXPECT_LT(load.milliseconds, kMaxMilliseconds) << type;
        EXPECT_GE(load.peakGrowthKb, 0) << type;
        EXPECT_LT(load.peakGrowthKb, kMaxGrowthKb) << type;
    }
    // Lengths beyond the format's 31 bits, and a chunk cut inside its header.
    Bytes png = PngStart();
    Put32(png, 0xFFFFFFF0);
    png.insert(png.end(), {'t', 'E', 'X', 't', 0, 0});
    WriteFile(dir.path("huge.png"), png);
    Picture target;
    EXPECT_NE(LoadPicture(dir.path("huge.png"), target).reason().find("damaged or truncated"), std::string::npos);
    png.resize(PngStart().size() + 5);
    WriteFile(dir.path("header.png"), png);
    EXPECT_NE(LoadPicture(dir.path("header.png"), target).reason().find("damaged or truncated"), std::string::npos);
}

// Metadata we never show is skipped unread: a compressed text or profile chunk that inflates to
// 64 MB costs neither the memory nor the time, and the picture still loads.
TEST(DamagedPng, InflatingMetadataIsSkipped) {
    TempDir dir;
    const Bytes bomb = DeflateZeros(std::size_t{64} << 20);
    for (const char* type : {"zTXt", "iCCP", "iTXt"}) {
        Bytes data;
        const std::string keyword = "Comment";
        data.insert(data.end(), keyword.begin(), keyword.end());
        data.push_back(0);
        if (std::strcmp(type, "iTXt") == 0)
            data.insert(data.end(), {1, 0, 0, 0});  // compressed, no language
        else
            data.push_back(0);  // deflate
        data.insert(data.end(), bomb.begin(), bomb.end());
        Bytes png = PngStart();
        AppendChunk(png, type, data);
        AppendPixelsAndEnd(png);
        const std::string path = dir.path(std::string(type) + ".png");
        WriteFile(path, png);
        const ChildLoad load = LoadInChild(path);
        std::printf("[  MEASURE ] %s of %zu KB inflating to 64 MB: %.2f ms, peak +%ld KB\n", type, png.size() >> 10,
                    load.milliseconds, load.peakGrowthKb);
        EXPECT_EQ(load.outcome, "ok") << type;
        EXPECT_LT(load.milliseconds, kMaxMilliseconds) << type;
        EXPECT_LT(load.peakGrowthKb, kMaxGrowthKb) << type;
        Picture picture;
        ASSERT_TRUE(LoadPicture(path, picture).ok()) << type;
        ASSERT_EQ(picture.width(), kWidth);
        ASSERT_EQ(picture.height(), kHeight);
        EXPECT_EQ(picture.pixel(6, 4)[0], 40) << type;
    }
}

// A JPEG cut before the end of its frame header has no size: that is damage, not a picture too large.
TEST(DamagedJpeg, CutBeforeTheSizeSaysDamaged) {
    TempDir dir;
    const std::string whole = dir.path("whole.jpg");
    ASSERT_TRUE(SavePicture(test::SmoothPicture(40, 30), whole, 90).ok());
    const Bytes bytes = test::ReadFile(whole);
    std::size_t frameHeader = 0;  // the start-of-frame marker; the size follows 5 bytes later
    while (frameHeader + 1 < bytes.size() && !(bytes[frameHeader] == 0xFF && bytes[frameHeader + 1] == 0xC0))
        ++frameHeader;
    ASSERT_LT(frameHeader + 9, bytes.size());
    for (std::size_t length = 2; length < frameHeader + 9; ++length) {
        const std::string path = dir.path("cut.jpg");
        WriteFile(path, Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
        Picture target;
        const Status status = LoadPicture(path, target);
        EXPECT_NE(status.reason().find("damaged"), std::string::npos) << length << ": " << status.reason();
        EXPECT_EQ(status.reason().find("larger than the limit"), std::string::npos) << length;
        if (length == 2 || length == 4 || length == 20) {
            EXPECT_EQ(status.reason(), "damaged or truncated JPEG file (no picture size found)") << length;
        }
    }
}

// A few hundred bytes whose header claims about 239 megapixels: refused as damaged before the
// picture's 716 MB are reserved, within a bounded time.
TEST(DamagedJpeg, HugeClaimInATinyFileFailsBeforeAllocating) {
    TempDir dir;
    const std::string small = dir.path("small.jpg");
    ASSERT_TRUE(SavePicture(test::SmoothPicture(40, 30), small, 90).ok());
    Bytes bytes = test::ReadFile(small);
    std::size_t frameHeader = 0;
    while (frameHeader + 1 < bytes.size() && !(bytes[frameHeader] == 0xFF && bytes[frameHeader + 1] == 0xC0))
        ++frameHeader;
    ASSERT_LT(frameHeader + 9, bytes.size());
    const int height = 23995, width = 9944;
    bytes[frameHeader + 5] = static_cast<std::uint8_t>(height >> 8);
    bytes[frameHeader + 6] = static_cast<std::uint8_t>(height & 0xFF);
    bytes[frameHeader + 7] = static_cast<std::uint8_t>(width >> 8);
    bytes[frameHeader + 8] = static_cast<std::uint8_t>(width & 0xFF);
    for (const std::size_t keep : {bytes.size(), std::size_t{339}, bytes.size() - 2}) {
        const std::string path = dir.path("huge.jpg");
        WriteFile(path, Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep)));
        const ChildLoad load = LoadInChild(path, kCanLimitAddressSpace ? 300 : 0);
        std::printf("[  MEASURE ] %zu-byte JPEG claiming %d x %d: %.2f ms, peak +%ld KB\n", keep, width, height,
                    load.milliseconds, load.peakGrowthKb);
        EXPECT_NE(load.outcome.find("damaged"), std::string::npos) << keep << ": " << load.outcome;
        EXPECT_GE(load.milliseconds, 0) << keep;
        EXPECT_LT(load.milliseconds, kMaxMilliseconds) << keep;
        EXPECT_LT(load.peakGrowthKb, kMaxGrowthKb) << keep;
    }
}

}  // namespace
}  // namespace turnlet
