// SPDX-License-Identifier: MIT
// Bytes, SSIM and encode time of the lossy frame types on a folder of lossless frames (PNG or BMP):
//   turnlet_codec_table FOLDER [--avif-encoder aom|svt|rav1e]
//                       [--avif-speed S] [--avif-threads T] [--avif-444] [--avif-trellis] [--avif-option KEY=VALUE ...]
//                       [--webp-method M] [--webp-plain-yuv] [--quality Q]
//                       [--sweep [--webp-sweep 90,92,...] [--avif-sweep 12,10,...]]
// JPEG at 90, WebP and AVIF at the export's default quality 90, each frame encoded on one thread
// (its processor time measured);
// SSIM of the decoded frame against the lossless one (luma, and the mean of blue, green and red).
// --sweep lists libwebp qualities and AV1 quantizers instead, for tuning the mappings.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "codecs/avif_io.h"
#include "codecs/image_files.h"
#include "codecs/jpeg_io.h"
#include "codecs/webp_io.h"

namespace turnlet {
namespace {

using Plane = std::vector<float>;

// Separable 11-tap Gaussian (sigma 1.5), edges clamped: the window of the usual SSIM.
Plane Blur(const Plane& in, int w, int h) {
    static const std::vector<float> kernel = [] {
        std::vector<float> k(11);
        float sum = 0;
        for (int i = 0; i < 11; ++i) sum += k[i] = std::exp(-(i - 5) * (i - 5) / (2 * 1.5f * 1.5f));
        for (float& v : k) v /= sum;
        return k;
    }();
    Plane tmp(in.size()), out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float s = 0;
            for (int i = 0; i < 11; ++i) s += kernel[i] * in[y * w + std::clamp(x + i - 5, 0, w - 1)];
            tmp[y * w + x] = s;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float s = 0;
            for (int i = 0; i < 11; ++i) s += kernel[i] * tmp[std::clamp(y + i - 5, 0, h - 1) * w + x];
            out[y * w + x] = s;
        }
    return out;
}

double Ssim(const Plane& a, const Plane& b, int w, int h) {
    const float c1 = (0.01f * 255) * (0.01f * 255), c2 = (0.03f * 255) * (0.03f * 255);
    Plane aa(a.size()), bb(a.size()), ab(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        aa[i] = a[i] * a[i];
        bb[i] = b[i] * b[i];
        ab[i] = a[i] * b[i];
    }
    const Plane ma = Blur(a, w, h), mb = Blur(b, w, h), saa = Blur(aa, w, h), sbb = Blur(bb, w, h),
                sab = Blur(ab, w, h);
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const float va = saa[i] - ma[i] * ma[i], vb = sbb[i] - mb[i] * mb[i], cov = sab[i] - ma[i] * mb[i];
        sum += ((2 * ma[i] * mb[i] + c1) * (2 * cov + c2)) / ((ma[i] * ma[i] + mb[i] * mb[i] + c1) * (va + vb + c2));
    }
    return sum / static_cast<double>(a.size());
}

// Channel c of the picture (0 blue, 1 green, 2 red), or its BT.601 luma for c = 3.
Plane Channel(const Picture& p, int c) {
    Plane out(static_cast<std::size_t>(p.width()) * p.height());
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            const std::uint8_t* px = p.pixel(x, y);
            out[y * p.width() + x] = c < 3 ? px[c] : 0.114f * px[0] + 0.587f * px[1] + 0.299f * px[2];
        }
    return out;
}

struct Score {
    double luma = 0, colour = 0;
};
Score Compare(const Picture& a, const Picture& b) {
    Score s;
    s.luma = Ssim(Channel(a, 3), Channel(b, 3), a.width(), a.height());
    for (int c = 0; c < 3; ++c) s.colour += Ssim(Channel(a, c), Channel(b, c), a.width(), a.height()) / 3;
    return s;
}

struct Row {
    std::string name;
    double bytes = 0, luma = 0, colour = 0, minLuma = 1, seconds = 0;
    int frames = 0;
};

// Processor time of this process (encoders may use threads of their own): on a shared machine, far
// steadier than the time on the clock.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

using Encode = std::function<Status(const Picture&, std::vector<std::uint8_t>&)>;
using Decode = std::function<Status(std::span<const std::uint8_t>, Picture&)>;

Row Measure(const std::string& name, const std::vector<Picture>& frames, const Encode& encode, const Decode& decode) {
    Row row;
    row.name = name;
    std::vector<std::uint8_t> bytes;
    Picture back;
    for (const Picture& frame : frames) {
        const double start = CpuSeconds();
        Status status = encode(frame, bytes);
        row.seconds += CpuSeconds() - start;
        if (status.ok()) status = decode(bytes, back);
        if (!status.ok()) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), status.message().c_str());
            std::exit(1);
        }
        const Score score = Compare(frame, back);
        row.bytes += static_cast<double>(bytes.size());
        row.luma += score.luma;
        row.colour += score.colour;
        row.minLuma = std::min(row.minLuma, score.luma);
        ++row.frames;
    }
    return row;
}

void Print(const std::vector<Row>& rows) {
    std::printf(
        "| Type | Bytes a frame | Ratio to JPEG | SSIM luma (mean, lowest) | SSIM blue/green/red | Encode a frame "
        "(processor time) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    const double jpeg = rows.front().bytes;
    for (const Row& r : rows) {
        std::printf("| %s | %.0f | %.2f× | %.4f, %.4f | %.4f | %.0f ms |\n", r.name.c_str(), r.bytes / r.frames,
                    r.bytes / jpeg, r.luma / r.frames, r.minLuma, r.colour / r.frames, 1000 * r.seconds / r.frames);
    }
}

int Run(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: turnlet_codec_table FOLDER [--quality Q] [--avif-encoder aom|svt|rav1e] "
                     "[--avif-speed S] [--avif-444] [--avif-trellis] [--avif-option KEY=VALUE] [--sweep]\n");
        return 2;
    }
    int quality = 90;
    bool sweep = false;
    AvifEncoding avif;
    WebpEncoding webp;
    std::vector<int> webpSweep{88, 90, 92, 93, 94, 95}, avifSweep{12, 10, 9, 8, 7, 6};
    auto list = [](const char* text) {
        std::vector<int> out;
        for (const char* p = text; *p;) {
            out.push_back(std::atoi(p));
            while (*p && *p != ',') ++p;
            if (*p) ++p;
        }
        return out;
    };
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (arg == "--sweep") {
            sweep = true;
        } else if (arg == "--quality") {
            quality = std::atoi(value), ++i;
        } else if (arg == "--webp-sweep") {
            webpSweep = list(value), ++i;
        } else if (arg == "--avif-sweep") {
            avifSweep = list(value), ++i;
        } else if (arg == "--webp-method") {
            webp.method = std::atoi(value), ++i;
        } else if (arg == "--webp-plain-yuv") {
            webp.sharpYuv = false;
        } else if (arg == "--avif-trellis") {
            avif.trellis = true;
        } else if (arg == "--avif-444") {
            avif.fullChroma = true;
        } else if (arg == "--avif-threads") {
            avif.threads = std::atoi(value), ++i;
        } else if (arg == "--avif-option") {
            const std::string option = value;
            const std::size_t equals = option.find('=');
            avif.options.emplace_back(option.substr(0, equals),
                                      equals == std::string::npos ? "" : option.substr(equals + 1));
            ++i;
        } else if (arg == "--avif-speed") {
            avif.speed = std::atoi(value), ++i;
        } else if (arg == "--avif-encoder") {
            const std::string e = value;
            avif.encoder = e == "svt"     ? AvifEncoding::Encoder::Svt
                           : e == "rav1e" ? AvifEncoding::Encoder::Rav1e
                                          : AvifEncoding::Encoder::Aom;
            ++i;
        }
    }
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        const FileType type = FileTypeOf(entry.path().string());
        if (type == FileType::Png || type == FileType::Bmp) paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());
    std::vector<Picture> frames(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (Status status = LoadPicture(paths[i], frames[i]); !status.ok()) {
            std::fprintf(stderr, "%s\n", status.message().c_str());
            return 1;
        }
    }
    if (frames.empty()) {
        std::fprintf(stderr, "no PNG or BMP frames in %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu frames of %d x %d from %s\n\n", frames.size(), frames[0].width(), frames[0].height(), argv[1]);

    JpegBuffer jpeg;
    auto jpegAt = [&](int q) {
        return Measure(
            "JPEG " + std::to_string(q), frames,
            [&](const Picture& p, std::vector<std::uint8_t>& out) {
                const Status status = EncodeJpeg(p, q, "jpeg", jpeg);
                out.assign(jpeg.data(), jpeg.data() + jpeg.size());
                return status;
            },
            [](std::span<const std::uint8_t> b, Picture& p) { return DecodeJpeg(b, "jpeg", p); });
    };
    // With raw >= 0, libwebp's quality or the AV1 quantizer itself instead of the export quality's.
    auto webpAt = [&](int q, int raw) {
        WebpEncoding e = webp;
        e.quality = static_cast<float>(raw);
        const int shown = raw >= 0 ? raw : static_cast<int>(WebpQuality(q));
        return Measure(
            (raw >= 0 ? std::string("WebP") : "WebP " + std::to_string(q)) + " (libwebp " + std::to_string(shown) +
                ", method " + std::to_string(webp.method) + (webp.sharpYuv ? ", sharp YUV)" : ")"),
            frames, [&](const Picture& p, std::vector<std::uint8_t>& out) { return EncodeWebp(p, q, "webp", out, e); },
            [](std::span<const std::uint8_t> b, Picture& p) { return DecodeWebp(b, "webp", p); });
    };
    std::string options;
    for (const auto& [key, value] : avif.options) options += ", " + key + "=" + value;
    auto avifAt = [&](int q, int raw) {
        static const char* names[] = {"aom", "SVT-AV1", "rav1e"};
        AvifEncoding e = avif;
        e.quantizer = raw;
        return Measure(
            (raw >= 0 ? std::string("AVIF") : "AVIF " + std::to_string(q)) + " (" +
                names[static_cast<int>(avif.encoder)] + " speed " + std::to_string(avif.speed) + ", quantizer " +
                std::to_string(raw >= 0 ? raw : AvifQuantizer(q)) + (avif.fullChroma ? ", 4:4:4" : "") +
                (avif.trellis ? ", trellis" : "") + options + ")",
            frames, [&](const Picture& p, std::vector<std::uint8_t>& out) { return EncodeAvif(p, q, "avif", out, e); },
            [](std::span<const std::uint8_t> b, Picture& p) { return DecodeAvif(b, "avif", p); });
    };
    std::vector<Row> rows{jpegAt(90)};
    if (sweep) {
        for (int raw : webpSweep) rows.push_back(webpAt(quality, raw));
        for (int raw : avifSweep) rows.push_back(avifAt(quality, raw));
    } else {
        rows.push_back(webpAt(quality, -1));
        rows.push_back(avifAt(quality, -1));
    }
    Print(rows);
    return 0;
}

}  // namespace
}  // namespace turnlet

int main(int argc, char** argv) {
    return turnlet::Run(argc, argv);
}
