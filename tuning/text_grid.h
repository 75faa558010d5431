// SPDX-License-Identifier: MIT
// A grid of text cells: the form in which the frames, keyframes and export tables hold their values.
#pragma once

#include <string>
#include <vector>

namespace turnlet {

// Cells are addressed (row, column). Reading outside the grid gives the empty text, writing
// outside it does nothing: the tables' readers treat a missing row as empty cells.
class TextGrid {
  public:
    explicit TextGrid(int columns, int rows = 1) : columns_(columns) { setRowCount(rows); }

    int rowCount() const { return static_cast<int>(cells_.size()); }
    int columnCount() const { return columns_; }
    // Rows added are empty; rows removed are lost.
    void setRowCount(int rows) { cells_.resize(rows < 0 ? 0 : rows, std::vector<std::string>(columns_)); }

    const std::string& at(int row, int column) const {
        static const std::string kEmpty;
        if (row < 0 || row >= rowCount() || column < 0 || column >= columns_) return kEmpty;
        return cells_[row][column];
    }
    void set(int row, int column, std::string text) {
        if (row < 0 || row >= rowCount() || column < 0 || column >= columns_) return;
        cells_[row][column] = std::move(text);
    }
    const std::vector<std::string>& row(int r) const { return cells_.at(r); }

    friend bool operator==(const TextGrid&, const TextGrid&) = default;

  private:
    int columns_;
    std::vector<std::vector<std::string>> cells_;
};

}  // namespace turnlet
