#pragma once

// An export for a device: a conversion job whose images are placed and
// named by a device's profile, previewed by a dry run, recorded in a
// manifest beside them, and undone by that manifest.

#include "DeviceNames.h"
#include "JobRequest.h"

#include <QSet>

namespace DatFile {
class Index;
}

namespace DeviceExport {

// The folder a destination lies in, as an export counts the files of its
// folders: the destination up to its last separator.
QString FolderOf(const QString& destination);

// What the job needs of an export beyond its request.
struct Rules {
    const DeviceProfile::Profile* profile = nullptr;
    // The folders (by FolderOf the destinations) whose images go into letter
    // folders: they would hold more than the profile allows.
    QSet<QString> lettered;
};

} // namespace DeviceExport

namespace DeviceExport {

// What an export is asked to do.
struct Request {
    const DeviceProfile::Profile* profile = nullptr;
    QString folder; // where the device's tree is written; empty for the current folder
    bool dryRun = false;
    bool verify = false;
    JobRequest::WhenExists existing = JobRequest::WhenExists::Skip;
    const DatFile::Index* dats = nullptr; // images named after the games they match
    int threads = 0;
};

// What became of an export.
struct Outcome {
    int written = 0; // or, in a dry run, would be
    int leftOut = 0;
    int skipped = 0; // existing files kept, and files passed over
    int refused = 0;
    int failed = 0;
    bool cancelled = false;
    // The manifest written (none in a dry run, or when nothing was
    // written), and why it could not be written beside the files when it
    // is elsewhere or nowhere.
    QString manifest;
    EngineError manifestError;

    bool AnyFailed() const { return refused > 0 || failed > 0 || manifestError.Failed(); }
};

// Exports the sources (files, archives; never standard input): first, where
// the profile limits a folder's files, a dry run that counts them; then the
// job, every file told to the observer; then, unless a dry run, the
// manifest of what was written.
Outcome Export(const Request& request, const std::vector<JobSource>& sources,
               JobObserver& observer);

// The name of the manifest an export writes into its folder.
QString ManifestName(const QString& profile);

// What undoing an export did with each file and folder it wrote.
struct UndoStep {
    enum class Kind {
        Removed,    // a file, as the export wrote it
        Changed,    // kept: it changed since
        Gone,       // it was no longer there
        Outside,    // kept: it leads outside the export's folder
        Failed,     // it could not be removed: error
        FolderGone, // a folder the export made, left empty
    };
    Kind kind = Kind::Removed;
    QString path;
    EngineError error;
};
struct UndoOutcome {
    std::vector<UndoStep> steps;
    bool manifestRemoved = false;
    int Count(UndoStep::Kind kind) const;
};
// Removes what the export of a manifest wrote that is still as it wrote it,
// then the folders it made that are left empty, then the manifest unless a
// file could not be removed. An error when the manifest cannot be used.
EngineError Undo(const QString& manifest, UndoOutcome* outcome);

} // namespace DeviceExport
