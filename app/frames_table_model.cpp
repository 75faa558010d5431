// SPDX-License-Identifier: MIT
// The frames table as a read-only table model.
#include "frames_table_model.h"

#include <QApplication>
#include <QPalette>

namespace turnlet {

FramesTableModel::FramesTableModel(const TextGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid), rows_(std::max(grid.rowCount() - 1, 0)) {}

int FramesTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int FramesTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.columnCount();
}

QVariant FramesTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(grid_.at(index.row() + 1, index.column()));
    if (role == Qt::BackgroundRole && index.column() == 0) return QApplication::palette().button();
    return {};
}

QVariant FramesTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return QString::fromStdString(grid_.at(0, section));
    return QAbstractTableModel::headerData(section, orientation, role);
}

void FramesTableModel::refresh() {
    const int rows = std::max(grid_.rowCount() - 1, 0);
    if (rows > rows_) {
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    } else if (rows < rows_) {
        beginRemoveRows(QModelIndex(), rows, rows_ - 1);
        rows_ = rows;
        endRemoveRows();
    }
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

}  // namespace turnlet
