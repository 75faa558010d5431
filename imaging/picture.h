// SPDX-License-Identifier: MIT
// The in-memory picture: 24-bit, blue-green-red, rows top first, tightly packed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/color.h"

namespace turnlet {

// Largest picture we agree to hold (width x height). Decoders check a file's header against it
// before allocating, so a damaged or hostile header cannot ask for gigabytes.
inline constexpr std::int64_t kMaxPicturePixels = 250'000'000;

// A rectangle of pixels: columns [left, left + width), rows [top, top + height).
struct PixelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    // Whether every pixel of inner lies in this rectangle (an empty inner always does).
    bool contains(const PixelRect& inner) const {
        return inner.empty() || (inner.left >= left && inner.top >= top &&
                                 std::int64_t{inner.left} + inner.width <= std::int64_t{left} + width &&
                                 std::int64_t{inner.top} + inner.height <= std::int64_t{top} + height);
    }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Where a partly decoded picture sits: a picture holding only area of a fullWidth x fullHeight one.
struct PictureArea {
    PixelRect area;
    int fullWidth = 0;
    int fullHeight = 0;
};

// Rows are stored without padding: row y starts at data() + y * stride(), stride() == 3 * width.
// Buffers are reused when a picture shrinks or keeps its size, so workers that hold their pictures
// for their whole life do not reallocate per request.
class Picture {
  public:
    Picture() = default;
    Picture(int width, int height) { allocate(width, height); }
    Picture(const Picture& other);
    Picture& operator=(const Picture& other);
    Picture(Picture&& other) noexcept;
    Picture& operator=(Picture&& other) noexcept;
    ~Picture() = default;

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return width_ <= 0 || height_ <= 0; }
    std::size_t stride() const { return static_cast<std::size_t>(width_) * 3; }
    std::size_t byteSize() const { return stride() * static_cast<std::size_t>(height_); }

    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }
    std::uint8_t* row(int y) { return data_.get() + static_cast<std::size_t>(y) * stride(); }
    const std::uint8_t* row(int y) const { return data_.get() + static_cast<std::size_t>(y) * stride(); }
    std::uint8_t* pixel(int x, int y) { return row(y) + static_cast<std::size_t>(x) * 3; }
    const std::uint8_t* pixel(int x, int y) const { return row(y) + static_cast<std::size_t>(x) * 3; }

    // New size with undefined content; for outputs that are written whole afterwards.
    // Negative sizes count as 0. Sizes over kMaxPicturePixels throw std::length_error.
    void allocate(int width, int height);
    // Asks for the memory of the first bytes at once (PrepareForWriting), for a writer about to fill
    // them: far cheaper than a fault per page where fresh pages are costly. Done once per buffer.
    void prepare(std::size_t bytes);
    // New size keeping the pixels of the area the old and new sizes share (the rest is undefined).
    void resize(int width, int height);
    // Room for at least bytes without reallocating, keeping size and pixels; for a caller that
    // reuses one picture for sizes that vary.
    void reserve(std::size_t bytes);
    std::size_t capacity() const { return capacity_; }
    // Back to 0 x 0, releasing the buffer.
    void clear();
    void fill(Color color);

    friend bool operator==(const Picture& a, const Picture& b);

  private:
    int width_ = 0;
    int height_ = 0;
    std::size_t capacity_ = 0;
    // Bytes from the start whose memory was asked for at once (prepare).
    std::size_t prepared_ = 0;
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    // Large buffers sit on 2 MB boundaries and ask for huge pages: a 24-megapixel picture then takes
    // a few dozen page faults instead of tens of thousands, and reads across its rows miss the TLB far less.
    static std::unique_ptr<std::uint8_t, Free> Allocate(std::size_t bytes);
    std::unique_ptr<std::uint8_t, Free> data_;
};

}  // namespace turnlet
