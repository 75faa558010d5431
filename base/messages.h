// SPDX-License-Identifier: MIT
// The texts the program builds when it shows them, in the interface language of that moment.
#pragma once

#include <string_view>

namespace turnlet {

enum class ShownText {
    NoImagesLoaded,        // "Export" with no images
    ExportFinished,        // end of an export
    AboutCaption,          // About box title, set at each showing
    AboutVersion,          // About box version label
    StatusSource,          // status bar panel 0 prefix
    StatusArea,            // panel 1
    StatusAllImages,       // panel 2
    StatusSelectedImages,  // panel 3
    FramesRepeat,          // export dialog: more output frames than the turn has; the count and ")" follow
};

// The English text for "en", the Russian one for "ru", and nullptr for any other code: callers then
// show nothing.
const char* TextFor(ShownText text, std::string_view languageCode);

// English whatever the interface language.
inline constexpr const char* kWrongFileType = "Wrong file type!";

}  // namespace turnlet
