// SPDX-License-Identifier: MIT
// Texts chosen by the interface language when they are shown.
#include <gtest/gtest.h>

#include "base/messages.h"

namespace turnlet {
namespace {

TEST(ShownTexts, EnglishRussianAndNothingForOtherCodes) {
    EXPECT_STREQ(TextFor(ShownText::ExportFinished, "en"), "Export finished!");
    EXPECT_STREQ(TextFor(ShownText::ExportFinished, "ru"), "Экпорт закончен!");
    EXPECT_STREQ(TextFor(ShownText::NoImagesLoaded, "ru"), "Изображения не загружены!");
    EXPECT_STREQ(TextFor(ShownText::StatusSelectedImages, "ru"), "Выбранно: ");
    for (const char* code : {"", "EN", "Ru", "de", "russian"})
        EXPECT_EQ(TextFor(ShownText::AboutCaption, code), nullptr) << code;
}

}  // namespace
}  // namespace turnlet
