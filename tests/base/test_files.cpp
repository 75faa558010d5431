// SPDX-License-Identifier: MIT
// Whole-file reading and atomic replacement: content, limits, failures that leave the old file intact.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "base/files.h"
#include "base/memory.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::vector<std::string> FolderEntries(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

const std::string kBinary("a\0b\r\nc\xff\n", 8);

TEST(ReadWholeFile, ReadsEveryByte) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    WriteBytes(folder.file("f"), kBinary);
    std::string content = "previous";
    ASSERT_TRUE(ReadWholeFile(folder.file("f"), content).ok());
    EXPECT_EQ(content, kBinary);
    WriteBytes(folder.file("empty"), "");
    ASSERT_TRUE(ReadWholeFile(folder.file("empty"), content).ok());
    EXPECT_EQ(content, "");
}

TEST(ReadWholeFile, FailuresNameTheFileAndKeepTheBuffer) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    WriteBytes(folder.file("big"), std::string(101, 'x'));
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    const std::string cases[] = {folder.file("missing"), folder.path(), folder.file("big"), folder.file("fifo"),
                                 folder.file("big/below")};
    for (const auto& path : cases) {
        std::string content = "previous";
        Status status = ReadWholeFile(path, content, 100);
        EXPECT_FALSE(status.ok()) << path;
        EXPECT_EQ(status.file(), path);
        EXPECT_FALSE(status.reason().empty());
        EXPECT_EQ(content, "previous");
    }
    std::string content;
    EXPECT_TRUE(ReadWholeFile(folder.file("big"), content, 101).ok());
    EXPECT_FALSE(ReadWholeFile("", content).ok());
}

TEST(ReadFileStart, ReadsAtMostTheStartAndTellsTheSize) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    WriteBytes(folder.file("f"), kBinary);
    WriteBytes(folder.file("empty"), "");
    struct Case {
        std::string name;
        std::size_t maxBytes;
        std::string content;
        std::uintmax_t size;
    };
    const Case cases[] = {
        {"f", 3, kBinary.substr(0, 3), kBinary.size()},
        {"f", kBinary.size(), kBinary, kBinary.size()},
        {"f", 1000, kBinary, kBinary.size()},
        {"empty", 10, "", 0},
    };
    ByteBuffer buffer;
    for (const Case& c : cases) {
        std::uintmax_t size = 99;
        ASSERT_TRUE(ReadFileStart(folder.file(c.name), c.maxBytes, buffer, size).ok()) << c.name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.view().data()), buffer.size()), c.content)
            << c.name << " " << c.maxBytes;
        EXPECT_EQ(size, c.size) << c.name;
    }
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    for (const std::string& path : {folder.file("missing"), folder.path(), folder.file("fifo"), std::string()}) {
        std::uintmax_t size = 99;
        const Status status = ReadFileStart(path, 10, buffer, size);
        EXPECT_FALSE(status.ok()) << path;
        EXPECT_EQ(status.file(), path);
        EXPECT_EQ(buffer.size(), 0u) << path;
    }
}

TEST(WriteFileAtomically, CreatesAndReplaces) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string name = folder.file("out.txt");
    ASSERT_TRUE(WriteFileAtomically(name, kBinary).ok());
    EXPECT_EQ(ReadBytes(name), kBinary);
    struct stat info {};
    ASSERT_EQ(::stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    ASSERT_EQ(::chmod(name.c_str(), 0600), 0);
    ASSERT_TRUE(WriteFileAtomically(name, "second").ok());
    EXPECT_EQ(ReadBytes(name), "second");
    ASSERT_EQ(::stat(name.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // an existing file keeps its permissions
    EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{"out.txt"});
}

TEST(WriteFileAtomically, FollowsASymbolicLink) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    WriteBytes(folder.file("real"), "old");
    ASSERT_EQ(::symlink("real", folder.file("link").c_str()), 0);
    ASSERT_TRUE(WriteFileAtomically(folder.file("link"), "new").ok());
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link")));
    EXPECT_EQ(ReadBytes(folder.file("real")), "new");
}

TEST(WriteFileAtomically, UnwritablePlacesReportTheFile) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    WriteBytes(folder.file("plain"), "a file");
    std::filesystem::create_directory(folder.file("dir"));
    WriteBytes(folder.file("dir/inside"), "kept");
    ASSERT_EQ(::mkfifo(folder.file("fifo").c_str(), 0600), 0);
    const std::string cases[] = {folder.file("plain/below"), folder.file("dir"), folder.file("fifo"),
                                 folder.file("no/such/folder/f")};
    for (const auto& path : cases) {
        Status status = WriteFileAtomically(path, "data");
        EXPECT_FALSE(status.ok()) << path;
        EXPECT_EQ(status.file(), path);
        EXPECT_NE(status.message().find(path), std::string::npos);
    }
    EXPECT_EQ(ReadBytes(folder.file("plain")), "a file");
    EXPECT_EQ(ReadBytes(folder.file("dir/inside")), "kept");
    EXPECT_EQ(FolderEntries(folder.path()), (std::vector<std::string>{"dir", "fifo", "plain"}));
}

// A write that fails half-way (here: the file size limit) must leave the old file as it was.
TEST(WriteFileAtomically, FailedWriteLeavesTheOldFileByteIdentical) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string name = folder.file("project.trn.prj");
    WriteBytes(name, "old content\r\n");

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Status status = WriteFileAtomically(name, std::string(100000, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), name);
    EXPECT_EQ(ReadBytes(name), "old content\r\n");
    EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{"project.trn.prj"});
}

TEST(WriteFileAtomically, ReadOnlyFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    const std::string name = folder.file("f");
    WriteBytes(name, "old");
    ASSERT_EQ(::chmod(folder.path().c_str(), 0500), 0);
    Status status = WriteFileAtomically(name, "new");
    ::chmod(folder.path().c_str(), 0700);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.file(), name);
    EXPECT_EQ(ReadBytes(name), "old");
}

}  // namespace
// Large buffers sit on huge-page boundaries from the size asked on, and asking for their memory
// ahead never changes what they hold, whatever the start, length and alignment.
TEST(LargeBuffers, HugePageAlignmentAndContentKeptWhenPrepared) {
    for (const std::size_t bytes : {std::size_t{1}, std::size_t{4096}, std::size_t{3} << 20, std::size_t{9} << 20}) {
        for (const std::size_t hugeFrom : {std::size_t{1} << 20, std::size_t{8} << 20}) {
            auto* p = static_cast<unsigned char*>(AllocateLarge(bytes, hugeFrom));
            if (bytes >= hugeFrom) EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % (std::size_t{2} << 20), 0u);
            for (std::size_t i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(i * 7 + 3);
            for (const std::size_t offset : {std::size_t{0}, std::size_t{1}, std::size_t{5000}})
                if (offset < bytes) PrepareForWriting(p + offset, bytes - offset);
            std::size_t changed = 0;
            for (std::size_t i = 0; i < bytes; ++i) changed += p[i] != static_cast<unsigned char>(i * 7 + 3);
            EXPECT_EQ(changed, 0u) << bytes;
            std::free(p);
        }
    }
}

}  // namespace turnlet
