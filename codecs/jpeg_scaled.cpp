// SPDX-License-Identifier: MIT
// Scaled JPEG decoding through the libjpeg API.
// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <climits>
#include <csetjmp>

#include "jpeg_reader.h"
#include "jpeg_scaled.h"

namespace turnlet {
namespace {

using jpeg::ErrorManager;
using jpeg::Reader;

// No C++ object with a destructor lives in the frames libjpeg jumps across.
bool ReadHeader(Reader& r, std::span<const std::uint8_t> bytes) {
    if (setjmp(r.err.jump)) return false;
    // Corrupt or truncated data would give a partly grey picture: any warning fails.
    r.err.failOnWarning = true;
    jpeg::CreateReader(r, bytes.data(), static_cast<unsigned long>(bytes.size()));
    return jpeg_read_header(&r.cinfo, TRUE) == JPEG_HEADER_OK;
}

bool StartScaled(Reader& r, int denominator) {
    if (setjmp(r.err.jump)) return false;
    r.cinfo.scale_num = 1;
    r.cinfo.scale_denom = static_cast<unsigned>(denominator);
    r.cinfo.out_color_space = JCS_EXT_BGR;
    r.cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&r.cinfo);
    return true;
}

bool ReadRows(Reader& r, Picture& out) {
    if (setjmp(r.err.jump)) return false;
    while (r.cinfo.output_scanline < r.cinfo.output_height) {
        JSAMPROW row = out.row(static_cast<int>(r.cinfo.output_scanline));
        jpeg_read_scanlines(&r.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&r.cinfo);
    return true;
}

Status Damaged(const std::string& file, const ErrorManager& err) {
    if (err.tooManyScans) return Status::Error(file, jpeg::TooManyScansText());
    return Status::Error(file, std::string("damaged or truncated JPEG data (") + err.message + ")");
}

}  // namespace

Status ReadJpegSize(std::span<const std::uint8_t> bytes, const std::string& file, int& width, int& height) {
    if (bytes.size() > ULONG_MAX) return Status::Error(file, "file is too large");
    Reader reader;
    if (!ReadHeader(reader, bytes) || reader.cinfo.image_width == 0 || reader.cinfo.image_height == 0) {
        return Status::Error(file, "not a JPEG file or damaged JPEG header");
    }
    width = static_cast<int>(reader.cinfo.image_width);
    height = static_cast<int>(reader.cinfo.image_height);
    return Status::Ok();
}

Status DecodeJpegScaled(std::span<const std::uint8_t> bytes, const std::string& file, int denominator, Picture& out) {
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) {
        return Status::Error(file, "unsupported JPEG scale 1/" + std::to_string(denominator));
    }
    if (bytes.size() > ULONG_MAX) return Status::Error(file, "file is too large");
    Reader reader;
    if (!ReadHeader(reader, bytes) || reader.cinfo.image_width == 0 || reader.cinfo.image_height == 0) {
        return Status::Error(file, "not a JPEG file or damaged JPEG header");
    }
    if (reader.cinfo.jpeg_color_space == JCS_CMYK || reader.cinfo.jpeg_color_space == JCS_YCCK) {
        return Status::Error(file, "CMYK JPEG is not supported");
    }
    if (static_cast<std::int64_t>(reader.cinfo.image_width) * reader.cinfo.image_height > kMaxPicturePixels) {
        return Status::Error(file, "picture is larger than the size limit");
    }
    if (!StartScaled(reader, denominator)) return Damaged(file, reader.err);
    out.allocate(static_cast<int>(reader.cinfo.output_width), static_cast<int>(reader.cinfo.output_height));
    if (!ReadRows(reader, out)) return Damaged(file, reader.err);
    return Status::Ok();
}

}  // namespace turnlet
