// SPDX-License-Identifier: MIT
// JPEG files: decoding (whole or a region) to 24-bit blue-green-red, and encoding at a quality.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "imaging/picture.h"
#include "base/status.h"

namespace turnlet {

// Compressed JPEG bytes owned by TurboJPEG's allocator, with the encoder that made them. Kept
// between frames, both are reused: the buffer holds the worst case for the largest frame so far.
class JpegBuffer {
  public:
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

  private:
    struct Free {
        void operator()(unsigned char* p) const;
    };
    struct Destroy {
        void operator()(void* handle) const;
    };
    std::unique_ptr<unsigned char, Free> data_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::unique_ptr<void, Destroy> encoder_;
    friend Status EncodeJpeg(const Picture&, int, const std::string&, JpegBuffer&);
};

// Decodes a whole JPEG file held in memory into out; grey JPEGs give three equal channels.
// Any decoder warning (truncated or corrupt data) counts as failure. On failure out's content is unspecified.
Status DecodeJpeg(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out);

// How a region is decoded.
struct JpegRegionOptions {
    // Decode only the columns and rows of the region (with a margin); off: every column, and every
    // row down to the region's last.
    bool crop = true;
    // Read the compressed data to the end of the file, so that damage below the region fails the
    // decode as it fails a full one. Off: decoding stops after the region's last row.
    bool checkWholeFile = false;
};

// Decodes the pixels of wanted (clipped to the picture) into out, each byte equal to the same pixel
// of DecodeJpeg's picture. got.area holds wanted and may be larger (whole rows when wanted needs
// most of their width). A region that misses the picture gives an empty out after reading the
// header (and the whole file when checkWholeFile). Errors are those of DecodeJpeg.
Status DecodeJpegRegion(std::span<const std::uint8_t> bytes, const std::string& file, const PixelRect& wanted,
                        const JpegRegionOptions& options, Picture& out, PictureArea& got);
// The same with the region chosen once the picture's size is known (wanted gets width, height).
Status DecodeJpegRegion(std::span<const std::uint8_t> bytes, const std::string& file,
                        const std::function<PixelRect(int, int)>& wanted, const JpegRegionOptions& options,
                        Picture& out, PictureArea& got);

// The picture size from head, the first bytes of a JPEG file of fileBytes bytes. False when head
// holds no whole, clean header, or the picture is one a decode refuses or checks further (CMYK,
// beyond the pixel limit, too few bytes for its size): that caller decodes the whole file.
bool ReadJpegSize(std::span<const std::uint8_t> head, std::uint64_t fileBytes, int& width, int& height);

// Encodes picture at quality 1..100 (clamped): 4:4:4 chroma at quality 90 and above, 4:2:0 below.
Status EncodeJpeg(const Picture& picture, int quality, const std::string& file, JpegBuffer& out);

}  // namespace turnlet
