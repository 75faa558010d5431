// SPDX-License-Identifier: MIT
// Videos of one turn: FFmpeg fed raw frames through a pipe, and libwebp's animation encoder.
#include "export/turn_video.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "base/files.h"
#include "base/tasks.h"
#include "codecs/image_files.h"
#include "codecs/webp_io.h"

extern char** environ;

namespace turnlet {

namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

// The part file beside output, so a stopped or failed video never replaces a complete one.
std::string PartName(const std::string& output) {
    return output + ".part";
}

void RemoveQuietly(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

Status Renamed(const std::string& from, const std::string& to) {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    if (!error) return Status::Ok();
    RemoveQuietly(from);
    return Status::Error(to, error.message());
}

// Writes to a pipe whose reader may be gone: the write fails with EPIPE instead of a SIGPIPE
// ending the whole program (the signal is held back for this thread and drained).
class PipeWriter {
  public:
    explicit PipeWriter(int fd) : fd_(fd) {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~PipeWriter() {
        if (broken_) {
            const timespec none{};
            sigtimedwait(&pipe_, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    PipeWriter(const PipeWriter&) = delete;
    PipeWriter& operator=(const PipeWriter&) = delete;

    // False once the reader has gone (or another error happened).
    bool write(const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                broken_ = errno == EPIPE;
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

  private:
    int fd_;
    sigset_t pipe_{}, old_{};
    bool broken_ = false;
};

struct Fd {
    int fd = -1;
    ~Fd() { close(); }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// A started FFmpeg: its input pipe, its error output collected by a thread, and its end.
class FfmpegRun {
  public:
    Status start(const std::string& program, const std::vector<std::string>& arguments) {
        int input[2], errors[2];
        if (pipe2(input, O_CLOEXEC) != 0) return Status::Error({}, std::strerror(errno));
        input_.fd = input[1];
        Fd inputRead{input[0]};
        if (pipe2(errors, O_CLOEXEC) != 0) return Status::Error({}, std::strerror(errno));
        Fd errorsRead{errors[0]}, errorsWrite{errors[1]};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, inputRead.fd, STDIN_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, errorsWrite.fd, STDERR_FILENO);
        std::vector<std::string> all{program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        const bool search = program.find('/') == std::string::npos;
        const int failed = search ? posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ)
                                  : posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            pid_ = -1;
            return Status::Error({}, std::strerror(failed));
        }
        errorsWrite.close();
        errors_ = errorsRead.fd;
        errorsRead.fd = -1;
        const bool reading = reader_.start("reading FFmpeg's messages", [this] {
            char buffer[4096];
            for (;;) {
                const ssize_t n = ::read(errors_, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                // Only the end is ever shown: the start of a long complaint may go.
                messages_.append(buffer, static_cast<std::size_t>(n));
                if (messages_.size() > 65536) messages_.erase(0, messages_.size() - 32768);
            }
        });
        if (!reading) {
            finish(true);
            return Status::Error({}, "no thread to read FFmpeg's messages");
        }
        return Status::Ok();
    }
    int input() const { return input_.fd; }
    // Closes FFmpeg's input (killed first when abandoned) and waits for it; its exit status, or -1
    // when it did not exit by itself.
    int finish(bool abandon) {
        if (pid_ > 0 && abandon) kill(pid_, SIGKILL);
        input_.close();
        int status = 0;
        if (pid_ > 0) {
            while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        pid_ = -1;
        reader_.join();
        if (errors_ >= 0) ::close(errors_);
        errors_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& messages() const { return messages_; }
    ~FfmpegRun() { finish(true); }

  private:
    pid_t pid_ = -1;
    Fd input_;
    int errors_ = -1;
    DedicatedThread reader_;
    std::string messages_;
};

struct AnimEncoderFree {
    void operator()(WebPAnimEncoder* encoder) const { WebPAnimEncoderDelete(encoder); }
};

}  // namespace

std::vector<std::string> TurnMp4Arguments(int width, int height, double framesPerSecond, const std::string& output) {
    return {"-hide_banner",
            "-loglevel",
            "error",
            "-y",
            "-f",
            "rawvideo",
            "-pixel_format",
            "bgr24",
            "-video_size",
            std::to_string(width) + "x" + std::to_string(height),
            "-framerate",
            Number(framesPerSecond),
            "-i",
            "pipe:0",
            "-vf",
            "crop=trunc(iw/2)*2:trunc(ih/2)*2",
            "-r",
            "30",
            "-c:v",
            "libx264",
            "-preset",
            "medium",
            "-crf",
            "20",
            "-pix_fmt",
            "yuv420p",
            "-movflags",
            "+faststart",
            "-f",
            "mp4",
            output};
}

std::string FindFfmpeg(const std::string& configured) {
    auto runnable = [](const std::filesystem::path& file) {
        std::error_code error;
        return std::filesystem::is_regular_file(file, error) && ::access(file.c_str(), X_OK) == 0;
    };
    if (!configured.empty()) return runnable(configured) ? configured : std::string();
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (true) {
        const std::size_t colon = rest.find(':');
        // An empty entry is the current folder, as the shell takes it.
        const std::string folder(rest.substr(0, colon));
        const std::filesystem::path candidate = std::filesystem::path(folder.empty() ? "." : folder) / "ffmpeg";
        if (runnable(candidate)) return candidate.string();
        if (colon == std::string_view::npos) return {};
        rest.remove_prefix(colon + 1);
    }
}

std::string LastMessageLines(const std::string& text, int lines) {
    std::vector<std::string> kept;
    std::string line;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '\n';
        if (c != '\n' && c != '\r') {
            line += c;
            continue;
        }
        if (line.find_first_not_of(" \t") != std::string::npos) kept.push_back(line);
        line.clear();
    }
    std::string out;
    const std::size_t first = kept.size() > static_cast<std::size_t>(lines) ? kept.size() - lines : 0;
    for (std::size_t i = first; i < kept.size(); ++i) out += (out.empty() ? "" : "\n") + kept[i];
    return out;
}

Status WriteTurnMp4(const TurnVideo& video, const VideoStep& step, bool& stopped) {
    stopped = false;
    const int total = static_cast<int>(video.frames.size());
    if (total == 0) return Status::Error(video.output, "no frames to make a video of");
    if (!step(0, total)) {
        stopped = true;
        return Status::Ok();
    }
    Picture frame;
    if (Status status = LoadPicture(video.frames[0], frame); !status.ok()) return status;
    const std::string part = PartName(video.output);
    const std::string program = video.ffmpegPath.empty() ? "ffmpeg" : video.ffmpegPath;
    FfmpegRun ffmpeg;
    if (Status started =
            ffmpeg.start(program, TurnMp4Arguments(frame.width(), frame.height(), total / video.turnSeconds, part));
        !started.ok()) {
        const std::string where =
            video.ffmpegPath.empty() ? "\"ffmpeg\" was not found on the PATH" : video.ffmpegPath + " cannot be started";
        return Status::Error(video.output, "the MP4 video needs FFmpeg, but " + where + " (" + started.reason() +
                                               "): install FFmpeg or give its location");
    }
    Status status;
    {
        PipeWriter pipe(ffmpeg.input());
        for (int k = 0; k < total && status.ok(); ++k) {
            if (k > 0 && !step(k, total)) {
                stopped = true;
                break;
            }
            if (k > 0) status = LoadPicture(video.frames[k], frame);
            if (status.ok() && !pipe.write(frame.data(), frame.byteSize())) {
                // FFmpeg has gone: its own words say why.
                status = Status::Error(video.output, "FFmpeg stopped early");
            }
        }
    }
    const int exit = ffmpeg.finish(stopped || (!status.ok() && status.file() != video.output));
    if (stopped || !status.ok() || exit != 0) {
        RemoveQuietly(part);
        if (stopped) return Status::Ok();
        if (!status.ok() && status.file() != video.output) return status;  // a frame could not be read
        std::string why = "FFmpeg failed" + (exit > 0 ? " (exit status " + std::to_string(exit) + ")" : std::string());
        const std::string said = LastMessageLines(ffmpeg.messages(), 3);
        return Status::Error(video.output, said.empty() ? why : why + ": " + said);
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(part, error) || std::filesystem::file_size(part, error) == 0) {
        RemoveQuietly(part);
        return Status::Error(video.output, "FFmpeg failed: it ended without writing the video");
    }
    if (Status renamed = Renamed(part, video.output); !renamed.ok()) return renamed;
    step(total, total);
    return Status::Ok();
}

Status WriteTurnWebp(const TurnVideo& video, const VideoStep& step, bool& stopped) {
    stopped = false;
    const int total = static_cast<int>(video.frames.size());
    if (total == 0) return Status::Error(video.output, "no frames to make a video of");
    WebPAnimEncoderOptions options;
    WebPConfig config;
    if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&config))
        return Status::Error(video.output, "WebP encoder version mismatch");
    options.anim_params.loop_count = 0;  // for ever
    config.quality = WebpQuality(video.quality);
    config.method = WebpEncoding{}.method;
    std::unique_ptr<WebPAnimEncoder, AnimEncoderFree> encoder;
    Picture frame;
    for (int k = 0; k < total; ++k) {
        if (!step(k, total)) {
            stopped = true;
            return Status::Ok();
        }
        if (Status status = LoadPicture(video.frames[k], frame); !status.ok()) return status;
        if (!encoder) {
            encoder.reset(WebPAnimEncoderNew(frame.width(), frame.height(), &options));
            if (!encoder) return Status::Error(video.output, "not enough memory to encode the animated WebP");
        }
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) return Status::Error(video.output, "WebP encoder version mismatch");
        picture.width = frame.width();
        picture.height = frame.height();
        picture.use_argb = 1;  // the animation encoder compares frames in colour
        const bool imported = WebPPictureImportBGR(&picture, frame.data(), static_cast<int>(frame.stride()));
        const int timestamp = static_cast<int>(std::lround(k * video.turnSeconds * 1000 / total));
        const bool added = imported && WebPAnimEncoderAdd(encoder.get(), &picture, timestamp, &config);
        WebPPictureFree(&picture);
        if (!added) {
            const char* why = WebPAnimEncoderGetError(encoder.get());
            return Status::Error(video.output, std::string("cannot encode the animated WebP") +
                                                   (why && *why ? std::string(" (") + why + ")" : std::string()));
        }
    }
    WebPData data;
    WebPDataInit(&data);
    const int end = static_cast<int>(std::lround(video.turnSeconds * 1000));
    if (!WebPAnimEncoderAdd(encoder.get(), nullptr, end, nullptr) || !WebPAnimEncoderAssemble(encoder.get(), &data)) {
        WebPDataClear(&data);
        return Status::Error(video.output, "cannot assemble the animated WebP");
    }
    const Status written =
        WriteFileAtomically(video.output, std::string_view(reinterpret_cast<const char*>(data.bytes), data.size));
    WebPDataClear(&data);
    if (written.ok()) step(total, total);
    return written;
}

}  // namespace turnlet
