// SPDX-License-Identifier: MIT
// libFuzzer entry for the settings reader: any text reads, and what is written reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "project/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace turnlet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Settings settings;
    ReadSettingsText(text, settings);
    if (settings.languageCode != "en" && settings.languageCode != "ru") std::abort();
    const std::string written = WriteSettingsText(settings);
    Settings again;
    ReadSettingsText(written, again);
    if (WriteSettingsText(again) != written) std::abort();
    return 0;
}
