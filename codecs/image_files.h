// SPDX-License-Identifier: MIT
// Loading and saving pictures by file extension (BMP, JPEG, PNG, WebP, AVIF), and the small text helpers beside them.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "imaging/picture.h"
#include "base/files.h"
#include "base/status.h"

namespace turnlet {

enum class FileType { Unknown, Bmp, Jpeg, Png, Webp, Avif };

// Type by the upper-cased extension: ".BMP", ".JPG"/".JPEG", ".PNG", ".WEBP", ".AVIF"; anything else is Unknown.
FileType FileTypeOf(std::string_view path);

// Reads path into target. On success target takes the file's size and pixels. On any failure
// (wrong type, missing file, damaged data, absurd header) target is left exactly as it was.
// Never exits the process and never throws.
Status LoadPicture(const std::string& path, Picture& target);

// The same, decoding into scratch's buffer (grown when too small) and swapping it into target on
// success. A caller that keeps scratch between loads reuses memory instead of faulting in fresh
// pages for every 24-megapixel photograph. On failure target is unchanged; scratch is undefined.
Status LoadPicture(const std::string& path, Picture& target, Picture& scratch);

// Reads path into bytes (kept between loads, like its picture) and decodes only the pixels of wanted
// (clipped to the picture) into target, each equal to that pixel of LoadPicture's picture; got says
// which part of the whole picture target holds. JPEG files are decoded in part; other types whole,
// and then target holds all of it. A JPEG decode stops after the region's last row unless
// checkWholeFile. On failure target's content is undefined.
// wanted is asked once the picture's size is known.
Status LoadPictureRegion(const std::string& path, const std::function<PixelRect(int, int)>& wanted, bool checkWholeFile,
                         ByteBuffer& bytes, Picture& target, PictureArea& got);

// The width and height LoadPicture would give path. Of a JPEG only the header is read, from the
// file's first bytes (damage in its data is not seen); a header beyond them, and other types, are
// read with the whole file and checked as a load checks them.
Status ReadPictureSize(const std::string& path, int& width, int& height);

// Writes picture to path (replacing an existing file), type by extension; jpegQuality 1..100 is
// the quality of the lossy types (JPEG, WebP, AVIF; see WebpQuality and AvifQuantizer). An empty picture cannot be
// written and gives an error.
Status SavePicture(const Picture& picture, const std::string& path, int jpegQuality);

class JpegBuffer;
// The same, encoding JPEG into jpeg's buffer and encoder (kept between frames, so a writer of many
// frames reuses their memory).
Status SavePicture(const Picture& picture, const std::string& path, int jpegQuality, JpegBuffer& jpeg);

}  // namespace turnlet
