// SPDX-License-Identifier: MIT
// The file choosers' filters.
#include "shell/file_filters.h"

namespace turnlet {
namespace {

std::string Entry(Msg name, Language language, const char* patterns) {
    return std::string(Tr(name, language)) + " (" + patterns + ")";
}

std::string AllFiles(Language language) {
    return ";;" + Entry(Msg::FilterAllFiles, language, "*");
}

}  // namespace

std::string ProjectFilter(Language language) {
    return Entry(Msg::FilterProject, language, "*.trn.prj") + AllFiles(language);
}

std::string PictureFilter(Language language) {
    // Qt's file chooser matches the patterns regardless of letter case.
    return Entry(Msg::FilterAllPictures, language, "*.jpg *.jpeg *.png *.bmp") + ";;" +
           Entry(Msg::FilterJpeg, language, "*.jpg *.jpeg") + ";;" + Entry(Msg::FilterPng, language, "*.png") + ";;" +
           Entry(Msg::FilterBitmaps, language, "*.bmp");
}

std::string VideoFilter(Language language) {
    return Entry(Msg::FilterVideo, language, "*.avi *.mpg *.mpeg *.mp4 *.mov") + AllFiles(language);
}

std::string FfmpegFilter(Language language) {
    return "FFMPEG (ffmpeg ffmpeg.exe)" + AllFiles(language);
}

}  // namespace turnlet
