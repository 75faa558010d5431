// SPDX-License-Identifier: MIT
// JPEG decoding through the libjpeg API: whole pictures, or only the rows and columns a caller needs.
// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "jpeg_io.h"
#include "jpeg_reader.h"

namespace turnlet {

namespace {

using jpeg::kSuspectDecoderMemory;
using jpeg::SuspectSize;
// How far ahead of the rows decoded so far the picture's memory is asked for.
constexpr std::size_t kPrepareAhead = std::size_t{4} << 20;

using jpeg::ErrorManager;
using jpeg::Reader;

std::string TooLarge(std::int64_t width, std::int64_t height) {
    return "picture of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is larger than the limit of " + std::to_string(kMaxPicturePixels / 1'000'000) + " megapixels";
}

enum class Stage { Header, Data };

Status Failure(const std::string& file, Stage stage, const ErrorManager& err) {
    if (err.tooManyScans) {
        return Status::Error(file, jpeg::TooManyScansText());
    }
    const std::string detail = std::string(" (") + err.message + ")";
    if (stage == Stage::Header) return Status::Error(file, "not a JPEG file or damaged JPEG header" + detail);
    return Status::Error(file, "damaged or truncated JPEG data" + detail);
}

// Rows [first, last) of the whole decoded picture, columns [left, left + width).
struct Window {
    int left = 0;
    int width = 0;
    int first = 0;
    int last = 0;
};

// Each step is its own function so that no C++ object lives in a frame that libjpeg jumps across.

// Reads the header; false with stage set on failure. tablesOnly: the data holds no frame at all.
bool ReadHeader(Reader& r, std::span<const std::uint8_t> bytes, bool& tablesOnly) {
    if (setjmp(r.err.jump)) return false;
    jpeg::CreateReader(r, bytes.data(), static_cast<unsigned long>(bytes.size()));
    // FALSE: a file cut before its frame header reads as tables only, which we report as damage.
    tablesOnly = jpeg_read_header(&r.cinfo, FALSE) == JPEG_HEADER_TABLES_ONLY;
    return true;
}

// Decodes the window; rows of the region are copied to out from column cut of each decoded row.
// Rows before the window are skipped (compressed data still read), rows after it are read only when
// toTheEnd asks for the whole file to be checked.
bool DecodeRows(Reader& r, const Window& w, const PixelRect& region, Picture& out, JSAMPLE* scratch,
                std::size_t scratchRows, bool toTheEnd) {
    if (setjmp(r.err.jump)) return false;
    r.err.failOnWarning = true;
    r.cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&r.cinfo);
    const int fullWidth = static_cast<int>(r.cinfo.output_width);
    const int height = static_cast<int>(r.cinfo.output_height);
    int cut = 0;
    if (w.width > 0 && (w.left > 0 || w.width < fullWidth)) {
        JDIMENSION x = static_cast<JDIMENSION>(w.left);
        JDIMENSION width = static_cast<JDIMENSION>(w.width);
        jpeg_crop_scanline(&r.cinfo, &x, &width);
        cut = region.left - static_cast<int>(x);
    } else {
        cut = region.left;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(r.cinfo.output_width) * 3;
    if (w.first > 0) jpeg_skip_scanlines(&r.cinfo, static_cast<JDIMENSION>(w.first));
    // The whole width straight into the picture; narrower windows through scratch rows.
    const bool direct = cut == 0 && region.width == static_cast<int>(r.cinfo.output_width);
    JSAMPROW rows[16];
    std::size_t prepared = 0;
    while (static_cast<int>(r.cinfo.output_scanline) < w.last) {
        const int y = static_cast<int>(r.cinfo.output_scanline);
        const int count = std::min<int>({w.last - y, 16, static_cast<int>(scratchRows)});
        const bool inRegion = y >= region.top && y + count <= region.top + region.height;
        // Memory for the rows about to come, a few megabytes ahead, once a few megabytes have
        // decoded: a damaged file, which mostly fails within its first rows, asks for none.
        if (y + count > region.top && region.width > 0) {
            const std::size_t written = static_cast<std::size_t>(y + count - region.top) * out.stride();
            if (written > prepared && written >= kPrepareAhead) {
                prepared = written + kPrepareAhead;
                out.prepare(prepared);
            }
        }
        for (int i = 0; i < count; ++i) {
            rows[i] =
                direct && inRegion ? out.row(y - region.top + i) : scratch + rowBytes * static_cast<std::size_t>(i);
        }
        const int got = static_cast<int>(jpeg_read_scanlines(&r.cinfo, rows, static_cast<JDIMENSION>(count)));
        for (int i = 0; i < got; ++i) {
            const int row = y + i;
            if (row < region.top || row >= region.top + region.height) continue;
            if (direct && inRegion) continue;
            std::memcpy(out.row(row - region.top), rows[i] + std::size_t(3) * static_cast<std::size_t>(cut),
                        static_cast<std::size_t>(region.width) * 3);
        }
    }
    if (!toTheEnd) {
        jpeg_abort_decompress(&r.cinfo);
        return true;
    }
    // Skipping all but the last row still decodes the compressed data of every row (a skip to the
    // very end would not look at it), and the end of the file is read as a full decode reads it.
    const int rest = height - static_cast<int>(r.cinfo.output_scanline);
    if (rest > 1) jpeg_skip_scanlines(&r.cinfo, static_cast<JDIMENSION>(rest - 1));
    rows[0] = scratch;
    while (r.cinfo.output_scanline < r.cinfo.output_height) jpeg_read_scanlines(&r.cinfo, rows, 1);
    jpeg_finish_decompress(&r.cinfo);
    return true;
}

// Whether an end-of-image marker follows scanStart. Searched from the end, where a whole file has it.
bool EndsAfterScan(std::span<const std::uint8_t> bytes, const JOCTET* scanStart) {
    const std::uint8_t* first = scanStart;
    if (first < bytes.data() || first > bytes.data() + bytes.size()) first = bytes.data();
    for (const std::uint8_t* p = bytes.data() + bytes.size(); p - first >= 2; --p) {
        if (p[-2] == 0xFF && p[-1] == 0xD9) return true;
    }
    return false;
}

}  // namespace

bool ReadJpegSize(std::span<const std::uint8_t> head, std::uint64_t fileBytes, int& width, int& height) {
    width = 0;
    height = 0;
    if (head.size() > ULONG_MAX) return false;
    Reader reader;
    bool tablesOnly = false;
    // Cut short, the header ends in a warning (the data ran out) or holds tables only.
    if (!ReadHeader(reader, head, tablesOnly) || tablesOnly || reader.err.warned) return false;
    const jpeg_decompress_struct& cinfo = reader.cinfo;
    const std::int64_t w = cinfo.image_width;
    const std::int64_t h = cinfo.image_height;
    if (w <= 0 || h <= 0 || w > INT_MAX || h > INT_MAX) return false;
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) return false;
    // What the full decode refuses or checks further, it reports itself.
    const std::int64_t pixels = w * h;
    if (pixels > kMaxPicturePixels) return false;
    if (SuspectSize(pixels * 3, fileBytes)) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

Status DecodeJpegRegion(std::span<const std::uint8_t> bytes, const std::string& file, const PixelRect& wanted,
                        const JpegRegionOptions& options, Picture& out, PictureArea& got) {
    return DecodeJpegRegion(
        bytes, file, [&wanted](int, int) { return wanted; }, options, out, got);
}

Status DecodeJpegRegion(std::span<const std::uint8_t> bytes, const std::string& file,
                        const std::function<PixelRect(int, int)>& wantedFor, const JpegRegionOptions& options,
                        Picture& out, PictureArea& got) {
    got = {};
    if (bytes.size() > ULONG_MAX) return Status::Error(file, "file is too large");
    Reader reader;
    bool tablesOnly = false;
    if (!ReadHeader(reader, bytes, tablesOnly)) return Failure(file, Stage::Header, reader.err);
    jpeg_decompress_struct& cinfo = reader.cinfo;
    const int width = static_cast<int>(cinfo.image_width);
    const int height = static_cast<int>(cinfo.image_height);
    // The header reader can succeed on a file cut before its frame header and give no size at all.
    if (tablesOnly || width <= 0 || height <= 0) {
        return Status::Error(file, "damaged or truncated JPEG file (no picture size found)");
    }
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
        return Status::Error(file, "CMYK JPEG is not supported");
    }
    const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
    if (pixels > kMaxPicturePixels) return Status::Error(file, TooLarge(width, height));
    if (reader.err.warned) return Failure(file, Stage::Data, reader.err);
    // A decode that stops after its region never reaches the end of a file cut short (a half-copied
    // photograph) and would take it for whole. Compressed data never holds the end marker, so its
    // presence after the scan has begun is the whole file's mark; a whole decode checks more.
    if (!options.checkWholeFile && !EndsAfterScan(bytes, reader.cinfo.src->next_input_byte)) {
        return Status::Error(file, "damaged or truncated JPEG file (its end marker is missing)");
    }
    got.fullWidth = width;
    got.fullHeight = height;

    if (SuspectSize(pixels * 3, bytes.size())) {
        // The compressed data of every row, without building pixels, into one row of scratch.
        Reader check;
        bool ignored = false;
        if (!ReadHeader(check, bytes, ignored)) return Failure(file, Stage::Header, check.err);
        check.cinfo.mem->max_memory_to_use = kSuspectDecoderMemory;
        std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
        Picture none;
        if (!DecodeRows(check, Window{}, PixelRect{}, none, row.data(), 1, true)) {
            return Failure(file, Stage::Data, check.err);
        }
    }

    // The part asked for, inside the picture.
    const PixelRect wanted = wantedFor(width, height);
    const int left = std::clamp(wanted.left, 0, width);
    const int top = std::clamp(wanted.top, 0, height);
    const int right = std::clamp(
        static_cast<int>(std::min<std::int64_t>(std::int64_t{wanted.left} + wanted.width, INT_MAX)), left, width);
    const int bottom = std::clamp(
        static_cast<int>(std::min<std::int64_t>(std::int64_t{wanted.top} + wanted.height, INT_MAX)), top, height);
    PixelRect region{left, top, right - left, bottom - top};
    if (region.width <= 0 || region.height <= 0) region = {0, 0, 0, 0};

    // Fancy upsampling blends each edge column of a narrower decode with itself instead of its
    // neighbour, and a skip restarts the row context: the decoded window reaches two MCUs beyond
    // the region on every side that is not the picture's edge, and only the region is kept.
    const int mcuWidth = 8 * std::max(1, static_cast<int>(cinfo.max_h_samp_factor));
    const int mcuHeight = 8 * std::max(1, static_cast<int>(cinfo.max_v_samp_factor));
    Window window;
    // Skipping and cropping are proved byte-exact by the tests for Huffman-coded files; arithmetic
    // coding is decoded whole-width from the top.
    if (region.width > 0 && options.crop && !cinfo.arith_code) {
        window.left = std::max(0, region.left - 2 * mcuWidth);
        window.width = std::min(width, region.left + region.width + 2 * mcuWidth) - window.left;
        window.first = std::max(0, region.top - 2 * mcuHeight);
        window.last = region.top + region.height;
    } else {
        window = {0, width, 0, region.width > 0 ? region.top + region.height : 0};
    }
    // Rows decoded whole are exact in every column: a region that needs most of them keeps them
    // all, read straight into the picture without a copy.
    if (region.width > 0 && window.width * 8 > width * 7) {
        window.left = 0;
        window.width = width;
        region.left = 0;
        region.width = width;
    }
    const bool toTheEnd = options.checkWholeFile;
    if (region.width <= 0 && !toTheEnd) {
        out.allocate(0, 0);
        return Status::Ok();
    }

    out.allocate(region.width, region.height);
    // Scratch rows as wide as the picture: the crop widens the window to whole MCUs.
    constexpr std::size_t kScratchRows = 16;
    std::vector<JSAMPLE> scratch(static_cast<std::size_t>(width) * 3 * kScratchRows);
    if (!DecodeRows(reader, window, region, out, scratch.data(), kScratchRows, toTheEnd)) {
        return Failure(file, Stage::Data, reader.err);
    }
    got.area = region;
    return Status::Ok();
}

Status DecodeJpeg(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out) {
    PictureArea got;
    JpegRegionOptions options;
    options.crop = false;
    options.checkWholeFile = true;
    return DecodeJpegRegion(bytes, file, PixelRect{0, 0, INT_MAX, INT_MAX}, options, out, got);
}

}  // namespace turnlet
