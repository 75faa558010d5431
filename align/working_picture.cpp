// SPDX-License-Identifier: MIT
// Reduced working copies of source photographs.
#include "align/working_picture.h"

#include <algorithm>

#include "imaging/geometry.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_scaled.h"

namespace turnlet {
namespace {

constexpr std::size_t kMaxSourceBytes = std::size_t{2} << 30;

}  // namespace

int ScaleDenominatorFor(int width, int height, long long maxPixels) {
    for (int d = 1; d < 8; d *= 2) {
        const long long w = (width + d - 1) / d, h = (height + d - 1) / d;
        if (w * h <= maxPixels) return d;
    }
    return 8;
}

void ReduceByBlocks(const Picture& source, int denominator, Picture& out) {
    const int d = std::max(denominator, 1);
    const int width = (source.width() + d - 1) / d, height = (source.height() + d - 1) / d;
    out.allocate(width, height);
    std::vector<unsigned> sums(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int y0 = y * d, y1 = std::min(y0 + d, source.height());
        for (int sy = y0; sy < y1; ++sy) {
            const std::uint8_t* p = source.row(sy);
            for (int sx = 0; sx < source.width(); ++sx, p += 3) {
                unsigned* s = sums.data() + static_cast<std::size_t>(sx / d) * 3;
                s[0] += p[0];
                s[1] += p[1];
                s[2] += p[2];
            }
        }
        std::uint8_t* o = out.row(y);
        for (int x = 0; x < width; ++x) {
            const unsigned count = static_cast<unsigned>((std::min((x + 1) * d, source.width()) - x * d) * (y1 - y0));
            for (int c = 0; c < 3; ++c) o[x * 3 + c] = static_cast<std::uint8_t>((sums[x * 3 + c] + count / 2) / count);
        }
    }
}

Status LoadWorkingPicture(const std::string& path, int denominator, int rotationDegrees, Picture& out,
                          ByteBuffer& bytes, Picture& scratch) {
    const FileType type = FileTypeOf(path);
    if (type == FileType::Unknown) return Status::WrongFileType(path);
    if (type == FileType::Jpeg) {
        Status status = ReadWholeFile(path, bytes, kMaxSourceBytes);
        if (!status.ok()) return status;
        if (bytes.size() == 0) return Status::Error(path, "file is empty");
        status = DecodeJpegScaled(bytes.view(), path, denominator, scratch);
        if (!status.ok()) return status;
    } else {
        Picture whole;
        Status status = LoadPicture(path, whole);
        if (!status.ok()) return status;
        if (denominator > 1) {
            ReduceByBlocks(whole, denominator, scratch);
        } else {
            scratch = std::move(whole);
        }
    }
    if (rotationDegrees == 0) {
        std::swap(out, scratch);
    } else {
        RotateQuarter(scratch, out, rotationDegrees);
    }
    return Status::Ok();
}

}  // namespace turnlet
