// SPDX-License-Identifier: MIT
// The frames table as a read-only table model: the project's own text grid, shown without copying.
#pragma once

#include <QAbstractTableModel>

#include "tuning/text_grid.h"

namespace turnlet {

// Row 0 of the grid is the header; grid row r + 1 is model row r. Column 0, the frame number, is
// drawn like a header. Call refresh() after the grid changed; rows kept keep their selection.
class FramesTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit FramesTableModel(const TextGrid& grid, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void refresh();

  private:
    const TextGrid& grid_;
    int rows_ = 0;  // what the views were last told
};

}  // namespace turnlet
