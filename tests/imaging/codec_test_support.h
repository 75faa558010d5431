// SPDX-License-Identifier: MIT
// What the decoder tests share: a fixture that loads bytes through a file and checks failures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "codecs/image_files.h"
#include "image_files_test_support.h"

namespace turnlet::test {

using Bgr = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
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

// Palette indexes of the given bit depth packed from the high bits down, as BMP and PNG store them.
inline Bytes PackIndexes(const std::vector<int>& indexes, int bits) {
    Bytes row((indexes.size() * bits + 7) / 8, 0);
    for (std::size_t x = 0; x < indexes.size(); ++x) {
        const std::size_t bit = x * bits;
        row[bit / 8] |= static_cast<std::uint8_t>(indexes[x] << (8 - bits - bit % 8));
    }
    return row;
}

inline void ExpectPixels(const Picture& picture, int width, int height, const std::function<Bgr(int, int)>& expected) {
    ASSERT_EQ(picture.width(), width);
    ASSERT_EQ(picture.height(), height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) EXPECT_EQ(PixelAt(picture, x, y), expected(x, y)) << x << "," << y;
    }
}

}  // namespace turnlet::test
