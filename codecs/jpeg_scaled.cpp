// SPDX-License-Identifier: MIT
// Scaled JPEG decoding through the libjpeg API.
// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <climits>
#include <algorithm>
#include <csetjmp>
#include <cstring>

#include <vector>

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

// Every row into the one row of scratch: the data proved whole before the picture's memory is taken.
bool SkimRows(Reader& r, JSAMPLE* scratch) {
    if (setjmp(r.err.jump)) return false;
    while (r.cinfo.output_scanline < r.cinfo.output_height) jpeg_read_scanlines(&r.cinfo, &scratch, 1);
    jpeg_finish_decompress(&r.cinfo);
    return true;
}

// A large picture claimed by a small file decodes whole at 1/denominator before its memory is asked for.
Status CheckSuspect(std::span<const std::uint8_t> bytes, const std::string& file, int denominator,
                    std::int64_t pictureBytes) {
    if (!jpeg::SuspectSize(pictureBytes, bytes.size())) return Status::Ok();
    Reader check;
    if (!ReadHeader(check, bytes)) return Damaged(file, check.err);
    check.cinfo.mem->max_memory_to_use = jpeg::kSuspectDecoderMemory;
    if (!StartScaled(check, denominator)) return Damaged(file, check.err);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(check.cinfo.output_width) * 3);
    if (!SkimRows(check, row.data())) return Damaged(file, check.err);
    return Status::Ok();
}

// Rows from got.top of got's columns into out; the crop widens the columns to whole blocks.
bool ReadLumaRows(Reader& r, const PixelRect& got, std::uint8_t* out, JSAMPLE* scratch) {
    if (setjmp(r.err.jump)) return false;
    r.err.failOnWarning = true;
    r.cinfo.out_color_space = JCS_GRAYSCALE;
    r.cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&r.cinfo);
    JDIMENSION left = static_cast<JDIMENSION>(got.left), width = static_cast<JDIMENSION>(got.width);
    if (got.width < static_cast<int>(r.cinfo.output_width)) jpeg_crop_scanline(&r.cinfo, &left, &width);
    const std::size_t cut = static_cast<std::size_t>(got.left) - left;
    if (got.top > 0) jpeg_skip_scanlines(&r.cinfo, static_cast<JDIMENSION>(got.top));
    for (int y = 0; y < got.height; ++y) {
        JSAMPROW row = scratch;
        jpeg_read_scanlines(&r.cinfo, &row, 1);
        std::memcpy(out + static_cast<std::size_t>(y) * static_cast<std::size_t>(got.width), scratch + cut,
                    static_cast<std::size_t>(got.width));
    }
    jpeg_abort_decompress(&r.cinfo);
    return true;
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

namespace {

// The header read and the picture's kind and size checked, as every decode here needs.
Status OpenPicture(Reader& reader, std::span<const std::uint8_t> bytes, const std::string& file) {
    if (bytes.size() > ULONG_MAX) return Status::Error(file, "file is too large");
    if (!ReadHeader(reader, bytes) || reader.cinfo.image_width == 0 || reader.cinfo.image_height == 0) {
        return Status::Error(file, "not a JPEG file or damaged JPEG header");
    }
    if (reader.cinfo.jpeg_color_space == JCS_CMYK || reader.cinfo.jpeg_color_space == JCS_YCCK) {
        return Status::Error(file, "CMYK JPEG is not supported");
    }
    if (static_cast<std::int64_t>(reader.cinfo.image_width) * reader.cinfo.image_height > kMaxPicturePixels) {
        return Status::Error(file, "picture is larger than the size limit");
    }
    return Status::Ok();
}

}  // namespace

Status DecodeJpegScaled(std::span<const std::uint8_t> bytes, const std::string& file, int denominator, Picture& out) {
    if (denominator != 1 && denominator != 2 && denominator != 4 && denominator != 8) {
        return Status::Error(file, "unsupported JPEG scale 1/" + std::to_string(denominator));
    }
    Reader reader;
    if (Status status = OpenPicture(reader, bytes, file); !status.ok()) return status;
    const std::int64_t d = denominator;
    const std::int64_t pictureBytes =
        (reader.cinfo.image_width + d - 1) / d * ((reader.cinfo.image_height + d - 1) / d) * 3;
    if (Status status = CheckSuspect(bytes, file, denominator, pictureBytes); !status.ok()) return status;
    if (!StartScaled(reader, denominator)) return Damaged(file, reader.err);
    out.allocate(static_cast<int>(reader.cinfo.output_width), static_cast<int>(reader.cinfo.output_height));
    if (!ReadRows(reader, out)) return Damaged(file, reader.err);
    return Status::Ok();
}

Status DecodeJpegLuma(std::span<const std::uint8_t> bytes, const std::string& file, const PixelRect& wanted,
                      std::vector<std::uint8_t>& out, PixelRect& got) {
    got = {};
    out.clear();
    Reader reader;
    if (Status status = OpenPicture(reader, bytes, file); !status.ok()) return status;
    const std::int64_t width = reader.cinfo.image_width, height = reader.cinfo.image_height;
    const std::int64_t left = std::clamp<std::int64_t>(wanted.left, 0, width);
    const std::int64_t top = std::clamp<std::int64_t>(wanted.top, 0, height);
    const std::int64_t right = std::clamp<std::int64_t>(std::int64_t{wanted.left} + wanted.width, left, width);
    const std::int64_t bottom = std::clamp<std::int64_t>(std::int64_t{wanted.top} + wanted.height, top, height);
    if (right <= left || bottom <= top) return Status::Ok();
    const PixelRect area{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                         static_cast<int>(bottom - top)};
    if (Status status = CheckSuspect(bytes, file, 1, std::int64_t{area.width} * area.height); !status.ok())
        return status;
    out.resize(static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height));
    std::vector<JSAMPLE> scratch(static_cast<std::size_t>(width));
    if (!ReadLumaRows(reader, area, out.data(), scratch.data())) {
        out.clear();
        return Damaged(file, reader.err);
    }
    got = area;
    return Status::Ok();
}

}  // namespace turnlet
