// SPDX-License-Identifier: MIT
// JPEG encoding through TurboJPEG, straight out of the picture's rows into a buffer kept between frames.
#include "jpeg_io.h"

#include <turbojpeg.h>

namespace turnlet {

namespace {

// libjpeg's own ceiling for either side (JPEG_MAX_DIMENSION).
constexpr int kMaxJpegSide = 65500;

std::string Detail(void* handle) {
    return std::string(" (") + tjGetErrorStr2(handle) + ")";
}

}  // namespace

void JpegBuffer::Free::operator()(unsigned char* p) const {
    tjFree(p);
}

void JpegBuffer::Destroy::operator()(void* handle) const {
    tjDestroy(handle);
}

Status EncodeJpeg(const Picture& picture, int quality, const std::string& file, JpegBuffer& out) {
    if (picture.empty()) return Status::Error(file, "cannot write an empty picture");
    if (picture.width() > kMaxJpegSide || picture.height() > kMaxJpegSide) {
        return Status::Error(file, "picture of " + std::to_string(picture.width()) + " x " +
                                       std::to_string(picture.height()) + " pixels is too large for JPEG (at most " +
                                       std::to_string(kMaxJpegSide) + " pixels a side)");
    }
    quality = quality < 1 ? 1 : (quality > 100 ? 100 : quality);
    if (!out.encoder_) out.encoder_.reset(tjInitCompress());
    if (!out.encoder_) return Status::Error(file, "cannot start the JPEG encoder");
    // Full-resolution colour at high qualities, where users ask for fidelity; 4:2:0 below keeps files small.
    const int subsampling = quality >= 90 ? TJSAMP_444 : TJSAMP_420;
    // The worst case fits, so the encoder writes straight into the buffer kept from earlier frames.
    const unsigned long bound = tjBufSize(picture.width(), picture.height(), subsampling);
    if (bound == static_cast<unsigned long>(-1)) return Status::Error(file, "cannot encode JPEG (picture too large)");
    if (out.capacity_ < bound) {
        out.data_.reset();
        out.capacity_ = 0;
        out.data_.reset(tjAlloc(static_cast<int>(bound)));
        if (!out.data_) return Status::Error(file, "not enough memory to encode JPEG");
        out.capacity_ = bound;
    }
    unsigned char* data = out.data_.get();
    unsigned long size = out.capacity_;
    const int result =
        tjCompress2(out.encoder_.get(), picture.data(), picture.width(), static_cast<int>(picture.stride()),
                    picture.height(), TJPF_BGR, &data, &size, subsampling, quality, TJFLAG_NOREALLOC);
    out.size_ = result == 0 ? size : 0;
    if (result != 0) return Status::Error(file, "cannot encode JPEG" + Detail(out.encoder_.get()));
    return Status::Ok();
}

}  // namespace turnlet
