// SPDX-License-Identifier: MIT
// How soon a 6000 x 4000 photograph appears in the preview, against the time to decode it.
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "gui_test_support.h"
#include "picture_view.h"

using turnlet::testing::Editor;

namespace {

// Smooth shading with fine noise, so the file decodes like a photograph, not like a flat colour.
turnlet::Picture PhotoLike(int width, int height) {
    turnlet::Picture p(width, height);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = p.row(y);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>(seed >> 28) - 8;
            row[3 * x + 0] = static_cast<std::uint8_t>(std::clamp(x * 255 / width + noise, 0, 255));
            row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(y * 255 / height + noise, 0, 255));
            row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(128 + noise * 4, 0, 255));
        }
    }
    return p;
}

}  // namespace

class PreviewSpeedTest : public QObject {
    Q_OBJECT

  private slots:
    void aLargePhotographAppearsWithinDecodeTimeAndFiftyMilliseconds() {
        Editor e;
        const QString file = e.path("large.jpg");
        QVERIFY(turnlet::SavePicture(PhotoLike(6000, 4000), file.toStdString(), 90).ok());

        auto& f = e.form();
        e.add({file});
        QVERIFY(e.waitForPreview(file));

        // Decoding alone, as the worker does it (reused buffers), and the way from the request to the
        // picture painted on screen; taken in turns so both see the same load on a shared machine,
        // best of five. A busy machine gets up to three rounds before the figures count.
        turnlet::Picture target, scratch;
        qint64 decode = -1, preview = -1;
        for (int round = 0; round < 3; ++round) {
            decode = preview = -1;
            for (int run = 0; run < 5; ++run) {
                QElapsedTimer t;
                t.start();
                QVERIFY(turnlet::LoadPicture(file.toStdString(), target, scratch).ok());
                decode = decode < 0 ? t.elapsed() : std::min(decode, t.elapsed());

                f.TabSheet1->ShownSourcePath.clear();
                t.restart();
                f.TabSheet1->Showsource1Click();
                QVERIFY(e.waitFor([&] { return !f.TabSheet1->ShownSourcePath.empty(); }));
                f.TabSheet1->Image1->repaint();
                preview = preview < 0 ? t.elapsed() : std::min(preview, t.elapsed());
            }
            if (preview <= decode + 50) break;
        }
        QCOMPARE(f.TabSheet1->Image1->pictureWidth(), 6000);
        QVERIFY(f.TabSheet1->Image1->shownImage().width() <= f.TabSheet1->Image1->width());
        qInfo("6000x4000 JPEG: decode %lld ms, preview on screen %lld ms", decode, preview);
#ifndef TURNLET_SANITIZED
        QVERIFY2(preview <= decode + 50, qPrintable(QStringLiteral("%1 ms > %2 + 50 ms").arg(preview).arg(decode)));
#endif
    }
};

TURNLET_GUI_TEST_MAIN(PreviewSpeedTest)
#include "test_preview_speed.moc"
