// SPDX-License-Identifier: MIT
// Writes the fuzzers' seed corpora with our own writers: small valid pictures, projects and settings.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/files.h"
#include "codecs/image_files.h"
#include "project/project.h"
#include "project/settings_file.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdlib>

#include <jpeglib.h>

namespace fs = std::filesystem;
using namespace turnlet;

namespace {

Picture Pattern(int width, int height) {
    Picture p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* px = p.pixel(x, y);
            px[0] = static_cast<std::uint8_t>(x * 37 + y);
            px[1] = static_cast<std::uint8_t>(y * 53);
            px[2] = static_cast<std::uint8_t>((x ^ y) * 11);
        }
    return p;
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// Progressive and grey JPEGs, which our writer never makes but cameras and editors do: the
// decoder's paths for many scans and for one component start from a valid file.
bool WriteJpegVariant(const fs::path& path, const Picture& picture, bool progressive, bool grey) {
    jpeg_compress_struct c{};
    jpeg_error_mgr error{};
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &data, &size);
    c.image_width = static_cast<JDIMENSION>(picture.width());
    c.image_height = static_cast<JDIMENSION>(picture.height());
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    if (grey) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_set_quality(&c, 75, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row[1] = {const_cast<JSAMPLE*>(picture.row(static_cast<int>(c.next_scanline)))};
        jpeg_write_scanlines(&c, row, 1);
    }
    jpeg_finish_compress(&c);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    jpeg_destroy_compress(&c);
    std::free(data);
    return size > 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS_DIR\n");
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* name : {"jpeg", "png", "bmp", "project", "settings", "text"}) fs::create_directories(root / name);

    const int sizes[][2] = {{1, 1}, {7, 5}, {16, 9}, {33, 17}};
    for (const auto& size : sizes) {
        const Picture picture = Pattern(size[0], size[1]);
        const std::string stem = std::to_string(size[0]) + "x" + std::to_string(size[1]);
        for (int quality : {10, 90}) {
            const Status status = SavePicture(
                picture, (root / "jpeg" / (stem + "-q" + std::to_string(quality) + ".jpg")).string(), quality);
            if (!status.ok()) return std::fprintf(stderr, "%s\n", status.message().c_str()), 1;
        }
        if (size[0] == 16) {
            if (!WriteJpegVariant(root / "jpeg" / (stem + "-progressive.jpg"), picture, true, false)) return 1;
            if (!WriteJpegVariant(root / "jpeg" / (stem + "-grey-progressive.jpg"), picture, true, true)) return 1;
            if (!WriteJpegVariant(root / "jpeg" / (stem + "-grey.jpg"), picture, false, true)) return 1;
        }
        if (!SavePicture(picture, (root / "png" / (stem + ".png")).string(), 90).ok()) return 1;
        if (!SavePicture(picture, (root / "bmp" / (stem + ".bmp")).string(), 90).ok()) return 1;
    }

    Project project;
    New(project, "/opt/turnlet/result");
    project.sources = {"/shots/a01.jpg", "/shots/a,02.jpg", "/снимки/a03.png"};
    project.lastFrame = 2;
    project.rotationIndex = 1;
    project.crop = CropArea{10, 20, 300, 200};
    ChangeKeyframe(project.keyframes, project.sources[1], {3.5, -2, 1, 0, 10, 0, 0});
    ChangeKeyframe(project.keyframes, project.sources[2], {6.66667, 1e-7, -180, 500, 0, -100, 100});
    project.exportSettings.width = 800;
    WriteText(root / "project" / "three.trn.prj", WriteProjectText(project));
    New(project, "/opt/turnlet/result");
    WriteText(root / "project" / "new.trn.prj", WriteProjectText(project));

    Settings settings;
    settings.ffmpegPath = "/usr/bin/ffmpeg";
    settings.languageCode = "ru";
    for (int i = 0; i < 12; ++i) settings.recent.push_back("/work/p" + std::to_string(i) + ".trn.prj");
    WriteText(root / "settings" / "twelve.ini", WriteSettingsText(settings));

    WriteText(root / "text" / "fields", std::string("\x01,") + "C:/shots/a02.jpg,3.5,-2,1,0,10,0,0");
    WriteText(root / "text" / "numbers", std::string(1, 0) + "  -12.75e+3x");
    WriteText(root / "text" / "small", std::string("\x02,,") + "1e-05");
    return 0;
}
