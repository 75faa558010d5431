// SPDX-License-Identifier: MIT
// Writes that fail: a full disk, a read-only folder, a missing folder, a folder deleted during an
// export, /dev/full. Every one is reported naming the file, none passes for success, and a file
// that was replaced atomically (viewer page, project, settings) keeps its previous bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "export/viewer_page.h"
#include "export_test_support.h"
#include "codecs/image_files.h"
#include "project/project.h"
#include "project/settings_file.h"
#include "scratch_mounts.h"
#include "temp_folder.h"

namespace turnlet {
namespace {

namespace fs = std::filesystem;
using testing::FakeObserver;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Noise does not compress: each 120 x 90 PNG frame takes about 32 KB.
std::string NoiseSource(const std::string& path, std::uint32_t seed) {
    Picture picture(120, 90);
    for (int y = 0; y < 90; ++y) {
        for (int x = 0; x < 120 * 3; ++x) {
            seed = seed * 1103515245u + 12345u;
            picture.row(y)[x] = static_cast<std::uint8_t>(seed >> 24);
        }
    }
    EXPECT_TRUE(SavePicture(picture, path, 90).ok());
    return path;
}

std::vector<std::string> TemporaryLeftovers(const std::string& folder) {
    std::vector<std::string> left;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (entry.path().filename().string().rfind(".turnlet-save-", 0) == 0) left.push_back(entry.path());
    }
    return left;
}

struct FrameBreak {
    const char* name;
    bool needsMounts;
    // Before the export starts, on the (existing) output folder.
    std::function<bool(const std::string&)> before;
    // When frame 2 is handed out, before it is made.
    std::function<void(const std::string&)> atFrameTwo;
    int failingFrame;        // the frame the failure names
    bool firstFrameStays;    // whether 0001.png is still there afterwards
    const char* reasonPart;  // in the failure's reason
};

TEST(WriteFailures, ExportFramesNameTheFileAndNeverFinish) {
    TempFolder sources;
    std::vector<std::string> paths;
    for (std::uint32_t i = 0; i < 3; ++i)
        paths.push_back(NoiseSource(sources.file("s" + std::to_string(i) + ".png"), i));
    const FrameBreak breaks[] = {
        {"full disk", true, [](const std::string& d) { return testing::MountSmallDisk(d, 256); },
         [](const std::string& d) { testing::FillDisk(d); }, 2, true, "No space left on device"},
        {"read-only folder",
         true,
         [](const std::string& d) { return testing::MakeReadOnly(d); },
         {},
         1,
         false,
         "Read-only file system"},
        {"folder deleted mid-export", false, [](const std::string&) { return true; },
         [](const std::string& d) {
             // A frame may be landing in it meanwhile: then it is not empty yet at the last step.
             std::error_code error;
             for (int tries = 0; tries < 1000 && fs::exists(d); ++tries) fs::remove_all(d, error);
         },
         2, false, "No such file or directory"},
        {"frame file leading to /dev/full",
         false,
         [](const std::string& d) {
             std::error_code error;
             fs::create_symlink("/dev/full", d + "/0002.png", error);
             return !error && fs::exists("/dev/full");
         },
         {},
         2,
         true,
         "No space left on device"},
    };
    for (const bool pipelined : {true, false}) {
        for (const FrameBreak& b : breaks) {
            SCOPED_TRACE(std::string(b.name) + (pipelined ? ", pipelined" : ", one frame at a time"));
            if (b.needsMounts && !testing::ScratchMountsUnavailable().empty()) {
                std::printf("[  SKIPPED ] %s: %s\n", b.name, testing::ScratchMountsUnavailable().c_str());
                continue;
            }
            TempFolder work;
            const std::string out = work.file("out");
            fs::create_directories(out);
            const testing::UnmountAtEnd unmount(b.needsMounts ? out : std::string());
            ASSERT_TRUE(b.before(out));
            FakeObserver host;
            ExportPlan plan;
            plan.directory = out;
            plan.typeIndex = 1;
            plan.cropWidth = plan.outputWidth = 120;
            plan.cropHeight = plan.outputHeight = 90;
            for (int r = 1; r <= 5; ++r) plan.frames.push_back({paths[static_cast<std::size_t>(r % 3)]});
            if (b.atFrameTwo) {
                host.onFrameHandedOut = [&](int frame) {
                    if (frame == 2) b.atFrameTwo(out);
                };
            }
            const ExportOutcome outcome = testing::RunPlan(host, plan, ExportOptions{pipelined});
            EXPECT_EQ(outcome.end, ExportOutcome::End::Failed);
            const Status& failure = outcome.failure;
            // A pipelined export writes frame 1 while frame 2 is handed out: a disk that fills or a
            // folder that goes at that moment may catch frame 1 still being written. Either way the
            // failure names the first frame not written, and no later frame stays.
            int failed = b.failingFrame;
            if (pipelined && b.atFrameTwo && failure.file() == out + "/0001.png") failed = 1;
            char name[16];
            std::snprintf(name, sizeof name, "/%04d.png", failed);
            EXPECT_EQ(failure.file(), out + name);
            EXPECT_NE(failure.message().find(out + name), std::string::npos);
            EXPECT_NE(failure.reason().find(b.reasonPart), std::string::npos) << failure.reason();
            EXPECT_EQ(outcome.written, failed - 1);
            EXPECT_EQ(fs::exists(out + "/0001.png"), b.firstFrameStays && failed > 1);
            EXPECT_FALSE(fs::exists(out + "/0003.png"));
        }
    }
}

// A writer of one file that is replaced atomically: viewer page, project, settings.
struct AtomicWriter {
    const char* name;
    const char* fileName;
    std::function<Status(const std::string& folder)> write;
};

struct FolderBreak {
    const char* name;
    bool needsMounts;
    bool keepsAnEarlierFile;
    // Breaks the folder, which holds the earlier file; false if it cannot.
    std::function<bool(const std::string& folder, const std::string& file)> apply;
};

TEST(WriteFailures, AtomicFilesKeepTheirPreviousBytes) {
    TempFolder work;
    const std::string templatePath = work.file("Turnlet.html");
    WriteBytes(templatePath, "<html>[ITEMS] [TYPE] [WIDTH] [HEIGHT]" + std::string(20000, ' ') + "</html>");
    Project project;
    New(project, "/photos/result");
    for (int i = 0; i < 200; ++i)
        project.sources.push_back("/photos/a rather long folder name/IMG_" + std::to_string(i) + ".jpg");
    Settings settings;
    for (int i = 0; i < 10; ++i) settings.recent.push_back("/projects/" + std::string(2000, 'p') + std::to_string(i));
    const AtomicWriter writers[] = {
        {"viewer page", "index.html",
         [&](const std::string& folder) {
             return WriteViewerPage(templatePath, folder, ViewerPageFacts{36, 0, 800, 600, false});
         }},
        {"project", "p.trn.prj",
         [&](const std::string& folder) { return SaveProject(project, folder + "/p.trn.prj"); }},
        {"settings", "Turnlet.ini",
         [&](const std::string& folder) { return WriteSettings(folder + "/Turnlet.ini", settings); }},
    };
    const FolderBreak breaks[] = {
        {"full disk", true, true,
         [](const std::string& d, const std::string& file) {
             // The earlier file is moved onto a small disk that is then filled up.
             const std::string earlier = ReadBytes(file);
             if (!testing::MountSmallDisk(d, 64)) return false;
             WriteBytes(file, earlier);
             testing::FillDisk(d);
             return true;
         }},
        {"read-only folder", true, true,
         [](const std::string& d, const std::string&) { return testing::MakeReadOnly(d); }},
        {"missing folder", false, false,
         [](const std::string& d, const std::string&) { return fs::remove_all(d) > 0; }},
    };
    for (const AtomicWriter& w : writers) {
        for (const FolderBreak& b : breaks) {
            SCOPED_TRACE(std::string(w.name) + ", " + b.name);
            if (b.needsMounts && !testing::ScratchMountsUnavailable().empty()) {
                std::printf("[  SKIPPED ] %s: %s\n", b.name, testing::ScratchMountsUnavailable().c_str());
                continue;
            }
            const std::string folder = work.file(std::string(w.name) + "-" + b.name);
            const std::string file = folder + "/" + w.fileName;
            fs::create_directories(folder);
            const std::string earlier = "an earlier version\r\nthat must survive\r\n";
            WriteBytes(file, earlier);
            const testing::UnmountAtEnd unmount(b.needsMounts ? folder : std::string());
            ASSERT_TRUE(b.apply(folder, file));
            const Status status = w.write(folder);
            EXPECT_FALSE(status.ok());
            EXPECT_NE(status.message().find(file), std::string::npos) << status.message();
            if (b.keepsAnEarlierFile) {
                EXPECT_EQ(ReadBytes(file), earlier);
                EXPECT_TRUE(TemporaryLeftovers(folder).empty());
            }
        }
    }
}

}  // namespace
}  // namespace turnlet
