// SPDX-License-Identifier: MIT
// libFuzzer entry for the reduced-scale JPEG decoder the alignment reads photographs with: at every
// scale it must never crash, hang or run away with memory, and a picture it accepts has the size the
// scale gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codecs/jpeg_scaled.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace turnlet;
    const std::span<const std::uint8_t> bytes(data, size);
    int width = 0, height = 0;
    const bool sized = ReadJpegSize(bytes, "fuzz", width, height).ok();
    for (const int denominator : {1, 2, 4, 8}) {
        Picture out;
        const Status status = DecodeJpegScaled(bytes, "fuzz", denominator, out);
        if (!status.ok() && status.file() != "fuzz") std::abort();
        if (!status.ok()) continue;
        if (!sized || out.width() != (width + denominator - 1) / denominator ||
            out.height() != (height + denominator - 1) / denominator)
            std::abort();
    }
    return 0;
}
