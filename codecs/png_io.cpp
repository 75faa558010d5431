// SPDX-License-Identifier: MIT
// PNG reading and writing through libpng, with its errors turned into a Status instead of an exit.
#include "png_io.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace turnlet {

namespace {

// libpng reports errors by calling OnError, which jumps back to the setjmp of the function that
// made the failing call. Those functions (ReadHeader, ReadPixels, WriteAll) therefore hold only
// plain values and pointers: a longjmp past a C++ destructor would skip it.
struct PngIo {
    const std::uint8_t* input = nullptr;
    std::size_t inputSize = 0;
    std::size_t inputPos = 0;
    OutputFile* output = nullptr;
    Status writeStatus;
    char message[256] = {};
};

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    auto* io = static_cast<PngIo*>(png_get_error_ptr(png));
    std::snprintf(io->message, sizeof io->message, "%s", message ? message : "unknown error");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}  // ancillary trouble; the picture still decodes

void ReadFromMemory(png_structp png, png_bytep data, std::size_t length) {
    auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
    if (length > io->inputSize - io->inputPos) png_error(png, "file ends too early");
    std::memcpy(data, io->input + io->inputPos, length);
    io->inputPos += length;
}

// Kept apart from WriteToFile so that no Status is alive when png_error jumps away.
bool WriteOut(PngIo* io, png_bytep data, std::size_t length) {
    io->writeStatus = io->output->write(data, length);
    return io->writeStatus.ok();
}

void WriteToFile(png_structp png, png_bytep data, std::size_t length) {
    if (!WriteOut(static_cast<PngIo*>(png_get_io_ptr(png)), data, length)) png_error(png, "write failed");
}

void FlushNothing(png_structp) {}  // the caller flushes and checks when it closes the file

// Metadata we never use. libpng would allocate each such chunk whole, and inflate the compressed
// ones (a few kilobytes of zTXt can inflate to gigabytes); skipped, they are only read past.
constexpr char kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0sPLT\0iCCP\0eXIf\0pCAL\0sCAL";

std::string ChunkName(const std::uint8_t* type) {
    for (int i = 0; i < 4; ++i) {
        const bool letter = (type[i] >= 'A' && type[i] <= 'Z') || (type[i] >= 'a' && type[i] <= 'z');
        if (!letter) return "an unnamed chunk";
    }
    return "chunk \"" + std::string(type, type + 4) + "\"";
}

// libpng allocates a chunk's stated length before it reads the chunk, so a 57-byte file stating
// 2 GB would cost 2 GB and seconds. Every stated length is held against the bytes left first.
Status CheckChunkLengths(std::span<const std::uint8_t> bytes, const std::string& file) {
    std::size_t at = 8;
    while (at < bytes.size()) {
        const std::size_t left = bytes.size() - at;
        if (left < 8) return Status::Error(file, "damaged or truncated PNG file: it ends inside a chunk header");
        const std::uint32_t length = png_get_uint_32(bytes.data() + at);
        const std::uint8_t* type = bytes.data() + at + 4;
        // Chunk data and its 4-byte checksum must both be there.
        if (length > PNG_UINT_31_MAX || std::size_t{length} + 4 > left - 8) {
            return Status::Error(file, "damaged or truncated PNG file: " + ChunkName(type) +
                                           " runs past the end of the file (" + std::to_string(length) +
                                           " bytes stated, " + std::to_string(left - 8) + " left)");
        }
        at += std::size_t{length} + 12;
        if (std::memcmp(type, "IEND", 4) == 0) break;
    }
    return Status::Ok();
}

struct ReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadStructs() {
        if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

struct WriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~WriteStructs() {
        if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    }
};

struct Header {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int channels = 0;  // 3 (blue, green, red) or 4 (with alpha last)
    bool interlaced = false;
};

bool ReadHeader(png_structp png, png_infop info, Header* header) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, reinterpret_cast<png_const_bytep>(kSkippedChunks),
                                sizeof kSkippedChunks / 5);
    png_read_info(png, info);
    png_set_expand(png);  // palette to RGB, grey below 8 bits to 8 bits, tRNS to alpha
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    // No png_set_interlace_handling: ReadPixels places the pixels of each pass itself, which lets
    // an interlaced picture with alpha be flattened row by row without a full-size RGBA copy.
    png_read_update_info(png, info);
    header->width = png_get_image_width(png, info);
    header->height = png_get_image_height(png, info);
    header->channels = png_get_channels(png, info);
    header->interlaced = png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7;
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(header->width) * header->channels) {
        png_error(png, "unexpected row layout");
    }
    return true;
}

// Writes one decoded row (pass row `passRow` of `pass`, or image row passRow when not interlaced).
void PlaceRow(const Header* header, const png_byte* src, Picture* out, png_uint_32 passRow, int pass) {
    const png_uint_32 y = header->interlaced ? PNG_ROW_FROM_PASS_ROW(passRow, pass) : passRow;
    const png_uint_32 cols = header->interlaced ? PNG_PASS_COLS(header->width, pass) : header->width;
    const png_uint_32 x0 = header->interlaced ? PNG_PASS_START_COL(pass) : 0;
    const png_uint_32 step = header->interlaced ? (1u << PNG_PASS_COL_SHIFT(pass)) : 1;
    std::uint8_t* dst = out->row(static_cast<int>(y)) + static_cast<std::size_t>(x0) * 3;
    const std::size_t dstStep = static_cast<std::size_t>(step) * 3;
    if (header->channels == 3) {
        for (png_uint_32 i = 0; i < cols; ++i, src += 3, dst += dstStep) std::memcpy(dst, src, 3);
        return;
    }
    for (png_uint_32 i = 0; i < cols; ++i, src += 4, dst += dstStep) {
        const unsigned a = src[3];
        const unsigned white = 255 * (255 - a) + 127;  // the +127 rounds the division to nearest
        dst[0] = static_cast<std::uint8_t>((src[0] * a + white) / 255);
        dst[1] = static_cast<std::uint8_t>((src[1] * a + white) / 255);
        dst[2] = static_cast<std::uint8_t>((src[2] * a + white) / 255);
    }
}

bool ReadPixels(png_structp png, png_infop info, const Header* header, Picture* out, png_byte* scratch) {
    if (setjmp(png_jmpbuf(png))) return false;
    if (!header->interlaced && header->channels == 3) {
        for (png_uint_32 y = 0; y < header->height; ++y) png_read_row(png, out->row(static_cast<int>(y)), nullptr);
    } else {
        const int passes = header->interlaced ? PNG_INTERLACE_ADAM7_PASSES : 1;
        for (int pass = 0; pass < passes; ++pass) {
            png_uint_32 rows = header->height;
            if (header->interlaced) {
                // libpng skips passes that hold no pixels; so must we.
                if (PNG_PASS_COLS(header->width, pass) == 0) continue;
                rows = PNG_PASS_ROWS(header->height, pass);
            }
            for (png_uint_32 r = 0; r < rows; ++r) {
                png_read_row(png, scratch, nullptr);
                PlaceRow(header, scratch, out, r, pass);
            }
        }
    }
    png_read_end(png, nullptr);  // also catches data cut off after the last row
    return true;
}

bool WriteAll(png_structp png, png_infop info, const Picture* picture) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture->width()), static_cast<png_uint_32>(picture->height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);  // zlib's default balance of size and time
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < picture->height(); ++y) png_write_row(png, picture->row(y));
    png_write_end(png, nullptr);
    return true;
}

std::string TooLarge(std::int64_t width, std::int64_t height) {
    return "picture of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is larger than the limit of " + std::to_string(kMaxPicturePixels / 1'000'000) + " megapixels";
}

// A large picture from a file thousands of times smaller is a decompression bomb: a few tens of
// kilobytes of deflated zeros would cost a second and hundreds of megabytes. Deflate packs at most
// about 1032 to 1, so no 8-bit colour picture comes near this ratio; only a nearly uniform grey,
// palette or low-depth one can, and no photograph does.
constexpr std::int64_t kBombPictureBytes = std::int64_t{64} << 20;
constexpr std::int64_t kBombRatio = 2048;

bool LooksLikeABomb(std::int64_t width, std::int64_t height, std::size_t fileBytes) {
    const std::int64_t pictureBytes = width * height * 3;
    return pictureBytes >= kBombPictureBytes && pictureBytes / kBombRatio > static_cast<std::int64_t>(fileBytes);
}

}  // namespace

Status DecodePng(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out) {
    if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return Status::Error(file, "not a PNG file");
    // The size in the leading IHDR chunk is judged before libpng reads on, so a hostile header is
    // named as such even when the rest of the file is missing.
    if (bytes.size() >= 24 && std::memcmp(bytes.data() + 12, "IHDR", 4) == 0) {
        const std::int64_t width = png_get_uint_32(bytes.data() + 16);
        const std::int64_t height = png_get_uint_32(bytes.data() + 20);
        if (width > kMaxPicturePixels || height > kMaxPicturePixels || width * height > kMaxPicturePixels) {
            return Status::Error(file, TooLarge(width, height));
        }
        if (LooksLikeABomb(width, height, bytes.size())) {
            return Status::Error(file, "picture of " + std::to_string(width) + " x " + std::to_string(height) +
                                           " pixels in a file of only " + std::to_string(bytes.size()) +
                                           " bytes: refused as a decompression bomb");
        }
    }
    if (Status status = CheckChunkLengths(bytes, file); !status.ok()) return status;
    PngIo io;
    io.input = bytes.data();
    io.inputSize = bytes.size();
    ReadStructs structs;
    structs.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &io, OnError, OnWarning);
    if (!structs.png) return Status::Error(file, "not enough memory to decode PNG");
    structs.info = png_create_info_struct(structs.png);
    if (!structs.info) return Status::Error(file, "not enough memory to decode PNG");
    png_set_read_fn(structs.png, &io, ReadFromMemory);

    Header header;
    if (!ReadHeader(structs.png, structs.info, &header)) {
        return Status::Error(file, std::string("damaged PNG header (") + io.message + ")");
    }
    const std::int64_t width = header.width;
    const std::int64_t height = header.height;
    if (width <= 0 || height <= 0 || width > kMaxPicturePixels || height > kMaxPicturePixels ||
        width * height > kMaxPicturePixels) {
        return Status::Error(file, TooLarge(width, height));
    }
    out.allocate(static_cast<int>(width), static_cast<int>(height));
    std::vector<png_byte> scratch;
    if (header.interlaced || header.channels != 3) scratch.resize(static_cast<std::size_t>(width) * header.channels);
    if (!ReadPixels(structs.png, structs.info, &header, &out, scratch.data())) {
        return Status::Error(file, std::string("damaged or truncated PNG data (") + io.message + ")");
    }
    return Status::Ok();
}

Status WritePng(const Picture& picture, OutputFile& out) {
    const std::string& file = out.path();
    PngIo io;
    io.output = &out;
    WriteStructs structs;
    structs.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &io, OnError, OnWarning);
    if (!structs.png) return Status::Error(file, "not enough memory to encode PNG");
    structs.info = png_create_info_struct(structs.png);
    if (!structs.info) return Status::Error(file, "not enough memory to encode PNG");
    png_set_write_fn(structs.png, &io, WriteToFile, FlushNothing);
    if (!WriteAll(structs.png, structs.info, &picture)) {
        if (!io.writeStatus.ok()) return io.writeStatus;
        return Status::Error(file, std::string("cannot encode PNG (") + io.message + ")");
    }
    return Status::Ok();
}

}  // namespace turnlet
