// SPDX-License-Identifier: MIT
// What every window test needs: the application as the editor sets it up, the five windows with
// scripted dialogs in a private program folder, and sample pictures.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "application.h"
#include "dialogs.h"
#include "codecs/image_files.h"
#include "main_window.h"
#include "pages/firstlast_page.h"
#include "pages/source_page.h"
#include "pages/tune_page.h"

namespace turnlet::testing {

// Holds the preview worker at the start of each load until released, and records what it loads.
class PreviewGate {
  public:
    explicit PreviewGate(TForm2& form) {
        // Set while the worker is idle, before the first request it is to hold.
        form.TabSheet1->ShowSourceJob().setBeforeLoad([this](const std::string& path) {
            std::unique_lock lock(mutex_);
            loads_.push_back(path);
            changed_.notify_all();
            changed_.wait(lock, [this] { return open_; });
        });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Blocks until the worker has started its n-th load.
    void waitForLoads(std::size_t n) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return loads_.size() >= n; });
    }
    std::vector<std::string> loads() {
        std::lock_guard lock(mutex_);
        return loads_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    std::vector<std::string> loads_;
};

// One run of the editor, as start-up makes it, in a fresh program folder.
class Editor {
  public:
    // Now: the deferred start (reading the settings, applying the language) runs at once, so that
    // its timer cannot fire in the middle of a slow test and reset what the test has set.
    enum class Start { Now, Deferred };
    explicit Editor(Start start = Start::Now)
        : windows_(std::make_unique<TurnletWindows>(dialogs, dir_.path().toStdString())) {
        form().show();
        if (!QTest::qWaitForWindowExposed(&form())) qWarning("the main window was not shown");
        if (start == Start::Now) form().Timer1Timer();
    }
    ~Editor() { close(); }

    TForm2& form() { return windows_->Form2(); }
    TurnletWindows& windows() { return *windows_; }
    // Ends the run as the program's exit does (a held preview is let go first).
    void close() {
        if (gate_) gate_->open();
        windows_.reset();
    }
    // From now on every preview load waits until the gate is opened.
    PreviewGate& holdPreviews() {
        gate_ = std::make_unique<PreviewGate>(form());
        return *gate_;
    }

    QString path(const QString& name) const { return dir_.filePath(name); }
    // A picture file whose top-left quarter is red on a grey ground.
    QString picture(const QString& name, int width, int height) const {
        Picture p(width, height);
        p.fill(0x00808080);
        for (int y = 0; y < height / 2; ++y)
            for (int x = 0; x < width / 2; ++x) p.pixel(x, y)[2] = 255;
        const QString file = path(name);
        SavePicture(p, file.toStdString(), 90);
        return file;
    }
    // "Add images" with the dialog answering files.
    void add(const QStringList& files) {
        dialogs.openFilesAnswers.push_back(files);
        form().TabSheet1->Button9Click();
    }
    // Waits until the preview shows file and the preview worker is idle again.
    bool waitForPreview(const QString& file, int milliseconds = 20000) {
        const std::string wanted = file.toStdString();
        return waitFor(
            [&] { return form().TabSheet1->ShownSourcePath == wanted && !form().TabSheet1->ShowSourceWorker->busy(); },
            milliseconds);
    }
    static bool waitFor(const std::function<bool()>& done, int milliseconds = 20000) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > milliseconds) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QTest::qSleep(1);
        }
        return true;
    }

    ScriptedDialogs dialogs;

  private:
    QTemporaryDir dir_;
    std::unique_ptr<PreviewGate> gate_;  // outlives the windows: the worker may be inside it
    std::unique_ptr<TurnletWindows> windows_;
};

}  // namespace turnlet::testing

// A test main that sets the application up as the editor's main() does.
#define TURNLET_GUI_TEST_MAIN(TestClass)             \
    int main(int argc, char** argv) {                \
        turnlet::QuietBenignQtNotices();             \
        turnlet::TurnletApplication app(argc, argv); \
        turnlet::SetUpLook(app);                     \
        app.setAttribute(Qt::AA_Use96Dpi, true);     \
        TestClass test;                              \
        QTEST_SET_MAIN_SOURCE_PATH                   \
        return QTest::qExec(&test, argc, argv);      \
    }
