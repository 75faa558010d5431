// SPDX-License-Identifier: MIT
// What every libjpeg decompressor of ours shares: errors turned into jumps, warnings noted (or
// fatal), and a cap on the number of scans.
#pragma once

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <string>

namespace turnlet::jpeg {

// A progressive file may hold thousands of scans, each a pass over every block: a few hundred
// kilobytes that keep a decoder busy for seconds to minutes. Real files have about ten.
inline constexpr int kMaxScans = 100;

// A file whose picture is this many times larger than its bytes is checked by a cheap pass over its
// compressed data before the picture is allocated: a few hundred damaged bytes must not make us
// reserve hundreds of megabytes. Real photographs stay far below (about 10 to 1 at q90).
inline constexpr std::int64_t kSuspectRatio = 256;
inline constexpr std::int64_t kSuspectBytes = std::int64_t{64} << 20;
// What libjpeg itself may hold (a progressive file keeps all its coefficients) while a suspect file
// is checked.
inline constexpr long kSuspectDecoderMemory = 192L << 20;

inline bool SuspectSize(std::int64_t pictureBytes, std::size_t fileBytes) {
    return pictureBytes > kSuspectBytes && pictureBytes / kSuspectRatio > static_cast<std::int64_t>(fileBytes);
}

inline std::string TooManyScansText() {
    return "damaged or hostile JPEG file (more than " + std::to_string(kMaxScans) + " scans)";
}

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool failOnWarning = false;  // a warning jumps as an error does
    bool warned = false;
    bool tooManyScans = false;
    int code = 0;
    char message[JMSG_LENGTH_MAX] = {};
};

[[noreturn]] inline void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->code = cinfo->err->msg_code;
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// A warning means the data ended early or was corrupt: the picture would be partly grey. The first
// one's text is kept.
inline void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (!err->warned) {
        err->warned = true;
        (*cinfo->err->format_message)(cinfo, err->message);
    }
    if (err->failOnWarning) std::longjmp(err->jump, 1);
}

inline void Silent(j_common_ptr) {}

// Called by libjpeg as it reads on; leaves the decode as an error would.
inline void CountScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number <= kMaxScans) return;
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    err->tooManyScans = true;
    std::longjmp(err->jump, 1);
}

// Owns the decompressor; made before any jump point so that a longjmp never skips a destructor.
struct Reader {
    jpeg_decompress_struct cinfo{};
    ErrorManager err;
    jpeg_progress_mgr progress{};

    Reader() {
        cinfo.err = jpeg_std_error(&err.pub);
        err.pub.error_exit = OnError;
        err.pub.emit_message = OnMessage;
        err.pub.output_message = Silent;
    }
    ~Reader() { jpeg_destroy_decompress(&cinfo); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
};

// Creates the decompressor over bytes, with the scan cap (creating clears the progress hook).
// Call inside the caller's setjmp frame: creating can fail.
inline void CreateReader(Reader& r, const unsigned char* bytes, unsigned long size) {
    jpeg_create_decompress(&r.cinfo);
    r.progress.progress_monitor = CountScans;
    r.cinfo.progress = &r.progress;
    jpeg_mem_src(&r.cinfo, bytes, size);
}

}  // namespace turnlet::jpeg
