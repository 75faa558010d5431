// SPDX-License-Identifier: MIT
// A session opened from a project file the program wrote, for the session's tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "session/editor_session.h"
#include "temp_folder.h"

namespace turnlet::testing {

// Six photographs (a comma, a blank and Cyrillic letters among the paths), the turn on the middle
// four, a crop, a turn, two keyframes in the turn and one of a photograph no longer in the list.
inline Project StartProject() {
    Project p;
    New(p, "/out/turn");
    p.sources = {"/shots/a 01.jpg", "/shots/a,02.jpg", "/снимки/a03.png",
                 "/shots/a04.jpg",  "/shots/a05.jpg",  "/shots/a06.jpg"};
    p.rotationIndex = 1;
    p.crop = CropArea{10, 20, 300, 200};
    p.firstFrame = 1;
    p.lastFrame = 4;
    p.backgroundColor = 0x00203040;
    ChangeKeyframe(p.keyframes, p.sources[1], {3.5, -2, 1, 0, 10, 0, 0});
    ChangeKeyframe(p.keyframes, p.sources[3], {6.66667, 1e-7, -180, 50, 0, -10, 10});
    ChangeKeyframe(p.keyframes, "/gone/x.jpg", {1, 2, 3, 4, 5, 6, 7});
    p.exportSettings = {36, "/out/turn", 1, 80, 600, 400, true, true, false, true};
    return p;
}

// The start project saved to a file and opened in a session.
class OpenedSession : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.ok());
        original = folder.file("start.trn.prj");
        ASSERT_TRUE(SaveProject(StartProject(), original).ok());
        ASSERT_TRUE(session.Open(original).ok());
        opened = session.project();
    }
    std::string Saved(const std::string& name) {
        const Status status = session.Save(folder.file(name));
        EXPECT_TRUE(status.ok()) << status.message();
        return ReadBytes(folder.file(name));
    }

    TempFolder folder;
    std::string original;
    EditorSession session{"/new/result"};
    Project opened;
};

}  // namespace turnlet::testing
