// SPDX-License-Identifier: MIT
// What a video import's FFmpeg run tells the user.
#include "shell/video_texts.h"

namespace turnlet {

std::string DescribeVideoImport(const VideoImportOutcome& outcome, const std::string& ffmpegPath,
                                const std::string& folder, Language language) {
    const std::string tail = LastLines(outcome.messages, 6);
    // FFmpeg's own lines stay as it wrote them: they are what a search for the fault needs.
    const std::string details = tail.empty() ? std::string() : "\n\n" + tail;
    switch (outcome.kind) {
        case VideoImportOutcome::Kind::NotStarted:
            return outcome.startError.empty() ? Tr(Msg::VideoNotStartedBare, language, {ffmpegPath})
                                              : Tr(Msg::VideoNotStarted, language, {ffmpegPath, outcome.startError});
        case VideoImportOutcome::Kind::Crashed:
            return Tr(Msg::VideoCrashed, language, {ffmpegPath}) + details;
        case VideoImportOutcome::Kind::Failed:
            return Tr(Msg::VideoFailed, language, {std::to_string(outcome.exitCode)}) + details;
        case VideoImportOutcome::Kind::NothingWritten:
            return Tr(Msg::VideoNothingWritten, language, {folder}) + details;
        case VideoImportOutcome::Kind::Done:
            break;
    }
    if (outcome.pictures == 1) return Tr(Msg::VideoOnePicture, language, {folder});
    return Tr(Msg::VideoPictures, language, {std::to_string(outcome.pictures), folder});
}

}  // namespace turnlet
