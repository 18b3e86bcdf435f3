#pragma once

#include "RomLayout.h"
#include "SafeFile.h"

#include <QHash>
#include <QString>

#include <map>

// What one run of conversions may write. Every source is known before
// anything is written; a destination is refused when it is another source
// of the run (it would be destroyed before it is read) or a file the run
// has already written (two sources landing on one file, on a drive that
// ignores case too). Sources and destinations are told apart by the file
// they lead to, not by name alone.
class ConversionPlan {
public:
    // The name of a source's output: its name before the first dot (before
    // the last with fullStem), plus the target layout's extension.
    static QString DestinationName(const QString& sourceName, RomLayout target,
                                   bool fullStem = false);

    // Names are told apart whatever their case, on every drive (an export
    // for a device whose card ignores it).
    void FoldCase() { foldCase_ = true; }

    // A source of the run, before anything is written.
    void AddSource(const QString& path);

    // Why a destination may not be written for a source, or nothing. The
    // source is a file of the run (converted in place when it is its own
    // destination), or an archive whose entry it is (never replaced by it).
    QString Refusal(const QString& destination, const QString& source, bool fromArchive) const;

    // That a destination will be written for a source (as named in
    // messages), before it is in place; and who claimed a name first.
    void Claim(const QString& destination, const QString& given);
    QString Claimant(const QString& destination) const;
    // That a destination claimed will not be written after all.
    void Unclaim(const QString& destination);

    // That a destination was written, and for which source (as named in
    // messages), once it is in place.
    void Written(const QString& destination, const SafeFile::FileId& file, const QString& given);
    // The source named earlier for the file a destination leads to, when
    // this run wrote that file; or nothing.
    QString EarlierWrite(const QString& destination) const;

private:
    struct IdLess {
        bool operator()(const SafeFile::FileId& a, const SafeFile::FileId& b) const {
            return a.device != b.device ? a.device < b.device : a.inode < b.inode;
        }
    };
    struct Named {
        SafeFile::Entry entry;
        QString given;
    };
    QString Key(const QString& destination) const {
        return foldCase_ ? destination.toCaseFolded() : destination;
    }
    bool foldCase_ = false;
    QHash<QString, QString> claimed_; // destination -> source
    std::map<SafeFile::FileId, QString, IdLess> sources_;
    struct Write {
        QString destination;
        QString given;
    };
    std::map<SafeFile::FileId, Write, IdLess> written_; // file written -> where, for whom
    QHash<QString, Named> byName_;                      // case-folded destination
    // Whether a folder, by its identity, takes two spellings of a name for
    // one file; asked once for each folder.
    bool IgnoresCase(const QString& folder) const;
    mutable std::map<SafeFile::FileId, bool, IdLess> ignoresCase_;
};
