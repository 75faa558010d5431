// SPDX-License-Identifier: MIT
// Loading and saving pictures by file extension, with whole-file reads and checked writes.
#include "image_files.h"

#include <exception>
#include <new>
#include <span>
#include <utility>
#include <vector>

#include "avif_io.h"
#include "base/files.h"
#include "base/text.h"
#include "bmp_io.h"
#include "jpeg_io.h"
#include "output_file.h"
#include "png_io.h"
#include "webp_io.h"

namespace turnlet {

namespace {

// A 250-megapixel 32-bit BMP is about 1 GB; nothing we can load is near this.
constexpr std::size_t kMaxFileBytes = std::size_t{2} << 30;
// Read first for a JPEG's size; a header beyond it (a lot of metadata) is found by reading it all.
constexpr std::size_t kJpegHeadBytes = std::size_t{256} << 10;

Status WriteEncoded(const std::string& path, const std::uint8_t* data, std::size_t size) {
    OutputFile out(path);
    Status status = out.open();
    if (status.ok()) status = out.write(data, size);
    if (status.ok()) status = out.close();
    return status;
}

Status SaveByType(FileType type, const Picture& picture, const std::string& path, int jpegQuality, JpegBuffer& jpeg) {
    if (type == FileType::Webp || type == FileType::Avif) {
        // Encoded first, like JPEG, so a picture the encoder refuses creates no file.
        std::vector<std::uint8_t> encoded;
        Status status = type == FileType::Webp ? EncodeWebp(picture, jpegQuality, path, encoded)
                                               : EncodeAvif(picture, jpegQuality, path, encoded);
        if (!status.ok()) return status;
        return WriteEncoded(path, encoded.data(), encoded.size());
    }
    if (type == FileType::Jpeg) {
        // Encode first so a picture the encoder refuses creates no file.
        Status status = EncodeJpeg(picture, jpegQuality, path, jpeg);
        if (!status.ok()) return status;
        return WriteEncoded(path, jpeg.data(), jpeg.size());
    }
    OutputFile out(path);
    Status status = out.open();
    if (!status.ok()) return status;
    status = type == FileType::Bmp ? WriteBmp(picture, out) : WritePng(picture, out);
    if (!status.ok()) return status;
    return out.close();
}

// Every type but JPEG is decoded whole.
Status DecodeWhole(FileType type, std::span<const std::uint8_t> bytes, const std::string& path, Picture& out) {
    switch (type) {
        case FileType::Bmp:
            return DecodeBmp(bytes, path, out);
        case FileType::Jpeg:
            return DecodeJpeg(bytes, path, out);
        case FileType::Png:
            return DecodePng(bytes, path, out);
        case FileType::Webp:
            return DecodeWebp(bytes, path, out);
        case FileType::Avif:
            return DecodeAvif(bytes, path, out);
        case FileType::Unknown:
            break;
    }
    return Status::WrongFileType(path);
}

// The file's type by its name and its bytes, refusing an unknown type and an empty file.
Status ReadPictureFile(const std::string& path, FileType& type, ByteBuffer& bytes) {
    type = FileTypeOf(path);
    if (type == FileType::Unknown) return Status::WrongFileType(path);
    Status status = ReadWholeFile(path, bytes, kMaxFileBytes);
    if (!status.ok()) return status;
    if (bytes.size() == 0) return Status::Error(path, "file is empty");
    return Status::Ok();
}

// A load whose every escaping exception becomes a failure naming the file.
template <class Load>
Status GuardedLoad(const std::string& path, Load&& load) {
    try {
        return load();
    } catch (const std::bad_alloc&) {
        return Status::Error(path, "not enough memory to load the picture");
    } catch (const std::exception& e) {
        return Status::Error(path, e.what());
    } catch (...) {
        return Status::Error(path, "unexpected failure while loading");
    }
}

}  // namespace

FileType FileTypeOf(std::string_view path) {
    std::string ext = ExtractExt(path);
    for (char& c : ext) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (ext == ".BMP") return FileType::Bmp;
    if (ext == ".JPG" || ext == ".JPEG") return FileType::Jpeg;
    if (ext == ".PNG") return FileType::Png;
    if (ext == ".WEBP") return FileType::Webp;
    if (ext == ".AVIF") return FileType::Avif;
    return FileType::Unknown;
}

Status LoadPicture(const std::string& path, Picture& target) {
    Picture decoded;
    return LoadPicture(path, target, decoded);
}

Status LoadPicture(const std::string& path, Picture& target, Picture& decoded) {
    return GuardedLoad(path, [&] {
        FileType type = FileType::Unknown;
        ByteBuffer bytes;
        Status status = ReadPictureFile(path, type, bytes);
        if (!status.ok()) return status;
        // Decoded aside and swapped in only on success, so a failure leaves target as it was.
        status = DecodeWhole(type, bytes.view(), path, decoded);
        if (!status.ok()) return status;
        std::swap(target, decoded);
        return Status::Ok();
    });
}

Status LoadPictureRegion(const std::string& path, const std::function<PixelRect(int, int)>& wanted, bool checkWholeFile,
                         ByteBuffer& bytes, Picture& target, PictureArea& got) {
    got = {};
    return GuardedLoad(path, [&] {
        FileType type = FileType::Unknown;
        Status status = ReadPictureFile(path, type, bytes);
        if (!status.ok()) return status;
        if (type == FileType::Jpeg) {
            JpegRegionOptions options;
            options.checkWholeFile = checkWholeFile;
            return DecodeJpegRegion(bytes.view(), path, wanted, options, target, got);
        }
        status = DecodeWhole(type, bytes.view(), path, target);
        if (!status.ok()) return status;
        got = {PixelRect{0, 0, target.width(), target.height()}, target.width(), target.height()};
        return Status::Ok();
    });
}

Status ReadPictureSize(const std::string& path, int& width, int& height) {
    width = 0;
    height = 0;
    ByteBuffer bytes;
    if (FileTypeOf(path) == FileType::Jpeg) {
        // Most headers (with their metadata) lie well inside the first bytes: a 24-megapixel photograph
        // need not be read whole, into fresh memory, for its size.
        std::uintmax_t fileBytes = 0;
        if (ReadFileStart(path, kJpegHeadBytes, bytes, fileBytes).ok() &&
            ReadJpegSize(bytes.view(), fileBytes, width, height)) {
            return Status::Ok();
        }
    }
    Picture none;
    PictureArea got;
    const Status status = LoadPictureRegion(
        path, [](int, int) { return PixelRect{}; }, false, bytes, none, got);
    if (status.ok()) {
        width = got.fullWidth;
        height = got.fullHeight;
    }
    return status;
}

Status SavePicture(const Picture& picture, const std::string& path, int jpegQuality) {
    JpegBuffer jpeg;
    return SavePicture(picture, path, jpegQuality, jpeg);
}

Status SavePicture(const Picture& picture, const std::string& path, int jpegQuality, JpegBuffer& jpeg) {
    try {
        const FileType type = FileTypeOf(path);
        if (type == FileType::Unknown) return Status::WrongFileType(path);
        if (picture.empty()) return Status::Error(path, "cannot write an empty picture");
        return SaveByType(type, picture, path, jpegQuality < 1 ? 1 : (jpegQuality > 100 ? 100 : jpegQuality), jpeg);
    } catch (const std::bad_alloc&) {
        return Status::Error(path, "not enough memory to save the picture");
    } catch (const std::exception& e) {
        return Status::Error(path, e.what());
    } catch (...) {
        return Status::Error(path, "unexpected failure while saving");
    }
}

}  // namespace turnlet
