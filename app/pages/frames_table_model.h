// SPDX-License-Identifier: MIT
// The frames table as a read-only table model over the session's frames.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <functional>
#include <optional>

#include "tuning/frames_table.h"

namespace turnlet {

// Model row k is frame k of the turn: its number, "Y" when a keyframe lands on it, its seven values
// as the frames table writes them, and last the confidence of the last Auto-align in per cent (empty
// before one), tinted where it is doubtful. Column 0, the frame number, is drawn like a header. Call
// refresh() after the frames changed; rows kept keep their selection.
class FramesTableModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    static constexpr int kConfidenceColumn = kFramesColumns;
    static constexpr int kColumns = kFramesColumns + 1;
    // Below these a frame's confidence is marked as doubtful (left unaligned below the first).
    static constexpr double kUnaligned = 0.5, kSure = 1.0;
    using Confidence = std::function<std::optional<double>(int frame)>;

    explicit FramesTableModel(const FrameRows& frames, QObject* parent = nullptr);
    void setConfidence(Confidence confidence) { confidence_ = std::move(confidence); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The column headers follow the interface language.
    void setHeader(int column, const QString& text, const QString& tip = {});
    QString header(int column) const { return headers_[static_cast<std::size_t>(column)]; }
    void refresh();

  private:
    const FrameRows& frames_;
    std::array<QString, kColumns> headers_;
    QString confidenceTip_;
    Confidence confidence_;
    int rows_ = 0;  // what the views were last told
};

}  // namespace turnlet
