// SPDX-License-Identifier: MIT
// AVIF reading and writing through libavif (dav1d or libaom decoding, libaom encoding by default).
#include "codecs/avif_io.h"

#include <avif/avif.h>

#include <algorithm>
#include <memory>

#include "codecs/decode_limits.h"

namespace turnlet {

namespace {

struct DecoderFree {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};
struct EncoderFree {
    void operator()(avifEncoder* encoder) const { avifEncoderDestroy(encoder); }
};
struct ImageFree {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};
struct RwDataFree {
    void operator()(avifRWData* data) const { avifRWDataFree(data); }
};

std::string Why(avifResult result, const avifDiagnostics& diag) {
    std::string text = avifResultToString(result);
    if (diag.error[0]) text += std::string(": ") + diag.error;
    return text;
}

avifCodecChoice Choice(AvifEncoding::Encoder encoder) {
    switch (encoder) {
        case AvifEncoding::Encoder::Svt:
            return AVIF_CODEC_CHOICE_SVT;
        case AvifEncoding::Encoder::Rav1e:
            return AVIF_CODEC_CHOICE_RAV1E;
        case AvifEncoding::Encoder::Aom:
            break;
    }
    return AVIF_CODEC_CHOICE_AOM;
}

}  // namespace

Status DecodeAvif(std::span<const std::uint8_t> bytes, const std::string& file, Picture& out) {
    const avifROData head{bytes.data(), bytes.size()};
    if (!avifPeekCompatibleFileType(&head)) return Status::Error(file, "not an AVIF file");
    const std::unique_ptr<avifDecoder, DecoderFree> decoder(avifDecoderCreate());
    if (!decoder) return Status::Error(file, "not enough memory to decode AVIF");
    decoder->maxThreads = 1;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // The AV1 decoder itself refuses frames beyond what we hold; a sequence's sample table stays small.
    decoder->imageSizeLimit =
        static_cast<std::uint32_t>(std::min<std::int64_t>(kMaxPicturePixels, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
    decoder->imageCountLimit = 65536;
    avifResult result = avifDecoderSetIOMemory(decoder.get(), bytes.data(), bytes.size());
    if (result == AVIF_RESULT_OK) result = avifDecoderParse(decoder.get());
    if (result != AVIF_RESULT_OK)
        return Status::Error(file, "damaged AVIF header (" + Why(result, decoder->diag) + ")");
    if (Status status = CheckDecodedSize(decoder->image->width, decoder->image->height, bytes.size(), file, "AVIF");
        !status.ok())
        return status;
    result = avifDecoderNextImage(decoder.get());
    if (result != AVIF_RESULT_OK)
        return Status::Error(file, "damaged or truncated AVIF data (" + Why(result, decoder->diag) + ")");
    const avifImage* image = decoder->image;
    // The coded picture may differ from what the header said.
    if (Status status = CheckDecodedSize(image->width, image->height, bytes.size(), file, "AVIF"); !status.ok())
        return status;
    const int width = static_cast<int>(image->width);
    const int height = static_cast<int>(image->height);
    out.allocate(width, height);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image);
    rgb.depth = 8;
    std::vector<std::uint8_t> bgra;
    const bool alpha = image->alphaPlane != nullptr;
    if (alpha) {
        bgra.resize(static_cast<std::size_t>(width) * height * 4);
        rgb.format = AVIF_RGB_FORMAT_BGRA;
        rgb.pixels = bgra.data();
        rgb.rowBytes = static_cast<std::uint32_t>(width) * 4;
    } else {
        rgb.format = AVIF_RGB_FORMAT_BGR;
        rgb.pixels = out.data();
        rgb.rowBytes = static_cast<std::uint32_t>(out.stride());
    }
    result = avifImageYUVToRGB(image, &rgb);
    if (result != AVIF_RESULT_OK)
        return Status::Error(file, std::string("cannot convert the AVIF picture (") + avifResultToString(result) + ")");
    if (alpha) {
        for (int y = 0; y < height; ++y)
            FlattenOntoWhite(bgra.data() + static_cast<std::size_t>(y) * width * 4, out.row(y), width);
    }
    return Status::Ok();
}

int AvifQuantizer(int quality) {
    quality = std::clamp(quality, 1, 100);
    if (quality >= 90) return (kAvifQuantizerAt90 * (100 - quality) + 5) / 10;
    // From 63 at 1 down to the anchor at 90, rounded to nearest.
    return kAvifQuantizerAt90 + ((63 - kAvifQuantizerAt90) * (90 - quality) + 44) / 89;
}

bool AvifEncoderAvailable(AvifEncoding::Encoder encoder) {
    return avifCodecName(Choice(encoder), AVIF_CODEC_FLAG_CAN_ENCODE) != nullptr;
}

Status EncodeAvif(const Picture& picture, int quality, const std::string& file, std::vector<std::uint8_t>& out,
                  const AvifEncoding& encoding) {
    const std::unique_ptr<avifImage, ImageFree> image(
        avifImageCreate(static_cast<std::uint32_t>(picture.width()), static_cast<std::uint32_t>(picture.height()), 8,
                        encoding.fullChroma ? AVIF_PIXEL_FORMAT_YUV444 : AVIF_PIXEL_FORMAT_YUV420));
    if (!image) return Status::Error(file, "not enough memory to encode AVIF");
    // sRGB with the BT.601 matrix at full range, as JPEG stores its colours.
    image->colorPrimaries = AVIF_COLOR_PRIMARIES_BT709;
    image->transferCharacteristics = AVIF_TRANSFER_CHARACTERISTICS_SRGB;
    image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_BT601;
    image->yuvRange = AVIF_RANGE_FULL;
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = AVIF_RGB_FORMAT_BGR;
    rgb.depth = 8;
    rgb.pixels = const_cast<std::uint8_t*>(picture.data());  // only read
    rgb.rowBytes = static_cast<std::uint32_t>(picture.stride());
    avifResult result = avifImageRGBToYUV(image.get(), &rgb);
    if (result != AVIF_RESULT_OK)
        return Status::Error(file,
                             std::string("cannot convert the picture for AVIF (") + avifResultToString(result) + ")");

    const std::unique_ptr<avifEncoder, EncoderFree> encoder(avifEncoderCreate());
    if (!encoder) return Status::Error(file, "not enough memory to encode AVIF");
    encoder->codecChoice = Choice(encoding.encoder);
    encoder->maxThreads = std::max(1, encoding.threads);
    encoder->speed = std::clamp(encoding.speed, AVIF_SPEED_SLOWEST, AVIF_SPEED_FASTEST);
    const int quantizer = encoding.quantizer >= 0 ? std::min(encoding.quantizer, 63) : AvifQuantizer(quality);
    encoder->minQuantizer = quantizer;
    encoder->maxQuantizer = quantizer;
    if (encoding.encoder == AvifEncoding::Encoder::Aom && !encoding.trellis)
        avifEncoderSetCodecSpecificOption(encoder.get(), "disable-trellis-quant", "1");
    for (const auto& [key, value] : encoding.options)
        avifEncoderSetCodecSpecificOption(encoder.get(), key.c_str(), value.c_str());
    avifRWData output = AVIF_DATA_EMPTY;
    const std::unique_ptr<avifRWData, RwDataFree> owned(&output);
    result = avifEncoderWrite(encoder.get(), image.get(), &output);
    if (result != AVIF_RESULT_OK) return Status::Error(file, "cannot encode AVIF (" + Why(result, encoder->diag) + ")");
    out.assign(output.data, output.data + output.size);
    return Status::Ok();
}

}  // namespace turnlet
