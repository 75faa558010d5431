// SPDX-License-Identifier: MIT
// The file choosers' filters in Qt's form ("Name (*.a *.b);;Other (*)"), named in either language.
#pragma once

#include <string>

#include "shell/catalogue.h"

namespace turnlet {

std::string ProjectFilter(Language language);
std::string PictureFilter(Language language);
std::string VideoFilter(Language language);
// Both the Linux and the Windows name of the program are offered.
std::string FfmpegFilter(Language language);

}  // namespace turnlet
