#pragma once

#include "AuditOutcome.h"

#include <QAbstractTableModel>

#include <memory>

// The findings of an audit as a table, a row a finding, made as they are
// shown: a collection against a large DAT has hundreds of thousands of
// games missing, and a row object each would cost more than the audit.
// Shows every kind, or one.
class FindingsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Status, Game, File, Layout, Detail, Columns };

    explicit FindingsModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void SetOutcome(std::shared_ptr<const AuditOutcome> outcome);
    // One kind only, or all (-1).
    void ShowOnly(int kind);
    // The texts are taken again, in the language now in use.
    void Retranslate();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // The kind of a row, and which of that kind it is.
    std::pair<FindingKind, int> At(int row) const;
    QString Text(FindingKind kind, int at, int column) const;
    QString GameName(int game) const;

    std::shared_ptr<const AuditOutcome> outcome_;
    std::array<int, FindingKinds> counts_{};
    int only_ = -1;
};
