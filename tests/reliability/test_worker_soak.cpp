// SPDX-License-Identifier: MIT
// Thousands of random requests at the three view workers (preview, first/last, tuned view), with
// the editor's busy rules played by an owner thread: whole and damaged files, new view sizes, a new
// project now and then, a decoder slowed at random, and the workers ended at random moments. No
// request may be lost beyond the busy rules, the latest state is always served in the end, a
// result of an earlier project never reaches the screen, and ending never hangs. Built for the
// thread checker too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "damaged_corpus.h"
#include "firstlast/show_first_last.h"
#include "codecs/image_files.h"
#include "owner_thread.h"
#include "source/show_source.h"
#include "temp_folder.h"
#include "tuning/tune_picture.h"

namespace turnlet {
namespace {

using testing::OwnerThread;

// Sleeps up to maxMicroseconds, differently on every call and thread: the slow decoder.
void RandomDelay(int maxMicroseconds) {
    thread_local std::minstd_rand random(
        static_cast<unsigned>(std::hash<std::thread::id>{}(std::this_thread::get_id())));
    std::this_thread::sleep_for(std::chrono::microseconds(random() % static_cast<unsigned>(maxMicroseconds + 1)));
}

// Owner-thread state of one view. version counts the changes the user made to what this view is
// to show; a render carries the version it was asked for.
struct ViewState {
    std::uint64_t latest = 0;        // what the view should show now
    std::uint64_t served = 0;        // the last request the worker finished (shown or failed)
    std::uint64_t shown = 0;         // the last result put on screen
    std::uint64_t projectStart = 0;  // first version of the present project
    bool pending = false;            // asked while the worker was busy
    int asked = 0, woken = 0, finished = 0, failures = 0, staleResults = 0, outOfOrder = 0;
    int droppedOfClosedProject = 0;
};

// One view: a real job on a real worker, asked by the owner thread under the editor's rule: an
// idle worker takes the request, a busy one leaves it pending for its idle notice or the retry
// tick, which ask again with the state of that moment.
template <class Request, class Job>
class View {
  public:
    using MakeRequest = std::function<Request(std::uint64_t version)>;

    View(OwnerThread& owner, MakeRequest make, std::function<void(Job&)> slowDown)
        : owner_(owner), make_(std::move(make)) {
        job_ = std::make_unique<Job>([this](const auto& result) { Shown(result.request.generation); });
        slowDown(*job_);
        worker_ = std::make_unique<RequestWorker<Request>>(
            [this](const Request& r, Worker& w) {
                const Status status = (*job_)(r, w);
                lastRun_.store(r.generation);
                return status;
            },
            owner.poster(),
            [this](const Status& status) {
                const std::uint64_t version = lastRun_.load();
                owner_.Post([this, version, failed = !status.ok()] { Idle(version, failed); });
            });
    }

    // Owner thread: the user changed what the view shows.
    void Change(bool newProject) {
        ++state.latest;
        if (newProject) state.projectStart = state.latest;
        Ask();
    }
    // Owner thread: the retry tick.
    void Tick() {
        if (state.pending) Ask();
    }
    // Owner thread: the program ends (stop first, so no hand-over is left waiting on this thread).
    void End() {
        ended_ = true;
        worker_->stop();
        worker_.reset();
    }
    bool busy() const { return worker_ && worker_->busy(); }

    ViewState state;

  private:
    void Ask() {
        ++state.asked;
        if (!worker_ || worker_->busy() || !worker_->tryWake(make_(state.latest))) {
            state.pending = true;
            return;
        }
        ++state.woken;
        state.pending = false;
    }
    void Shown(std::uint64_t version) {
        if (ended_) ++state.staleResults;  // after the end: must never happen
        // A result of a closed project is dropped, as the editor drops it by its generation.
        if (version < state.projectStart) {
            ++state.droppedOfClosedProject;
            return;
        }
        if (version < state.shown) ++state.outOfOrder;
        state.shown = version;
    }
    void Idle(std::uint64_t version, bool failed) {
        if (ended_) return;
        ++state.finished;
        state.failures += failed;
        state.served = version;
        if (state.pending) Ask();
    }

    OwnerThread& owner_;
    MakeRequest make_;
    std::unique_ptr<Job> job_;
    std::atomic<std::uint64_t> lastRun_{0};
    bool ended_ = false;
    // Last: destroyed first, while the job it runs still exists.
    std::unique_ptr<RequestWorker<Request>> worker_;
};

TEST(WorkerSoak, RandomRequestsAlwaysEndOnTheLatestState) {
    testing::TempFolder folder;
    ASSERT_TRUE(folder.ok());
    std::vector<std::string> files;
    for (int i = 0; i < 4; ++i) {
        Picture picture(40 + 30 * i, 30 + 20 * i);
        picture.fill(0x00102030u * static_cast<unsigned>(i + 1));
        files.push_back(folder.file("whole" + std::to_string(i) + (i % 2 ? ".png" : ".jpg")));
        ASSERT_TRUE(SavePicture(picture, files.back(), 90).ok());
    }
    for (const auto& file : damaged::MakeDamagedCorpus(folder.file("damaged"))) files.push_back(file.path);
    files.push_back(folder.file("missing.jpg"));
    files.push_back(folder.file("wrong.tif"));

    std::mt19937 random(20261207);
    // Half the requests name a whole file, the rest any file: damaged, missing or of a wrong type.
    auto pick = [&files](std::uint64_t version) {
        const std::size_t spread = version * 2654435761u;
        return files[version % 2 ? spread % 4 : spread % files.size()];
    };
    auto size = [](std::uint64_t version, int base) { return base + static_cast<int>(version % 7) * 37; };

    constexpr int kRounds = 40;
    constexpr int kOperationsPerRound = 250;
    int totalAsked = 0, totalServed = 0, totalFailures = 0, totalDropped = 0, abrupt = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < kRounds; ++round) {
        OwnerThread owner;
        using Preview = View<ShowSourceRequest, ShowSource>;
        using Comparison = View<FirstLastRequest, ShowFirstLast>;
        using Tuned = View<TuneRequest, TunePicture>;
        std::unique_ptr<Preview> preview;
        std::unique_ptr<Comparison> comparison;
        std::unique_ptr<Tuned> tuned;
        owner.Run([&] {
            preview = std::make_unique<Preview>(
                owner,
                [&](std::uint64_t v) {
                    return ShowSourceRequest{pick(v), static_cast<int>(v % 4) * 90, size(v, 100), size(v, 80), v};
                },
                [](ShowSource& job) { job.setBeforeLoad([](const std::string&) { RandomDelay(2000); }); });
            comparison = std::make_unique<Comparison>(
                owner,
                [&](std::uint64_t v) {
                    FirstLastRequest r;
                    if (v % 3 != 1) r.FirstFramePath = pick(v);
                    if (v % 3 != 2) r.LastFramePath = pick(v + 1);
                    r.rotationDegrees = static_cast<int>(v % 4) * 90;
                    r.area = v % 5 ? CompareArea{2, 3, 25, 20} : CompareArea{-1, -1, -1, -1};
                    r.viewWidth = r.displayMaxWidth = size(v, 60);
                    r.viewHeight = r.displayMaxHeight = size(v, 50);
                    r.generation = v;
                    return r;
                },
                [](ShowFirstLast& job) { job.setBeforeLoad([](const std::string&) { RandomDelay(2000); }); });
            tuned = std::make_unique<Tuned>(
                owner,
                [&](std::uint64_t v) {
                    TuneRequest r;
                    r.TuneFramePath = pick(v);
                    if (v % 2) r.TuneInterlacePath = pick(v + 3);
                    r.rotationDegrees = static_cast<int>(v % 4) * 90;
                    r.MainTuneParams = {1, 2, 30, 20, static_cast<int>(v % 5), -2, 0x00FFFFFF, 3.5, 10, 5, 0, 0};
                    r.InterlaceTuneParams = r.MainTuneParams;
                    r.viewWidth = size(v, 70);
                    r.viewHeight = size(v, 40);
                    r.generation = v;
                    return r;
                },
                [](TunePicture& job) { job.setBeforeRender([](const TuneRequest&) { RandomDelay(2000); }); });
        });
        // The retry timer of the editor, much faster.
        std::atomic<bool> ticking{true};
        std::thread ticker([&] {
            while (ticking) {
                owner.Post([&] {
                    if (!preview) return;
                    preview->Tick();
                    comparison->Tick();
                    tuned->Tick();
                });
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        // Every other round the program is ended in the middle of its work.
        const bool endAbruptly = round % 2 == 1;
        const int operations = endAbruptly ? static_cast<int>(random() % kOperationsPerRound) : kOperationsPerRound;
        for (int i = 0; i < operations; ++i) {
            const unsigned what = random() % 100;
            owner.Post([&, what] {
                if (what < 2) {  // New or Open: every view starts a new project
                    preview->Change(true);
                    comparison->Change(true);
                    tuned->Change(true);
                } else if (what < 40) {
                    preview->Change(false);
                } else if (what < 70) {
                    comparison->Change(false);
                } else {
                    tuned->Change(false);
                }
            });
            if (random() % 2 == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
        }
        if (!endAbruptly) {
            // Settle: the workers idle and nothing pending.
            bool settled = false;
            for (int i = 0; i < 20000 && !settled; ++i) {
                owner.Run([&] {
                    settled = !preview->busy() && !comparison->busy() && !tuned->busy() && !preview->state.pending &&
                              !comparison->state.pending && !tuned->state.pending &&
                              preview->state.served == preview->state.latest &&
                              comparison->state.served == comparison->state.latest &&
                              tuned->state.served == tuned->state.latest;
                });
                if (!settled) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            EXPECT_TRUE(settled) << "round " << round << " never served its latest state";
        } else {
            ++abrupt;
        }
        const auto endStart = std::chrono::steady_clock::now();
        owner.Run([&] {
            for (ViewState* s : {&preview->state, &comparison->state, &tuned->state}) {
                EXPECT_EQ(s->staleResults, 0) << "round " << round;
                EXPECT_EQ(s->outOfOrder, 0) << "round " << round;
                // Bursts collapse, but every run the worker took was finished and reported.
                EXPECT_LE(s->woken, s->asked);
                EXPECT_LE(s->finished, s->woken);
                if (!endAbruptly) {
                    EXPECT_EQ(s->woken, s->finished);
                }
                totalAsked += s->asked;
                totalServed += s->finished;
                totalFailures += s->failures;
                totalDropped += s->droppedOfClosedProject;
            }
            preview->End();
            comparison->End();
            tuned->End();
        });
        ticking = false;
        ticker.join();
        // Late notices posted by the workers before they ended run harmlessly now.
        owner.Run([&] {
            preview.reset();
            comparison.reset();
            tuned.reset();
        });
        const std::chrono::duration<double> ending = std::chrono::steady_clock::now() - endStart;
        EXPECT_LT(ending.count(), 5.0) << "ending took too long in round " << round;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf(
        "[  MEASURE ] %d rounds (%d ended abruptly): %d requests asked, %d served (%d failed), %d results of a "
        "closed project dropped, %.1f s\n",
        kRounds, abrupt, totalAsked, totalServed, totalFailures, totalDropped, elapsed.count());
    EXPECT_GT(totalAsked, 4000);
    EXPECT_GT(totalFailures, 0);
}

}  // namespace
}  // namespace turnlet
