// SPDX-License-Identifier: MIT
// What became of one product of a batch: the report's row, and the record a finished product keeps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace turnlet {

enum class ProductState {
    Done,     // exported in this run
    Skipped,  // finished by an earlier run with the same photos, template and options
    Failed,
    Stopped,  // the batch was stopped before the product was finished (or started)
};

// "done", "skipped", "failed", "stopped": the report's words, the same in every language.
const char* ProductStateWord(ProductState state);

// Why a product failed; the words are the caller's (details fill the text's places in order).
enum class BatchFailure {
    None,
    Error,           // {1} a file's or the folder's problem, in the words of the part that met it
    NoPhotos,        // {1} the folder
    TooFewPhotos,    // {1} photos found, {2} skipped at the start, {3} left off at the end, {4} the least
    NoFullTurn,      // --find-last found no full turn
    CropDoesNotFit,  // {1} x {2} crop at {3}, {4}; {5} x {6} photos
    SameName,        // {1} the other folder of the batch with the same name
    BlankFrames,     // {1} frames, {2} the first one's source
};

struct ProductResult {
    std::string folder;  // as given
    std::string name;    // its folder under the output root
    ProductState state = ProductState::Stopped;
    int photos = 0;
    int framesWritten = 0;
    int firstFrame = -1, lastFrame = -1;    // source indexes of the turn's ends; -1 when not known
    std::optional<double> alignConfidence;  // the mean of the frames' confidences, with --align
    int unalignedFrames = 0;
    std::optional<double> turnConfidence;  // the answer's confidence, with --find-last
    double seconds = 0;
    BatchFailure failure = BatchFailure::None;
    std::vector<std::string> details;
    std::string message;  // why it failed, worded
    friend bool operator==(const ProductResult&, const ProductResult&) = default;
};

// The record's file name in a finished product's folder.
inline constexpr const char* kRecordFileName = "turnlet-batch.record";

// The record's text: KEY=VALUE lines ending in CR LF, with the fingerprint of what was exported
// and an OUTPUT line for each file the product was made of (none when a name cannot stand on a line).
std::string WriteRecordText(const ProductResult& result, std::uint64_t fingerprint,
                            const std::vector<std::string>& outputs);

// Reads a record; false when it is not one (damaged, cut short, another program's file). outputs
// is empty for a record written before they were kept.
bool ReadRecordText(std::string_view text, ProductResult& result, std::uint64_t& fingerprint,
                    std::vector<std::string>& outputs);

// The files under a finished product's folder but its record, as names relative to it ("half/0001.jpg"),
// sorted; empty when the folder cannot be read.
std::vector<std::string> ProductFiles(const std::string& folder);

// Whether every one of outputs is still under folder. A rerun redoes a product whose files were
// deleted by hand, but keeps one whose project was saved again or whose frames were exported
// again by hand, and the files added beside them.
bool ProductFilesPresent(const std::string& folder, const std::vector<std::string>& outputs);

// Hashes what a product's output depends on, so that a rerun redoes a product whose photos,
// template or options changed: the template's text, the options' words, and each photo's
// name, size and modification time.
class Fingerprint {
  public:
    void add(std::string_view bytes);
    // A photo's name, size and time; false when it cannot be looked at.
    bool addFile(const std::string& path);
    std::uint64_t value() const { return hash_; }

  private:
    std::uint64_t hash_ = 14695981039346656037ull;
};

}  // namespace turnlet
