// SPDX-License-Identifier: MIT
// The export: table of output frames, the per-frame hand-over, and the ExportPicture worker.
#include "export/export_engine.h"

#include <cinttypes>
#include <cstdio>
#include <future>
#include <limits>
#include <list>
#include <utility>

#include "imaging/image_files.h"
#include "base/number_text.h"

namespace turnlet {

namespace {

std::int32_t Negated(std::int32_t value) {
    // -INT32_MIN does not fit; a shift that large is off any picture anyway.
    return value == std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::max() : -value;
}

std::string FrameFileName(std::int32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%04" PRId32, number);
    return text;
}

}  // namespace

int ExportSourceFrame(int k, int n, int m) {
    if (n <= 1) return 0;
    // 64-bit product: identical to 32-bit arithmetic wherever that does not overflow.
    return static_cast<int>(static_cast<std::int64_t>(k) * (m - 1) / (n - 1));
}

TextGrid BuildExportTable(int n, const TextGrid& frames, const std::vector<std::string>& sources, int firstFrame) {
    TextGrid table(kExportColumns, n + 1 > 0 ? n + 1 : 0);
    const int m = frames.rowCount() - 1;
    for (int k = 0; k < n; ++k) {
        const int s = ExportSourceFrame(k, n, m);
        const long long index = static_cast<long long>(firstFrame) + s;
        if (index >= 0 && index < static_cast<long long>(sources.size()))
            table.set(k + 1, kExportSource, sources[index]);
        for (int c = kExportDX; c <= kExportGamma; ++c) table.set(k + 1, c, frames.at(s + 1, c + 1));
    }
    return table;
}

std::string ExportExtension(int typeIndex) {
    switch (typeIndex) {
        case 1:
            return ".png";
        case 2:
            return ".bmp";
        default:
            return ".jpg";
    }
}

void ExportSession::Begin(TextGrid table) {
    table_ = std::move(table);
    host_.setProgress(0);
    counter_ = 0;
}

void ExportSession::Stop() {
    counter_ = kStopped;
    host_.setProgress(0);
}

void ExportSession::HandOver(const Picture& output, ExportParams& params) {
    const std::int32_t c = counter_;
    const int r = c + 1;

    // Crop, output size and quality are read afresh for every frame, so edits apply to the rest.
    bool allCrop = true;
    for (int i = 0; i < 4; ++i) allCrop = allCrop && !host_.cropText(i).empty();
    if (allCrop) {
        params.CropLeft = IntegerOr(host_.cropText(0), 0);
        params.CropTop = IntegerOr(host_.cropText(1), 0);
        params.CropWidth = IntegerOr(host_.cropText(2), 100);
        params.CropHeight = IntegerOr(host_.cropText(3), 100);
    } else {
        params.CropLeft = 0;
        params.CropTop = 0;
        params.CropWidth = host_.previewWidth();
        params.CropHeight = host_.previewHeight();
    }
    params.Angle = -ParseLeadingReal(table_.at(r, kExportAngle));
    params.Scale = -ParseLeadingReal(table_.at(r, kExportScale));
    params.Brightness = ParseLeadingReal(table_.at(r, kExportBrightness));
    params.Contrast = ParseLeadingReal(table_.at(r, kExportContrast));
    params.Gamma = ParseLeadingReal(table_.at(r, kExportGamma));
    params.OutputWidth = IntegerOr(host_.outputWidthText(), 200);
    params.OutputHeight = IntegerOr(host_.outputHeightText(), 200);
    params.JpegQuality = host_.jpegQuality();
    params.RotationDegrees = host_.rotationDegrees();
    params.BackgroundColor = host_.backgroundColor();

    if (c < table_.rowCount() - 1) {
        params.SourcePath = table_.at(r, kExportSource);
        params.ShiftX = Negated(CellAsInteger(table_.at(r, kExportDX)));
        params.ShiftY = Negated(CellAsInteger(table_.at(r, kExportDY)));
        params.OutputPath = host_.directory() + "/" + FrameFileName(c + 1) + ExportExtension(host_.typeIndex());
        params.FrameIndex = c;
        counter_ = c + 1;
        host_.setProgress(c + 1);
        host_.showPreview(output);
        return;
    }
    if (table_.rowCount() == c + 1) {
        counter_ = c + 1;
        const std::string language = host_.languageCode();
        if (language == "en") host_.showFinished("Export finished!");
        if (language == "ru") host_.showFinished("Экпорт закончен!");
        host_.setProgress(0);
        host_.clearPreview();
    }
    params.SourcePath.clear();
    params.FrameIndex = -1;
}

// Decoded sources for the pipelined export: at most two held (or being decoded) at once, the one
// in hand and the next distinct one, which decodes on the other core meanwhile. A released
// source's buffer is handed to the next decode, so no frame faults in fresh pages.
class ExportPicture::Sources {
  public:
    struct Loaded {
        Status status;
        Picture picture;
    };

    ~Sources() {
        for (Entry& e : entries_) Settle(e);
    }

    // Valid until the next call.
    const Loaded& Acquire(const std::string& path, const std::string& next) {
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->path == path || it->path == next) {
                ++it;
                continue;
            }
            spare_ = std::move(Settle(*it).picture);
            it = entries_.erase(it);
        }
        Entry* current = Find(path);
        if (!current) current = &Start(path);
        if (!next.empty() && next != path && !Find(next)) Start(next);
        return Settle(*current);
    }

  private:
    struct Entry {
        std::string path;
        std::future<Loaded> pending;
        Loaded loaded;
    };

    static Loaded& Settle(Entry& e) {
        if (e.pending.valid()) e.loaded = e.pending.get();
        return e.loaded;
    }

    Entry* Find(const std::string& path) {
        for (Entry& e : entries_) {
            if (e.path == path) return &e;
        }
        return nullptr;
    }

    Entry& Start(const std::string& path) {
        Entry& e = entries_.emplace_back();
        e.path = path;
        e.pending = std::async(std::launch::async, [path, scratch = std::move(spare_)]() mutable {
            Loaded loaded;
            loaded.status = LoadPicture(path, loaded.picture, scratch);
            return loaded;
        });
        spare_ = Picture();
        return e;
    }

    // std::list: entries keep their address while others come and go.
    std::list<Entry> entries_;
    Picture spare_;
};

ExportPicture::ExportPicture(ExportSession& session, PostToOwner post, ExportOptions options)
    : session_(session),
      options_(options),
      worker_(
          [this](Worker& w) {
              Execute(w);
              return Status::Ok();
          },
          std::move(post)) {
    const TextGrid& table = session.table();
    for (int r = 1; r < table.rowCount(); ++r) lookahead_.push_back(table.at(r, kExportSource));
}

ExportPicture::~ExportPicture() {
    worker_.stop();
    worker_.waitIdle();
}

void ExportPicture::Execute(Worker& worker) {
    failed_ = false;
    Sources sources;
    Picture output;
    ExportParams params;
    auto fail = [&](const Status& status) {
        failed_ = true;
        worker.handOver([&] { session_.host().showFailure(status); });
    };
    for (;;) {
        worker.handOver([&] { session_.HandOver(output, params); });
        if (params.SourcePath.empty()) break;

        Status status = CheckFrameSizes(params);
        if (!status.ok()) {
            fail(status);
            break;
        }

        Picture loadedNow;
        const Picture* decoded = &loadedNow;
        if (options_.pipelined) {
            std::string next;
            for (std::size_t k = static_cast<std::size_t>(params.FrameIndex) + 1; k < lookahead_.size(); ++k) {
                if (lookahead_[k] != params.SourcePath) {
                    next = lookahead_[k];
                    break;
                }
            }
            const Sources::Loaded& loaded = sources.Acquire(params.SourcePath, next);
            status = loaded.status;
            if (status.ok()) decoded = &loaded.picture;
        } else {
            status = LoadPicture(params.SourcePath, loadedNow);
        }
        if (status.code() == Status::Code::WrongFileType) {
            // The frame goes out in the background colour and the export goes on.
            const std::string path = params.SourcePath;
            worker.handOver([&] { session_.host().showWrongFileType(path); });
            loadedNow.clear();
            decoded = &loadedNow;
        } else if (!status.ok()) {
            fail(status);
            break;
        }

        output = options_.pipelined ? RenderFrameFused(*decoded, params) : RenderFrameStepByStep(*decoded, params);
        status = SavePicture(output, params.OutputPath, params.JpegQuality);
        if (!status.ok()) {
            fail(status);
            break;
        }
    }
}

}  // namespace turnlet
