// SPDX-License-Identifier: MIT
// libFuzzer entry for one picture decoder, chosen at build time: it must never crash, hang or run away
// with memory, and what it accepts is a picture we can hold. (Keeping the caller's picture on failure
// is LoadPicture's part: it decodes into scratch.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "codecs/avif_io.h"
#include "codecs/bmp_io.h"
#include "codecs/jpeg_io.h"
#include "codecs/png_io.h"
#include "codecs/webp_io.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace turnlet;
    const std::span<const std::uint8_t> bytes(data, size);
    Picture out;
    const Status status = TURNLET_FUZZ_DECODER(bytes, "fuzz", out);
    if (!status.ok() && status.file() != "fuzz") std::abort();
    if (status.ok() && (out.empty() || static_cast<std::int64_t>(out.width()) * out.height() > kMaxPicturePixels))
        std::abort();
    return 0;
}
