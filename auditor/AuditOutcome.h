#pragma once

#include "Audit.h"
#include "DatFile.h"
#include "SafeFile.h"

#include <QStringList>

#include <array>
#include <memory>
#include <vector>

// What an audit run of the window found, and what it read to find it.
struct AuditOutcome {
    std::shared_ptr<DatFile::Index> index = std::make_shared<DatFile::Index>();
    Audit::Result result;
    QStringList dats;
    QStringList files;
    std::vector<SafeFile::FileId> ids;
    QStringList unreachable; // folders and entries the walk could not read
    EngineError datError;
    bool cancelled = false;
    QString cacheTrouble; // why the cache of fingerprints was not used or kept
};

// The kinds of finding, in the order the command line tells them.
enum class FindingKind {
    Have,
    Incomplete,
    Missing,
    BadDump,
    NeverDumped,
    Unknown,
    Duplicate,
    Unreadable
};
constexpr int FindingKinds = int(FindingKind::Unreadable) + 1;

// How many findings of each kind a result holds.
inline std::array<int, FindingKinds> Counts(const Audit::Result& r) {
    return {int(r.have.size()),       int(r.incomplete.size()), int(r.missing.size()),
            int(r.bad.size()),        int(r.undumped.size()),   int(r.unknown.size()),
            int(r.duplicates.size()), int(r.unreadable.size())};
}
