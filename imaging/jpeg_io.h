// SPDX-License-Identifier: MIT
// JPEG files through TurboJPEG: decoding to 24-bit blue-green-red and encoding at a quality.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "picture.h"
#include "base/status.h"

namespace turnlet {

// Compressed JPEG bytes owned by TurboJPEG's allocator.
class JpegBuffer {
  public:
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

  private:
    struct Free {
        void operator()(unsigned char* p) const;
    };
    std::unique_ptr<unsigned char, Free> data_;
    std::size_t size_ = 0;
    friend Status EncodeJpeg(const Picture&, int, const std::string&, JpegBuffer&);
};

// Decodes a whole JPEG file held in memory into out; grey JPEGs give three equal channels.
// Any decoder warning (truncated or corrupt data) counts as failure. On failure out's content is unspecified.
Status DecodeJpeg(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out);

// Encodes picture at quality 1..100 (clamped): 4:4:4 chroma at quality 90 and above, 4:2:0 below.
Status EncodeJpeg(const Picture& picture, int quality, const std::string& file, JpegBuffer& out);

}  // namespace turnlet
