// SPDX-License-Identifier: MIT
// Helpers shared by the image file tests: a private temp folder per test and raw file access.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/picture.h"

namespace turnlet::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under TURNLET_TEST_TMP (or the system temp folder), removed at the end of the test.
class TempDir {
  public:
    TempDir() {
        const char* base = std::getenv("TURNLET_TEST_TMP");
        std::filesystem::path root = base && *base ? base : std::filesystem::temp_directory_path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "." + info->name() + "." + std::to_string(getpid());
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        dir_ = root / name;
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

  private:
    std::filesystem::path dir_;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every pixel different in each channel, so swapped channels, rows or columns show.
inline Picture PatternPicture(int width, int height) {
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x * 7 + y * 13);
            p[1] = static_cast<std::uint8_t>(x * 3 + y * 29 + 100);
            p[2] = static_cast<std::uint8_t>(x * 31 + y * 5 + 200);
        }
    }
    return picture;
}

// Smooth colour ramps: what a photograph looks like to a JPEG encoder.
inline Picture SmoothPicture(int width, int height) {
    Picture picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(40 + 150 * x / width);
            p[1] = static_cast<std::uint8_t>(60 + 120 * y / height);
            p[2] = static_cast<std::uint8_t>(200 - 100 * (x + y) / (width + height));
        }
    }
    return picture;
}

inline std::vector<std::uint8_t> PixelAt(const Picture& picture, int x, int y) {
    const std::uint8_t* p = picture.pixel(x, y);
    return {p[0], p[1], p[2]};
}

}  // namespace turnlet::test
