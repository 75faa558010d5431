// SPDX-License-Identifier: MIT
// Export sessions: the frame limit, Stop at any counter, failures as a Status, restart and shutdown on a real owner
// thread.
#include <atomic>
#include <climits>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "export/export_engine.h"
#include "export/export_runner.h"
#include "export_test_support.h"
#include "codecs/image_files.h"

namespace turnlet {
namespace {

using testing::FakeHost;
using testing::FreshTempDir;
using testing::OwnerThread;

TextGrid Frames(int m) {
    TextGrid frames(9, m + 1);
    for (int r = 1; r <= m; ++r) {
        for (int c = 2; c <= 8; ++c) frames.set(r, c, "0");
    }
    return frames;
}

std::vector<std::string> MakeSources(const std::filesystem::path& dir, int m) {
    std::vector<std::string> sources;
    for (int i = 0; i < m; ++i) {
        Picture p(40 + i, 30);
        p.fill(0x00102030u * static_cast<Color>(i + 1));
        sources.push_back((dir / ("src" + std::to_string(i) + ".png")).string());
        EXPECT_TRUE(SavePicture(p, sources.back(), 90).ok());
    }
    return sources;
}

int FilesIn(const std::filesystem::path& dir) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) count += entry.is_regular_file();
    return count;
}

TEST(ExportFrames, CountsBeyondTheLimitAreRefusedNamingTheValueAndNeverOverflow) {
    const struct {
        int n;
        bool ok;
    } cases[] = {{INT_MIN, false},
                 {-5, false},
                 {0, false},
                 {1, true},
                 {1000, true},
                 {kMaxExportFrames, true},
                 {kMaxExportFrames + 1, false},
                 {INT_MAX, false}};
    for (const auto& c : cases) {
        const Status status = CheckExportFrames(c.n);
        EXPECT_EQ(status.ok(), c.ok) << c.n;
        if (!c.ok) {
            EXPECT_NE(status.message().find(std::to_string(c.n)), std::string::npos) << status.message();
        }
    }
    const std::vector<std::string> sources{"/a.png", "/b.png"};
    EXPECT_EQ(BuildExportTable(INT_MAX, Frames(2), sources, 0).rowCount(), kMaxExportFrames + 1);
    EXPECT_EQ(BuildExportTable(-3, Frames(2), sources, 0).rowCount(), 0);
}

TEST(ExportFrames, StopEndsTheExportWhateverTheCounterHolds) {
    // At kMaxExportFrames the stop value of ExportCounter is also the number of the last frame.
    const struct {
        int n;
        int handedOut;
    } cases[] = {{4, 1}, {4, 4}, {kMaxExportFrames, 1}};
    const std::vector<std::string> sources{"/s/0.png", "/s/1.png"};
    for (const auto& c : cases) {
        FakeHost host;
        ExportSession session(host, host, BuildExportTable(c.n, Frames(2), sources, 0));
        Picture output;
        ExportParams params;
        for (int i = 0; i < c.handedOut; ++i) session.HandOver(output, params);
        session.Stop();
        EXPECT_EQ(session.ExportCounter(), ExportSession::kStopped);
        for (int i = 0; i < 2; ++i) {
            session.HandOver(output, params);
            EXPECT_TRUE(params.SourcePath.empty()) << c.n;
        }
        EXPECT_EQ(host.finishes, 0) << c.n;
        EXPECT_EQ(host.progress, 0);
    }
}

TEST(ExportFrames, NextSourceNamesTheNextDifferentSourceOfTheTable) {
    FakeHost host;
    const std::vector<std::string> sources{"/s/0.png", "/s/1.png", "/s/2.png"};
    ExportSession session(host, host, BuildExportTable(7, Frames(3), sources, 0));  // 0 0 0 1 1 1 2
    const char* const expected[] = {"/s/1.png", "/s/1.png", "/s/1.png", "/s/2.png", "/s/2.png", "/s/2.png", ""};
    Picture output;
    ExportParams params;
    for (const char* next : expected) {
        session.HandOver(output, params);
        EXPECT_EQ(params.NextSourcePath, next) << params.SourcePath;
    }
}

// Exceptions inside the worker's run (here thrown by the owner's side of a hand-over) end the export
// with a Status that reaches the owner; the next export runs normally.
TEST(ExportRun, FailuresInsideTheWorkerReachTheOwnerAsAStatus) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::vector<std::string> sources = MakeSources(dir, 2);
    const TextGrid table = BuildExportTable(4, Frames(2), sources, 0);
    const struct {
        bool outOfMemory;
        bool viaRunner;
        const char* reason;
    } cases[] = {{true, true, "not enough memory"},
                 {false, true, "unexpected failure: the dialog went away"},
                 {false, false, "unexpected failure: the dialog went away"}};
    int index = 0;
    for (const auto& c : cases) {
        const std::filesystem::path out = FreshTempDir("out" + std::to_string(index++));
        FakeHost host;
        host.dir = out.string();
        bool armed = true;
        int handOvers = 0;
        host.onInputs = [&] {
            if (!armed || ++handOvers != 3) return;
            if (c.outOfMemory) throw std::bad_alloc();
            throw std::runtime_error("the dialog went away");
        };
        if (!c.viaRunner) {
            auto session = std::make_shared<ExportSession>(host, host, table);
            ExportPicture worker(session, {});
            worker.Start();
            EXPECT_EQ(worker.Wait().reason(), c.reason);
            ASSERT_EQ(host.failures.size(), 1u);
            EXPECT_EQ(host.failures[0].reason(), c.reason);
            continue;
        }
        OwnerThread owner;
        std::unique_ptr<ExportRunner> runner;
        owner.Run([&] {
            runner = std::make_unique<ExportRunner>(host, host, owner.poster());
            runner->Start(table);
        });
        ASSERT_TRUE(owner.RunUntil([&] { return !runner->running(); }));
        owner.Run([&] {
            ASSERT_EQ(host.failures.size(), 1u);
            EXPECT_EQ(host.failures[0].reason(), c.reason);
            EXPECT_TRUE(std::filesystem::exists(out / "0002.png"));
            EXPECT_FALSE(std::filesystem::exists(out / "0003.png"));
            EXPECT_TRUE(host.messages.empty());
            armed = false;
            runner->Start(table);
        });
        ASSERT_TRUE(owner.RunUntil([&] { return !runner->running(); }));
        owner.Run([&] {
            EXPECT_EQ(host.messages, std::vector<std::string>{"Export finished!"});
            EXPECT_EQ(host.failures.size(), 1u);
            EXPECT_EQ(FilesIn(out), 4);
            runner.reset();
        });
    }
}

// "Export result images" pressed during an export: the old worker finishes its frame in hand and
// ends; the new export starts only then, on its own table and counter.
TEST(ExportRun, RestartEndsTheOldWorkerBeforeTheNewExportWrites) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::vector<std::string> sources = MakeSources(dir, 3);
    const TextGrid tableA = BuildExportTable(100, Frames(3), sources, 0);
    const TextGrid tableB = BuildExportTable(5, Frames(3), sources, 0);
    const struct {
        const char* name;
        bool oldHandOverQueued;  // the old worker already waits in a hand-over behind the click
        bool stopAfterRestart;
    } cases[] = {{"while-rendering", false, false}, {"hand-over-queued", true, false}, {"then-stop", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::filesystem::path outA = FreshTempDir(std::string(c.name) + "-a");
        const std::filesystem::path outB = FreshTempDir(std::string(c.name) + "-b");
        OwnerThread owner;
        std::atomic<int> posts{0};
        PostToOwner post = [&](std::function<void()> fn) {
            owner.Post(std::move(fn));
            ++posts;
        };
        FakeHost host;  // owner thread only
        host.dir = outA.string();
        // Large JPEG frames for the old export: slow to finish, and on disk only once complete.
        host.type = 0;
        host.width = host.height = "1200";
        std::unique_ptr<ExportRunner> runner;
        bool oldFrameDoneAtNewStart = false;
        host.onFrameHandedOut = [&](int frame) {
            if (host.dir == outB.string() && frame == 1)
                oldFrameDoneAtNewStart = std::filesystem::exists(outA / "0003.jpg");
            if (host.dir != outA.string() || frame != 3) return;
            const int before = posts.load();
            owner.Post([&, before] {  // the click, queued behind this hand-over
                if (c.oldHandOverQueued) {
                    while (posts.load() == before) std::this_thread::yield();
                }
                host.dir = outB.string();
                host.type = 1;
                host.width = host.height = "20";
                runner->Start(tableB);
                if (c.stopAfterRestart) runner->Stop();
            });
        };
        owner.Run([&] {
            runner = std::make_unique<ExportRunner>(host, host, post);
            runner->Start(tableA);
        });
        ASSERT_TRUE(owner.RunUntil([&] { return host.dir == outB.string() && !runner->running(); }));
        owner.Run([&] {
            EXPECT_EQ(FilesIn(outA), 3);
            EXPECT_TRUE(std::filesystem::exists(outA / "0003.jpg"));
            EXPECT_TRUE(host.failures.empty());
            if (c.stopAfterRestart) {
                EXPECT_EQ(FilesIn(outB), 0);
                EXPECT_EQ(host.previewsShown, 3);
                EXPECT_EQ(host.finishes, 0);
                EXPECT_EQ(runner->session()->ExportCounter(), ExportSession::kStopped);
                EXPECT_EQ(host.progress, 0);
            } else {
                EXPECT_TRUE(oldFrameDoneAtNewStart);
                EXPECT_EQ(FilesIn(outB), 5);
                EXPECT_EQ(host.previewsShown, 3 + 5);  // no frame handed out twice or to the old worker
                EXPECT_EQ(host.messages, std::vector<std::string>{"Export finished!"});
                EXPECT_EQ(runner->session()->ExportCounter(), 6);
            }
            runner.reset();
        });
    }
}

// The dialog going away mid-export (program exit): the worker finishes its frame, and nothing
// reaches the dialog afterwards.
TEST(ExportRun, EndingTheRunnerMidExportLeavesNoLateNotices) {
    const std::filesystem::path dir = FreshTempDir("src");
    const std::vector<std::string> sources = MakeSources(dir, 2);
    const std::filesystem::path out = FreshTempDir("out");
    OwnerThread owner;
    FakeHost host;
    host.dir = out.string();
    std::unique_ptr<ExportRunner> runner;
    host.onFrameHandedOut = [&](int frame) {
        if (frame == 2) owner.Post([&] { runner.reset(); });
    };
    owner.Run([&] {
        runner = std::make_unique<ExportRunner>(host, host, owner.poster());
        runner->Start(BuildExportTable(50, Frames(2), sources, 0));
    });
    ASSERT_TRUE(owner.RunUntil([&] { return runner == nullptr; }));
    std::size_t events = 0;
    owner.Run([&] { events = host.events.size(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    owner.Run([&] {
        EXPECT_EQ(host.events.size(), events);
        EXPECT_TRUE(std::filesystem::exists(out / "0002.png"));
        EXPECT_FALSE(std::filesystem::exists(out / "0003.png"));
        EXPECT_TRUE(host.failures.empty());
        EXPECT_EQ(host.finishes, 0);
    });
}

}  // namespace
}  // namespace turnlet
