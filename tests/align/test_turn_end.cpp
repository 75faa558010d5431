// SPDX-License-Identifier: MIT
// Finding one full turn in rendered turntables whose true turn is known, and in sets that stop short.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "align/turn_end.h"
#include "align_test_support.h"
#include "codecs/image_files.h"
#include "project/project.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

using testing::TempFolder;

#ifdef TURNLET_SAMPLE_TOOL
struct TurnCase {
    int frames;
    int degrees;
    int trueLast;  // -1: the set stops short of a full turn
};

// The frames of a rendered turn, first to last, with its crop, as the editor hands them over.
AlignSettings RenderedTurn(const TempFolder& folder, const TurnCase& c) {
    const std::string command = std::string(TURNLET_SAMPLE_TOOL) + " " + folder.path() + " --frames " +
                                std::to_string(c.frames) + " --turn-degrees " + std::to_string(c.degrees) +
                                " --width 320 --height 240 > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    Project project;
    EXPECT_TRUE(OpenProject(project, folder.file("sample.trn.prj"), {}).ok());
    AlignSettings settings;
    settings.paths = project.sources;
    return settings;
}

TEST(TurnEnd, FindsTheFrameBeforeTheFirstViewComesRound) {
    // 100 frames over 1.3 turns: 4.68 degrees a frame, frame 77 at 360.4 degrees shows the first view
    // again. 40 frames over 400 degrees: frame 36 at exactly 360. 30 over 300 never comes round; nor
    // does a set that just turns back and forth near the first view.
    const TurnCase cases[] = {{100, 468, 76}, {40, 400, 35}, {30, 300, -1}, {12, 60, -1}};
    for (const TurnCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " frames over " + std::to_string(c.degrees));
        TempFolder folder;
        ASSERT_TRUE(folder.ok());
        const TurnEnd end = FindTurnEnd(RenderedTurn(folder, c));
        ASSERT_TRUE(end.status.ok()) << end.status.message();
        EXPECT_FALSE(end.cancelled);
        if (c.trueLast < 0) {
            EXPECT_FALSE(end.found) << "suggested " << end.last << " (confidence " << end.confidence << ")";
            continue;
        }
        ASSERT_TRUE(end.found);
        EXPECT_NEAR(end.last, c.trueLast, 1);
        EXPECT_EQ(end.repeat, end.last + 1);
        EXPECT_GT(end.confidence, 0.5);
    }
}
#endif

TEST(TurnEnd, FailuresStopsAndShortListsSuggestNothing) {
    TempFolder folder;
    ASSERT_TRUE(folder.ok());
    AlignSettings settings;
    for (int k = 0; k < 6; ++k) {
        settings.paths.push_back(folder.file(std::to_string(k) + ".png"));
        ASSERT_TRUE(SavePicture(testing::ShakenPhoto(160, 120, {k * 30.0, 0, 0, 1}), settings.paths.back(), 90).ok());
    }
    // Stopped before any work: cancelled, nothing found.
    AlignCallbacks stop;
    stop.stopping = [] { return true; };
    TurnEnd end = FindTurnEnd(settings, stop);
    EXPECT_TRUE(end.cancelled);
    EXPECT_FALSE(end.found);
    // Two pictures are no turn at all.
    AlignSettings two = settings;
    two.paths.resize(2);
    end = FindTurnEnd(two);
    EXPECT_TRUE(end.status.ok());
    EXPECT_FALSE(end.found);
    // A source that cannot be read fails the search, naming it.
    settings.paths[3] = folder.file("missing.jpg");
    end = FindTurnEnd(settings);
    EXPECT_FALSE(end.status.ok());
    EXPECT_NE(end.status.message().find("missing.jpg"), std::string::npos);
    EXPECT_FALSE(end.found);
}

}  // namespace
}  // namespace turnlet
