#include "ConversionPlan.h"

#include "PathSeparator.h"

#include "FileFunctions.h"
#include "SafeFile.h"

QString ConversionPlan::DestinationName(const QString& sourceName, RomLayout target,
                                        bool fullStem) {
    return (fullStem ? FileFunctions::GetFullStem(sourceName)
                     : FileFunctions::GetBaseName(sourceName)) +
           LayoutExtension(target);
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
    claimed_.insert(Key(destination), given);
}

QString ConversionPlan::Claimant(const QString& destination) const {
    return claimed_.value(Key(destination));
}

void ConversionPlan::Unclaim(const QString& destination) {
    claimed_.remove(Key(destination));
}

void ConversionPlan::Written(const QString& destination, const SafeFile::FileId& file,
                             const QString& given) {
    written_[file] = {destination, given};
    byName_.insert(destination.toCaseFolded(), {SafeFile::Look(destination), given});
}

// The same file by identity; or, in a folder that takes two spellings of a
// name for one file (a FUSE drive numbers them apart, and its attribute cache
// may show either's size and time), a name that differs only in case.
QString ConversionPlan::EarlierWrite(const QString& destination) const {
    const SafeFile::Entry now = SafeFile::Look(destination);
    if (!now.id.IsValid())
        return QString();
    // A file of this run is still where the run put it; a file whose number
    // was freed and given to another is not.
    if (const auto earlier = written_.find(now.id);
        earlier != written_.end() && SafeFile::Look(earlier->second.destination).id == now.id)
        return earlier->second.given;
    const auto folded = byName_.constFind(destination.toCaseFolded());
    if (folded == byName_.constEnd())
        return QString();
    const qsizetype slash = LastSeparator(destination);
    const QString folder = slash < 0 ? QStringLiteral(".") : destination.left(slash + 1);
    return foldCase_ || IgnoresCase(folder) ? folded->given : QString();
}

// Asked once for each folder, by its identity.
bool ConversionPlan::IgnoresCase(const QString& folder) const {
    const SafeFile::FileId id = SafeFile::IdentityOf(folder);
    if (!id.IsValid())
        return false;
    if (const auto known = ignoresCase_.find(id); known != ignoresCase_.end())
        return known->second;
    const bool ignores = SafeFile::IgnoresCase(folder);
    ignoresCase_.emplace(id, ignores);
    return ignores;
}
