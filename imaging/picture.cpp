// SPDX-License-Identifier: MIT
// The in-memory picture.
#include "picture.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/memory.h"

namespace turnlet {

namespace {

std::size_t BytesFor(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    if (static_cast<std::int64_t>(width) * height > kMaxPicturePixels) {
        throw std::length_error("picture of " + std::to_string(width) + " x " + std::to_string(height) +
                                " pixels exceeds the limit of " + std::to_string(kMaxPicturePixels) + " pixels");
    }
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
}

// Below this a picture lives in ordinary pages.
constexpr std::size_t kHugeFrom = std::size_t{8} << 20;

}  // namespace

void Picture::Free::operator()(std::uint8_t* p) const {
    std::free(p);
}

std::unique_ptr<std::uint8_t, Picture::Free> Picture::Allocate(std::size_t bytes) {
    return std::unique_ptr<std::uint8_t, Free>(static_cast<std::uint8_t*>(AllocateLarge(bytes, kHugeFrom)));
}

Picture::Picture(const Picture& other) {
    *this = other;
}

Picture& Picture::operator=(const Picture& other) {
    if (this == &other) return *this;
    allocate(other.width_, other.height_);
    if (byteSize() > 0) std::memcpy(data_.get(), other.data_.get(), byteSize());
    return *this;
}

Picture::Picture(Picture&& other) noexcept {
    *this = std::move(other);
}

Picture& Picture::operator=(Picture&& other) noexcept {
    if (this == &other) return *this;
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    prepared_ = std::exchange(other.prepared_, 0);
    data_ = std::move(other.data_);
    return *this;
}

void Picture::allocate(int width, int height) {
    const std::size_t bytes = BytesFor(width, height);
    if (bytes > capacity_) {
        data_ = Allocate(bytes);
        capacity_ = bytes;
        prepared_ = 0;
    }
    width_ = bytes ? width : 0;
    height_ = bytes ? height : 0;
}

void Picture::prepare(std::size_t bytes) {
    bytes = std::min(bytes, byteSize());
    if (bytes <= prepared_) return;
    PrepareForWriting(data_.get() + prepared_, bytes - prepared_);
    prepared_ = bytes;
}

void Picture::reserve(std::size_t bytes) {
    if (bytes <= capacity_) return;
    auto grown = Allocate(bytes);
    if (byteSize() > 0) std::memcpy(grown.get(), data_.get(), byteSize());
    data_ = std::move(grown);
    capacity_ = bytes;
    prepared_ = 0;
}

void Picture::resize(int width, int height) {
    const std::size_t bytes = BytesFor(width, height);
    const int newWidth = bytes ? width : 0;
    const int newHeight = bytes ? height : 0;
    if (newWidth == width_ && newHeight == height_) return;
    auto fresh = Allocate(std::max<std::size_t>(bytes, 1));
    const int keepRows = std::min(newHeight, height_);
    const std::size_t keepBytes = static_cast<std::size_t>(std::min(newWidth, width_)) * 3;
    for (int y = 0; y < keepRows; ++y) {
        std::memcpy(fresh.get() + static_cast<std::size_t>(y) * newWidth * 3, row(y), keepBytes);
    }
    data_ = std::move(fresh);
    capacity_ = bytes;
    prepared_ = 0;
    width_ = newWidth;
    height_ = newHeight;
}

void Picture::clear() {
    data_.reset();
    capacity_ = 0;
    prepared_ = 0;
    width_ = 0;
    height_ = 0;
}

void Picture::fill(Color color) {
    const std::uint8_t bgr[3] = {ColorBlue(color), ColorGreen(color), ColorRed(color)};
    if (empty()) return;
    std::uint8_t* first = row(0);
    for (int x = 0; x < width_; ++x) std::memcpy(first + 3 * static_cast<std::size_t>(x), bgr, 3);
    for (int y = 1; y < height_; ++y) std::memcpy(row(y), first, stride());
}

bool operator==(const Picture& a, const Picture& b) {
    if (a.width_ != b.width_ || a.height_ != b.height_) return false;
    return a.byteSize() == 0 || std::memcmp(a.data(), b.data(), a.byteSize()) == 0;
}

}  // namespace turnlet
