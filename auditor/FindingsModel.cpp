#include "FindingsModel.h"

#include <QDir>

void FindingsModel::SetOutcome(std::shared_ptr<const AuditOutcome> outcome) {
    beginResetModel();
    outcome_ = std::move(outcome);
    counts_ = outcome_ ? Counts(outcome_->result) : std::array<int, FindingKinds>{};
    endResetModel();
}

void FindingsModel::ShowOnly(int kind) {
    beginResetModel();
    only_ = kind;
    endResetModel();
}

void FindingsModel::Retranslate() {
    beginResetModel();
    endResetModel();
}

int FindingsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    if (only_ >= 0)
        return counts_[std::size_t(only_)];
    int rows = 0;
    for (const int count : counts_)
        rows += count;
    return rows;
}

int FindingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

std::pair<FindingKind, int> FindingsModel::At(int row) const {
    if (only_ >= 0)
        return {FindingKind(only_), row};
    int kind = 0;
    while (kind + 1 < FindingKinds && row >= counts_[std::size_t(kind)])
        row -= counts_[std::size_t(kind++)];
    return {FindingKind(kind), row};
}

QVariant FindingsModel::data(const QModelIndex& index, int role) const {
    if (!outcome_ || !index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const auto [kind, at] = At(index.row());
    return Text(kind, at, index.column());
}

QVariant FindingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    const QString names[Columns] = {tr("Status"), tr("Game"), tr("File"), tr("Layout"),
                                    tr("Match or reason")};
    return section >= 0 && section < Columns ? names[section] : QVariant();
}

QString FindingsModel::GameName(int game) const {
    const QString name = outcome_->index->GameName(game);
    return name.isEmpty() ? tr("(a game with no name)") : name;
}

// A finding's text in a column, in the words of the command line's report.
QString FindingsModel::Text(FindingKind kind, int at, int column) const {
    const DatFile::Index& index = *outcome_->index;
    const Audit::Result& r = outcome_->result;
    const auto i = std::size_t(at);
    if (column == Status) {
        const QString names[FindingKinds] = {tr("have"),      tr("incomplete"),   tr("missing"),
                                             tr("bad dump"),  tr("never dumped"), tr("unknown"),
                                             tr("duplicate"), tr("unreadable")};
        return names[int(kind)];
    }
    switch (kind) {
    case FindingKind::Have: {
        const Audit::Have& have = r.have[i];
        const QString texts[] = {QString(), GameName(index.RomAt(have.rom).gameIndex),
                                 QDir::toNativeSeparators(have.file), LayoutName(have.layout),
                                 have.form == DatFile::Form::Raw ? tr("file as it is")
                                                                 : tr("plain content")};
        return texts[column];
    }
    case FindingKind::Incomplete: {
        if (column == Game)
            return GameName(r.incomplete[i].game);
        if (column != Detail)
            return QString();
        QStringList lacks;
        for (const int rom : r.incomplete[i].roms)
            lacks << index.RomAt(rom).name;
        return tr("lacks %1").arg(lacks.join(QStringLiteral(", ")));
    }
    case FindingKind::Missing:
        return column == Game ? GameName(r.missing[i]) : QString();
    case FindingKind::NeverDumped:
        return column == Game ? GameName(r.undumped[i]) : QString();
    case FindingKind::BadDump:
        return column == Game     ? GameName(r.bad[i].game)
               : column == File   ? QDir::toNativeSeparators(r.bad[i].file)
               : column == Detail ? r.bad[i].why
                                  : QString();
    case FindingKind::Unknown:
        return column == File ? QDir::toNativeSeparators(r.unknown.at(at)) : QString();
    case FindingKind::Duplicate: {
        if (column == Game)
            return GameName(index.RomAt(r.duplicates[i].rom).gameIndex);
        if (column != File)
            return QString();
        QStringList files;
        for (const QString& file : r.duplicates[i].files)
            files << QDir::toNativeSeparators(file);
        return files.join(QStringLiteral(", "));
    }
    case FindingKind::Unreadable:
        return column == File     ? QDir::toNativeSeparators(r.unreadable[i].file)
               : column == Detail ? r.unreadable[i].why.Text()
                                  : QString();
    }
    return QString();
}
