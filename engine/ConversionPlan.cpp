#include "ConversionPlan.h"

#include "FileFunctions.h"

QString ConversionPlan::DestinationName(const QString& sourceName, RomLayout target,
                                        bool fullStem) {
    QString stem = sourceName;
    if (fullStem) {
        if (const qsizetype dot = stem.lastIndexOf(QLatin1Char('.')); dot > 0)
            stem.truncate(dot);
    } else {
        stem = FileFunctions::GetBaseName(stem);
    }
    return stem + LayoutExtension(target);
}

void ConversionPlan::AddSource(const QString& path) {
    if (const SafeFile::FileId id = SafeFile::IdentityOf(path); id.IsValid())
        sources_.emplace(id, path);
}

QString ConversionPlan::Refusal(const QString& destination, const QString& source,
                                bool fromArchive) const {
    const SafeFile::FileId id = SafeFile::IdentityOf(destination);
    if (!id.IsValid())
        return QString();
    const auto other = sources_.find(id);
    // A file converted in place is its own destination; an archive's entry
    // never replaces the archive.
    if (other == sources_.end() || (!fromArchive && SafeFile::IdentityOf(source) == id))
        return QString();
    return SafeFile::Printable(destination) + QStringLiteral(" is ") +
           (other->second == destination ? QStringLiteral("another source of this run")
                                         : QStringLiteral("the source %1 of this run")
                                               .arg(SafeFile::Printable(other->second)));
}

void ConversionPlan::Claim(const QString& destination, const QString& given) {
    claimed_.insert(destination, given);
}

QString ConversionPlan::Claimant(const QString& destination) const {
    return claimed_.value(destination);
}

void ConversionPlan::Written(const QString& destination, const SafeFile::FileId& file,
                             const QString& given) {
    written_[file] = given;
    byName_.insert(destination.toCaseFolded(), {SafeFile::Look(destination), given});
}

// The same file by identity; or, where a drive that ignores case numbers the
// names of one file apart (FUSE), a file whose name differs only in case and
// that still has the size and time it was written with.
QString ConversionPlan::EarlierWrite(const QString& destination) const {
    const SafeFile::Entry now = SafeFile::Look(destination);
    if (!now.id.IsValid())
        return QString();
    if (const auto earlier = written_.find(now.id); earlier != written_.end())
        return earlier->second;
    const auto folded = byName_.constFind(destination.toCaseFolded());
    if (folded != byName_.constEnd() && folded->entry.size == now.size &&
        folded->entry.modified == now.modified)
        return folded->given;
    return QString();
}
