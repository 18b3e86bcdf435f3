#pragma once

#include "DatFile.h"
#include "EngineError.h"
#include "InspectFiles.h"
#include "RomInspector.h"
#include "SafeFile.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

// A collection checked against DAT files as its owner checks it: which
// games it has (and by which file, in which layout, matched how), which are
// missing, which files are bad dumps of a game, which match nothing, and
// which games are there twice. Each file is told once, as its report comes;
// the audit keeps a few words a file, never an image.
namespace Audit {

struct Have {
    int rom = -1;
    QString file;
    RomLayout layout = RomLayout::Unknown;
    DatFile::Form form = DatFile::Form::None;
};

struct Bad {
    int game = -1;
    QString file;
    QString why;
};

struct Duplicate {
    int rom = -1;
    QStringList files;
};

struct Unreadable {
    QString file;
    EngineError why;
};

// A game some of whose ROMs are had, and which of its ROMs are not.
struct Incomplete {
    int game = -1;
    std::vector<int> roms;
};

struct Result {
    std::vector<Have> have;    // in the order of the files
    std::vector<int> gamesHad; // every ROM of them matched, in the DATs' order
    std::vector<Incomplete> incomplete;
    std::vector<int> missing; // games none of whose ROMs is had and no file is a bad dump of
    // Games with nothing to have: no ROM, or only ROMs never dumped.
    std::vector<int> undumped;
    std::vector<Bad> bad; // in the order of the files
    QStringList unknown;  // files that match nothing
    std::vector<Duplicate> duplicates;
    std::vector<Unreadable> unreadable;
    // Nothing missing, nothing bad, every file read.
    bool Complete() const {
        return missing.empty() && incomplete.empty() && bad.empty() && unreadable.empty();
    }
    // The ROMs a fixdat lists: those of the games missing, and those the
    // incomplete games lack, never one never dumped; in the DATs' order.
    std::vector<int> Wanted(const DatFile::Index& index) const;
};

class Collector {
public:
    explicit Collector(const DatFile::Index& index);
    // One file's report (an archive's entry is a file of its own).
    void Add(const RomInspector::Report& report);
    Result Finish();

private:
    const DatFile::Index& index_;
    Result result_;
    std::vector<std::vector<int>> filesOfRom_; // indexes into result_.have
    std::vector<bool> badGame_;
};

// The files to audit, each once however many paths lead to it (a tree
// walked inside another, a name given twice, a link), so that no file is
// had twice or called a duplicate of itself; ids, beside them, say which.
QStringList OnceEach(const QStringList& paths, std::vector<SafeFile::FileId>* ids);

// Why a file an audit writes may not be at path: it is one of the DAT files
// it reads, or one of the files it audits (ids beside them, as OnceEach gave
// them); empty when it is neither.
QString ReadByAudit(const QString& path, const QStringList& dats, const QStringList& files,
                    const std::vector<SafeFile::FileId>& ids);

// The audit of files against the DATs' index: each file inspected with both
// forms hashed (a DAT may list a dump as its file is), its report handed to
// seen too as it comes. Once stop is set, the files not yet begun are left
// out: the result is of the files read.
Result Check(const DatFile::Index& index, const QStringList& files,
             RomInspector::InspectionThreads& threads,
             const RomInspector::StandardInput& standardInput, const QString& stdinName,
             const std::function<void(const RomInspector::Report&)>& seen = {},
             const std::atomic<bool>* stop = nullptr, FingerprintCache* cache = nullptr);

// A Logiqx DAT of the ROMs named and their games, in their order, copied
// from the DAT files they come from (the header of the first, its name
// with " (fixdat)"), written to path through the writer; why not, or
// nothing. An existing file at path is replaced only where asked.
EngineError WriteFixdat(const DatFile::Index& index, const std::vector<int>& roms,
                        const QString& path, bool overwrite);

} // namespace Audit
