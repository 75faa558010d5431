// SPDX-License-Identifier: MIT
// JPEG decoding and encoding through TurboJPEG, straight into and out of the picture's rows.
#include "jpeg_io.h"

#include <turbojpeg.h>

#include <climits>

namespace turnlet {

namespace {

// libjpeg's own ceiling for either side (JPEG_MAX_DIMENSION).
constexpr int kMaxJpegSide = 65500;

struct TjDestroy {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TjHandle = std::unique_ptr<void, TjDestroy>;

std::string TooLarge(std::int64_t width, std::int64_t height) {
    return "picture of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is larger than the limit of " + std::to_string(kMaxPicturePixels / 1'000'000) + " megapixels";
}

std::string Detail(void* handle) {
    return std::string(" (") + tjGetErrorStr2(handle) + ")";
}

}  // namespace

void JpegBuffer::Free::operator()(unsigned char* p) const {
    tjFree(p);
}

Status DecodeJpeg(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out) {
    if (bytes.size() > ULONG_MAX) return Status::Error(file, "file is too large");
    TjHandle handle(tjInitDecompress());
    if (!handle) return Status::Error(file, "cannot start the JPEG decoder");
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), &width, &height,
                            &subsampling, &colorspace) != 0) {
        return Status::Error(file, "not a JPEG file or damaged JPEG header" + Detail(handle.get()));
    }
    // The header reader can succeed on a file cut before its frame header and give no size at all.
    if (width <= 0 || height <= 0) {
        return Status::Error(file, "damaged or truncated JPEG file (no picture size found)");
    }
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) return Status::Error(file, "CMYK JPEG is not supported");
    if (static_cast<std::int64_t>(width) * height > kMaxPicturePixels) {
        return Status::Error(file, TooLarge(width, height));
    }
    out.allocate(width, height);
    // A warning means the data ended early or was corrupt: the picture would be partly grey.
    if (tjDecompress2(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), out.data(), width,
                      static_cast<int>(out.stride()), height, TJPF_BGR, TJFLAG_STOPONWARNING) != 0) {
        return Status::Error(file, "damaged or truncated JPEG data" + Detail(handle.get()));
    }
    return Status::Ok();
}

Status EncodeJpeg(const Picture& picture, int quality, const std::string& file, JpegBuffer& out) {
    if (picture.empty()) return Status::Error(file, "cannot write an empty picture");
    if (picture.width() > kMaxJpegSide || picture.height() > kMaxJpegSide) {
        return Status::Error(file, "picture of " + std::to_string(picture.width()) + " x " +
                                       std::to_string(picture.height()) + " pixels is too large for JPEG (at most " +
                                       std::to_string(kMaxJpegSide) + " pixels a side)");
    }
    quality = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
    TjHandle handle(tjInitCompress());
    if (!handle) return Status::Error(file, "cannot start the JPEG encoder");
    unsigned char* data = nullptr;
    unsigned long size = 0;
    // Full-resolution colour at high qualities, where users ask for fidelity; 4:2:0 below keeps files small.
    const int subsampling = quality >= 90 ? TJSAMP_444 : TJSAMP_420;
    const int result = tjCompress2(handle.get(), picture.data(), picture.width(), static_cast<int>(picture.stride()),
                                   picture.height(), TJPF_BGR, &data, &size, subsampling, quality, 0);
    out.data_.reset(data);
    out.size_ = size;
    if (result != 0) return Status::Error(file, "cannot encode JPEG" + Detail(handle.get()));
    return Status::Ok();
}

}  // namespace turnlet
