// SPDX-License-Identifier: MIT
// WebP reading and writing through libwebp (its animation decoder for animated files).
#include "codecs/webp_io.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <algorithm>
#include <memory>

#include "codecs/decode_limits.h"

namespace turnlet {

namespace {

struct AnimDecoderFree {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

struct PictureFree {
    void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};

struct WriterClear {
    void operator()(WebPMemoryWriter* writer) const { WebPMemoryWriterClear(writer); }
};

Status Damaged(const std::string& file, const std::string& what) {
    return Status::Error(file, "damaged or truncated WebP file (" + what + ")");
}

// The first frame of an animation, composed on its canvas as a viewer shows it.
Status DecodeAnimation(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return Status::Error(file, "WebP decoder version mismatch");
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData data{bytes.data(), bytes.size()};
    const std::unique_ptr<WebPAnimDecoder, AnimDecoderFree> decoder(WebPAnimDecoderNew(&data, &options));
    if (!decoder) return Damaged(file, "its animation cannot be read");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info)) return Damaged(file, "no animation header");
    if (Status status = CheckDecodedSize(info.canvas_width, info.canvas_height, bytes.size(), file, "WebP");
        !status.ok())
        return status;
    std::uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas)
        return Damaged(file, "its first frame cannot be decoded");
    const int width = static_cast<int>(info.canvas_width);
    const int height = static_cast<int>(info.canvas_height);
    out.allocate(width, height);
    for (int y = 0; y < height; ++y)
        FlattenOntoWhite(canvas + static_cast<std::size_t>(y) * width * 4, out.row(y), width);
    return Status::Ok();
}

}  // namespace

Status DecodeWebp(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out) {
    WebPBitstreamFeatures features;
    const VP8StatusCode found = WebPGetFeatures(bytes.data(), bytes.size(), &features);
    if (found == VP8_STATUS_NOT_ENOUGH_DATA) return Damaged(file, "it ends inside its header");
    if (found != VP8_STATUS_OK) return Status::Error(file, "not a WebP file");
    // The canvas's size, for an animation too: its decoder allocates the canvas as it starts.
    if (Status status = CheckDecodedSize(features.width, features.height, bytes.size(), file, "WebP"); !status.ok())
        return status;
    if (features.has_animation) return DecodeAnimation(bytes, file, out);

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return Status::Error(file, "WebP decoder version mismatch");
    const int width = features.width;
    const int height = features.height;
    out.allocate(width, height);
    std::vector<std::uint8_t> bgra;
    WebPRGBABuffer& rgba = config.output.u.RGBA;
    // Decoded straight into the picture, or beside it with alpha to be flattened.
    if (features.has_alpha) {
        bgra.resize(static_cast<std::size_t>(width) * height * 4);
        config.output.colorspace = MODE_BGRA;
        rgba.rgba = bgra.data();
        rgba.stride = width * 4;
        rgba.size = bgra.size();
    } else {
        config.output.colorspace = MODE_BGR;
        rgba.rgba = out.data();
        rgba.stride = static_cast<int>(out.stride());
        rgba.size = out.byteSize();
    }
    config.output.is_external_memory = 1;
    const VP8StatusCode decoded = WebPDecode(bytes.data(), bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);
    if (decoded != VP8_STATUS_OK)
        return Damaged(file, decoded == VP8_STATUS_NOT_ENOUGH_DATA ? "it ends early" : "its picture data is damaged");
    if (features.has_alpha) {
        for (int y = 0; y < height; ++y)
            FlattenOntoWhite(bgra.data() + static_cast<std::size_t>(y) * width * 4, out.row(y), width);
    }
    return Status::Ok();
}

float WebpQuality(int quality) {
    quality = std::clamp(quality, 1, 100);
    // Anchors (export quality -> libwebp quality), straight lines between them.
    constexpr int kKnee = 90;
    constexpr float kAtKnee = 94;
    if (quality >= kKnee) return kAtKnee + (100 - kAtKnee) * static_cast<float>(quality - kKnee) / (100 - kKnee);
    return kAtKnee * static_cast<float>(quality) / kKnee;
}

Status EncodeWebp(const Picture& picture, int quality, const std::string& file, std::vector<std::uint8_t>& out,
                  const WebpEncoding& encoding) {
    if (picture.width() > WEBP_MAX_DIMENSION || picture.height() > WEBP_MAX_DIMENSION) {
        return Status::Error(file, "a WebP picture can be at most " + std::to_string(WEBP_MAX_DIMENSION) +
                                       " pixels wide and high, this one is " + std::to_string(picture.width()) + " x " +
                                       std::to_string(picture.height()));
    }
    WebPConfig config;
    const float libwebpQuality = encoding.quality >= 0 ? std::min(encoding.quality, 100.0f) : WebpQuality(quality);
    if (!WebPConfigPreset(&config, WEBP_PRESET_PHOTO, libwebpQuality))
        return Status::Error(file, "WebP encoder version mismatch");
    config.method = std::clamp(encoding.method, 0, 6);
    config.use_sharp_yuv = encoding.sharpYuv ? 1 : 0;
    WebPPicture input;
    if (!WebPPictureInit(&input)) return Status::Error(file, "WebP encoder version mismatch");
    // Sharp conversion works from the colours; otherwise they go to YUV as they are imported.
    input.use_argb = encoding.sharpYuv ? 1 : 0;
    input.width = picture.width();
    input.height = picture.height();
    const std::unique_ptr<WebPPicture, PictureFree> owned(&input);
    if (!WebPPictureImportBGR(&input, picture.data(), static_cast<int>(picture.stride())))
        return Status::Error(file, "not enough memory to encode WebP");
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    const std::unique_ptr<WebPMemoryWriter, WriterClear> written(&writer);
    input.writer = WebPMemoryWrite;
    input.custom_ptr = &writer;
    if (!WebPEncode(&config, &input))
        return Status::Error(file, "cannot encode WebP (error " + std::to_string(input.error_code) + ")");
    out.assign(writer.mem, writer.mem + writer.size);
    return Status::Ok();
}

}  // namespace turnlet
