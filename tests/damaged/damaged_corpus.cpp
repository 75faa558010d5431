// SPDX-License-Identifier: MIT
// Damaged picture files, each made from a small whole file of our own writers by one precise break.
#include "damaged_corpus.h"

#include <sys/stat.h>
#include <zlib.h>

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "codecs/image_files.h"

namespace turnlet::damaged {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.good()) throw std::runtime_error("cannot write " + path);
}

// Ramps with a little noise: the scan data of a JPEG is then long enough to be cut and broken
// in its middle.
Picture Photo(int width, int height) {
    Picture picture(width, height);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 16) % 24);
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(30 + 150 * x / width + noise);
            p[1] = static_cast<std::uint8_t>(50 + 120 * y / height + noise);
            p[2] = static_cast<std::uint8_t>(200 - 100 * (x + y) / (width + height) + noise);
        }
    }
    return picture;
}

Bytes Written(const std::string& folder, const std::string& name, const Picture& picture) {
    const std::string path = folder + "/." + name;
    const Status status = SavePicture(picture, path, 90);
    if (!status.ok()) throw std::runtime_error(status.message());
    Bytes bytes = ReadAll(path);
    std::filesystem::remove(path);
    return bytes;
}

std::size_t Find(const Bytes& bytes, const Bytes& wanted) {
    const auto at = std::search(bytes.begin(), bytes.end(), wanted.begin(), wanted.end());
    if (at == bytes.end()) throw std::runtime_error("pattern not found");
    return static_cast<std::size_t>(at - bytes.begin());
}

std::size_t FindMarker(const Bytes& jpeg, std::uint8_t marker) {
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
    }
    throw std::runtime_error("JPEG marker not found");
}

void PutBig32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}
void PutLittle32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutLittle16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void AppendChunk(Bytes& png, const char* type, const Bytes& data) {
    const std::size_t at = png.size();
    png.resize(at + 4);
    PutBig32(png, at, static_cast<std::uint32_t>(data.size()));
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    const uLong crc = crc32(0, &png[at + 4], static_cast<uInt>(data.size() + 4));
    png.resize(png.size() + 4);
    PutBig32(png, png.size() - 4, static_cast<std::uint32_t>(crc));
}

// Offset of a chunk's type field, or npos.
std::size_t FindChunk(const Bytes& png, const char* type) {
    for (std::size_t at = 8; at + 8 <= png.size();) {
        const std::uint32_t length = (std::uint32_t{png[at]} << 24) | (std::uint32_t{png[at + 1]} << 16) |
                                     (std::uint32_t{png[at + 2]} << 8) | png[at + 3];
        if (std::equal(type, type + 4, png.begin() + static_cast<std::ptrdiff_t>(at + 4))) return at + 4;
        at += std::size_t{length} + 12;
    }
    throw std::runtime_error("PNG chunk not found");
}

// A valid 1-bit grey PNG of width x height, all black: a few tens of kilobytes that decode to
// width x height pixels. The zeros are deflated in pieces and never held at once.
Bytes PngBomb(std::uint32_t width, std::uint32_t height) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header(13, 0);
    PutBig32(header, 0, width);
    PutBig32(header, 4, height);
    header[8] = 1;  // bit depth
    header[9] = 0;  // grey
    AppendChunk(png, "IHDR", header);

    std::uint64_t left = std::uint64_t{height} * (1 + (width + 7) / 8);
    const Bytes zeros(1 << 20, 0);
    Bytes idat;
    z_stream z{};
    if (deflateInit(&z, 9) != Z_OK) throw std::runtime_error("zlib");
    std::uint8_t buffer[1 << 14];
    int result = Z_OK;
    do {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
        left -= piece;
        z.next_in = const_cast<Bytef*>(zeros.data());
        z.avail_in = static_cast<uInt>(piece);
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = buffer;
            z.avail_out = sizeof buffer;
            result = deflate(&z, flush);
            idat.insert(idat.end(), buffer, buffer + (sizeof buffer - z.avail_out));
        } while (z.avail_out == 0);
    } while (result != Z_STREAM_END);
    deflateEnd(&z);
    AppendChunk(png, "IDAT", idat);
    AppendChunk(png, "IEND", {});
    return png;
}

}  // namespace

// Each scan refines one coefficient by one bit, and each is a pass over every block of the picture.
std::vector<std::uint8_t> ProgressiveJpeg(int width, int height, int scanCount) {
    jpeg_compress_struct c{};
    jpeg_error_mgr error{};
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    std::vector<jpeg_scan_info> scans;
    auto add = [&scans](int components, int component, int coefficient) {
        for (int al = 10; al >= 0; --al) {
            jpeg_scan_info scan{};
            scan.comps_in_scan = components;
            for (int k = 0; k < components; ++k) scan.component_index[k] = component + k;
            scan.Ss = scan.Se = coefficient;
            scan.Ah = al == 10 ? 0 : al + 1;
            scan.Al = al;
            scans.push_back(scan);
        }
    };
    add(3, 0, 0);
    for (int component = 0; component < 3; ++component) {
        for (int coefficient = 1; coefficient < 64; ++coefficient) add(1, component, coefficient);
    }
    c.scan_info = scans.data();
    c.num_scans = std::clamp(scanCount, 11, static_cast<int>(scans.size()));
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3, 128);
    while (c.next_scanline < c.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    Bytes bytes(data, data + size);
    jpeg_destroy_compress(&c);
    std::free(data);
    return bytes;
}

namespace {

// An 8-bit BMP of four pixels whose palette holds two colours, indexing 0, 1, 2 and 255.
Bytes BmpPaletteBeyond() {
    Bytes bmp(14 + 40 + 2 * 4 + 4, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    PutLittle32(bmp, 2, static_cast<std::uint32_t>(bmp.size()));
    PutLittle32(bmp, 10, 14 + 40 + 8);
    PutLittle32(bmp, 14, 40);
    PutLittle32(bmp, 18, 4);
    PutLittle32(bmp, 22, 1);
    PutLittle16(bmp, 26, 1);
    PutLittle16(bmp, 28, 8);
    PutLittle32(bmp, 46, 2);  // colours used
    bmp[54 + 2] = 255;        // entry 0 red (blue, green, red, unused)
    bmp[58 + 1] = 255;        // entry 1 green
    const std::uint8_t indexes[4] = {0, 1, 2, 255};
    std::copy(indexes, indexes + 4, bmp.begin() + 62);
    return bmp;
}

}  // namespace

std::vector<DamagedFile> MakeDamagedCorpus(const std::string& folder) {
    std::filesystem::create_directories(folder);
    std::vector<DamagedFile> corpus;
    auto add = [&](const std::string& name, const Bytes& bytes, bool loads = false) {
        const std::string path = folder + "/" + name;
        std::filesystem::remove_all(path);
        WriteAll(path, bytes);
        corpus.push_back({name, path, loads});
    };

    // JPEG: cut at several places, Huffman data broken, absurd sizes.
    const Bytes jpeg = Written(folder, "base.jpg", Photo(320, 240));
    const std::size_t scan = FindMarker(jpeg, 0xDA);
    const std::size_t scanData = scan + 2 + ((std::size_t{jpeg[scan + 2]} << 8) | jpeg[scan + 3]);
    const std::size_t scanBytes = jpeg.size() - 2 - scanData;
    add("jpeg-cut-in-tables.jpg", Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(scan / 2)));
    for (int percent : {1, 50, 99}) {
        const std::size_t keep = scanData + scanBytes * static_cast<std::size_t>(percent) / 100;
        add("jpeg-cut-at-" + std::to_string(percent) + "-percent.jpg",
            Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(keep)));
    }
    add("jpeg-without-end-marker.jpg", Bytes(jpeg.begin(), jpeg.end() - 2));
    // A bad sector's worth of noise in the Huffman data, the end marker intact. (A few bytes of noise
    // may decode as valid codes and go unnoticed: JPEG has no checksum.)
    Bytes huffman = jpeg;
    std::uint32_t seed = 99;
    for (std::size_t i = scanData + scanBytes / 3, n = 0; n < 1024; ++i, ++n) {
        seed = seed * 1103515245u + 12345u;
        huffman[i] = static_cast<std::uint8_t>((seed >> 16) % 255);  // never 0xFF: no marker appears
    }
    add("jpeg-corrupt-huffman.jpg", huffman);
    const std::size_t frame = FindMarker(jpeg, 0xC0);
    auto withSize = [&](int width, int height) {
        Bytes b = jpeg;
        b[frame + 5] = static_cast<std::uint8_t>(height >> 8);
        b[frame + 6] = static_cast<std::uint8_t>(height & 0xFF);
        b[frame + 7] = static_cast<std::uint8_t>(width >> 8);
        b[frame + 8] = static_cast<std::uint8_t>(width & 0xFF);
        return b;
    };
    add("jpeg-65500x65500.jpg", withSize(65500, 65500));
    add("jpeg-15000x15000-in-a-small-file.jpg", withSize(15000, 15000));
    add("jpeg-2090-scans.jpg", ProgressiveJpeg(1000, 1000, kMostScans));
    add("jpeg-empty.jpg", {});
    add("jpeg-text.jpg", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});

    // PNG: a checksum that does not match, an absurd size, a decompression bomb, a cut.
    const Bytes png = Written(folder, "base.png", Photo(64, 48));
    Bytes badCrc = png;
    badCrc[FindChunk(png, "IDAT") + 4 + 10] ^= 0x55;
    add("png-bad-crc.png", badCrc);
    Bytes huge = png;
    const std::size_t ihdr = FindChunk(png, "IHDR");
    PutBig32(huge, ihdr + 4, 100000);
    PutBig32(huge, ihdr + 8, 100000);
    PutBig32(huge, ihdr + 4 + 13, static_cast<std::uint32_t>(crc32(0, &huge[ihdr], 17)));
    add("png-100000x100000.png", huge);
    add("png-decompression-bomb.png", PngBomb(15000, 15000));
    add("png-cut-in-data.png",
        Bytes(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(FindChunk(png, "IDAT") + 40)));

    // BMP: sizes that are negative, zero or huge, an offset past the end, no bits per pixel,
    // palette indexes past the palette.
    const Bytes bmp = Written(folder, "base.bmp", Photo(40, 30));
    auto patched = [&](std::size_t at, std::uint32_t value, int bytes = 4) {
        Bytes b = bmp;
        if (bytes == 4)
            PutLittle32(b, at, value);
        else
            PutLittle16(b, at, static_cast<std::uint16_t>(value));
        return b;
    };
    add("bmp-negative-width.bmp", patched(18, static_cast<std::uint32_t>(-40)));
    add("bmp-zero-width.bmp", patched(18, 0));
    add("bmp-zero-height.bmp", patched(22, 0));
    add("bmp-60000x60000.bmp", [&] {
        Bytes b = patched(18, 60000);
        PutLittle32(b, 22, 60000);
        return b;
    }());
    add("bmp-10000x10000-in-a-small-file.bmp", [&] {
        Bytes b = patched(18, 10000);
        PutLittle32(b, 22, 10000);
        return b;
    }());
    add("bmp-offset-past-the-end.bmp", patched(10, static_cast<std::uint32_t>(bmp.size() + 100)));
    add("bmp-0-bits-per-pixel.bmp", patched(28, 0, 2));
    add("bmp-palette-indexes-beyond-the-palette.bmp", BmpPaletteBeyond(), true);

    // WebP and AVIF: cut in their picture data, and headers claiming pictures beyond the limit or far
    // beyond what their few bytes could hold.
    const Bytes webp = Written(folder, "base.webp", Photo(64, 48));
    add("webp-cut-in-data.webp", Bytes(webp.begin(), webp.begin() + static_cast<std::ptrdiff_t>(webp.size() / 2)));
    const std::size_t vp8 = Find(webp, {0x9D, 0x01, 0x2A}) + 3;  // the lossy frame's start code, then its size
    auto webpSized = [&](std::uint16_t width, std::uint16_t height) {
        Bytes b = webp;
        PutLittle16(b, vp8, width);
        PutLittle16(b, vp8 + 2, height);
        return b;
    };
    add("webp-16383x16383.webp", webpSized(16383, 16383));
    add("webp-9000x9000-in-a-small-file.webp", webpSized(9000, 9000));
    add("webp-text.webp", Bytes{'R', 'I', 'F', 'F', 'h', 'i'});
    const Bytes avif = Written(folder, "base.avif", Photo(64, 48));
    add("avif-cut-in-data.avif", Bytes(avif.begin(), avif.end() - static_cast<std::ptrdiff_t>(avif.size() / 3)));
    const std::size_t ispe = Find(avif, {'i', 's', 'p', 'e'}) + 8;  // after the box's version and flags
    auto avifSized = [&](std::uint32_t width, std::uint32_t height) {
        Bytes b = avif;
        PutBig32(b, ispe, width);
        PutBig32(b, ispe + 4, height);
        return b;
    };
    add("avif-60000x60000.avif", avifSized(60000, 60000));
    add("avif-9000x9000-in-a-small-file.avif", avifSized(9000, 9000));
    add("avif-empty.avif", {});

    // Not files at all.
    const std::string dir = folder + "/folder.jpg";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    corpus.push_back({"folder.jpg", dir, false});
    const std::string fifo = folder + "/fifo.png";
    std::filesystem::remove_all(fifo);
    if (::mkfifo(fifo.c_str(), 0644) != 0) throw std::runtime_error("cannot make " + fifo);
    corpus.push_back({"fifo.png", fifo, false});
    return corpus;
}

}  // namespace turnlet::damaged
