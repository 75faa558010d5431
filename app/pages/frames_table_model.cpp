// SPDX-License-Identifier: MIT
// The frames table as a read-only table model.
#include "pages/frames_table_model.h"

#include <QApplication>
#include <QColor>
#include <QPalette>

#include <algorithm>
#include <cmath>

#include "base/number_text.h"

namespace turnlet {

FramesTableModel::FramesTableModel(const FrameRows& frames, QObject* parent)
    : QAbstractTableModel(parent), frames_(frames), rows_(static_cast<int>(frames.size())) {
    for (int c = 0; c < kFramesColumns; ++c)
        headers_[static_cast<std::size_t>(c)] = QString::fromUtf8(kFramesHeader[c]);
}

int FramesTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int FramesTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant FramesTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(frames_.size())) return {};
    if (index.column() == kConfidenceColumn) {
        const std::optional<double> confidence = confidence_ ? confidence_(index.row()) : std::nullopt;
        if (!confidence) return {};
        if (role == Qt::DisplayRole) return QStringLiteral("%1 %").arg(std::lround(*confidence * 100));
        if (role == Qt::BackgroundRole && *confidence < kSure)
            return QColor(*confidence < kUnaligned ? QColor(255, 190, 190) : QColor(255, 236, 179));
        if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    if (role == Qt::DisplayRole) {
        const FrameRow& row = frames_[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
            case 0:
                return QString::number(index.row());
            case 1:
                return row.key ? QStringLiteral("Y") : QString();
            default:
                return QString::fromStdString(FormatG(row.values[static_cast<std::size_t>(index.column() - 2)]));
        }
    }
    if (role == Qt::BackgroundRole && index.column() == 0) return QApplication::palette().button();
    return {};
}

QVariant FramesTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return headers_[static_cast<std::size_t>(section)];
    if (orientation == Qt::Horizontal && role == Qt::ToolTipRole && section == kConfidenceColumn) return confidenceTip_;
    return QAbstractTableModel::headerData(section, orientation, role);
}

void FramesTableModel::setHeader(int column, const QString& text, const QString& tip) {
    if (column < 0 || column >= kColumns) return;
    headers_[static_cast<std::size_t>(column)] = text;
    if (column == kConfidenceColumn) confidenceTip_ = tip;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void FramesTableModel::refresh() {
    const int rows = static_cast<int>(frames_.size());
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
}

}  // namespace turnlet
