// SPDX-License-Identifier: MIT
// Status bar texts in both languages and the area rectangle with its fallbacks.
#include <gtest/gtest.h>

#include "shell/status_texts.h"

namespace turnlet {
namespace {

StatusFacts Example() {
    StatusFacts facts;
    facts.imagesLoaded = true;
    facts.languageCode = "en";
    facts.pictureWidth = 3000;
    facts.pictureHeight = 4000;
    facts.crop = CropArea{100, 200, 640, 480};
    facts.sourceCount = 36;
    facts.firstFrame = 2;
    facts.lastFrame = 33;
    return facts;
}

TEST(StatusTexts, Panels) {
    struct Case {
        const char* name;
        std::string_view language;
        std::optional<CropArea> crop;
        std::array<std::string, 4> panels;
    };
    const Case cases[] = {
        {"crop set",
         "en",
         CropArea{100, 200, 640, 480},
         {"Source: (3000x4000)", "Area: (640x480)", "All images: 36", "Selected images: 32"}},
        {"no crop", "en", {}, {"Source: (3000x4000)", "Area: (3000x4000)", "All images: 36", "Selected images: 32"}},
        {"russian",
         "ru",
         CropArea{100, 200, 640, 480},
         {"Источник: (3000x4000)", "Область: (640x480)", "Изображений: 36", "Выбрано: 32"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StatusFacts facts = Example();
        facts.languageCode = c.language;
        facts.crop = c.crop;
        const StatusSummary summary = StatusTexts(facts);
        EXPECT_EQ(summary.change, StatusSummary::Change::Summary);
        EXPECT_EQ(summary.panels, c.panels);
    }
}

TEST(StatusTexts, NoImagesClearsEverythingAndAnUnknownLanguageIsEnglish) {
    StatusFacts facts = Example();
    facts.imagesLoaded = false;
    EXPECT_EQ(StatusTexts(facts).change, StatusSummary::Change::ClearAll);
    facts = Example();
    facts.languageCode = "EN";
    EXPECT_EQ(StatusTexts(facts).panels[2], "All images: 36");
    facts = Example();
    facts.sourceCount = 0;  // every item deleted: first and last are both 0
    facts.firstFrame = facts.lastFrame = 0;
    EXPECT_EQ(StatusTexts(facts).panels[3], "Selected images: 1");
}

}  // namespace
}  // namespace turnlet
