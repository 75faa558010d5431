// SPDX-License-Identifier: MIT
// The status bar's summary and the area rectangle.
#include "controls.h"
#include "main_window.h"
#include "picture_view.h"

namespace turnlet {

void TForm2::Showstatus1Click() {
    StatusFacts facts;
    facts.imagesLoaded = project.imagesLoaded;
    facts.languageCode = settings.languageCode;
    facts.pictureWidth = Image1->pictureWidth();
    facts.pictureHeight = Image1->pictureHeight();
    facts.crop = project.crop;
    facts.sourceCount = project.sources.size();
    facts.firstFrame = project.firstFrame;
    facts.lastFrame = project.lastFrame;
    const StatusSummary summary = StatusTexts(facts);
    switch (summary.change) {
        case StatusSummary::Change::ClearAll:
            for (int panel = 0; panel < kStatusPanels; ++panel) SetStatusPanel(panel, std::string());
            break;
        case StatusSummary::Change::Summary:
            for (int panel = 0; panel < 4; ++panel) SetStatusPanel(panel, summary.panels[panel]);
            break;
    }
}

void TForm2::Areaparams1Click() {
    Area = ResolveCrop(project.crop, Image1->pictureWidth(), Image1->pictureHeight());
    InterlaceViewSize = Image5->size();
}

}  // namespace turnlet
