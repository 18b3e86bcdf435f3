#pragma once

// What a front end asks of a conversion job, and what the job tells it.

#include "ConversionMode.h"
#include "EngineError.h"
#include "RomLayout.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace DatFile {
class Index;
}
namespace Patch {
struct Loaded;
}
namespace DeviceExport {
struct Rules;
}

// What a job does with each of its sources.
enum class JobTask {
    Mode,        // convert by a fixed mode
    ToLayout,    // convert whatever layout each source is in to a target layout
    FixChecksum, // mend the header checksum, keeping the layout
    Trim,        // cut what lies past the header's ROM end, keeping the layout
    Patch,       // apply patches, the result named after the last one
};

// What a job is asked to do, and how.
struct JobRequest {
    JobTask task = JobTask::Mode;
    std::int32_t mode = SMDtoBIN; // JobTask::Mode
    RomLayout target = RomLayout::Plain;
    QString folder;        // where outputs go; empty for the current folder
    bool toStdout = false; // the one image goes to the observer's standard output
    QString stdinName;     // the name of a source read from standard input
    // What becomes of a destination that exists already.
    enum class WhenExists {
        Skip,     // kept, the file told as skipped
        PassOver, // kept silently, counted as passed over
        Replace,  // replaced, whatever has the name when the file is named
        // Replaced when the observer agrees, asked in the order of the
        // sources once every file before it is told; a name that appears
        // after the question fails the file.
        Ask,
    };
    WhenExists existing = WhenExists::Skip;
    bool inPlace = false; // a repair mends the file itself
    bool dryRun = false;
    bool force = false; // a fixed mode converts whatever the content looks like
    bool verify = false;
    bool zip = false;
    bool fullStem = false;
    const DatFile::Index* dats = nullptr; // outputs named after the ROMs they match
    // JobTask::Patch: the patches, applied in order to each source; the
    // result in target, or in the source's layout where target is Unknown;
    // dats, where given, name an IPS patch's base.
    const std::vector<Patch::Loaded>* patches = nullptr;
    bool keepChecksum = false; // a patched image keeps the checksum in its header
    // JobTask::ToLayout: an export for a device, each image placed and named
    // by the device's profile (names told apart whatever their case).
    const DeviceExport::Rules* device = nullptr;
    int threads = 0; // files converted at once; 0: one a core
};

// One source of a job: a file (an archive stands for its entries, "-" for
// standard input) and the folder, relative to the job's, its outputs go into.
struct JobSource {
    QString path;
    QString folder; // "" or "sub/dir/"
    bool fromTree = false;
    // Where the caller names the output, if it does: the source's one image
    // (an archive must hold exactly one) is written there.
    QString destination = QString();
};

// How a file of a job ended. PassedOver: the job had nothing to do with it
// (a file of a tree walked that is no cartridge, an existing destination
// skipped silently, a file with nothing to mend); it does not fail the job.
enum class FileOutcome { Converted, Skipped, Refused, Failed, PassedOver };

// Something the job has to tell of a file, in the order it arose.
struct JobNotice {
    enum class Kind {
        Misnamed,     // subject: an archive; text: what its name gets wrong
        Leftover,     // subject: a hidden copy left behind; text: its folder
        Refused,      // error: why the file was not written (layout: what it looks like)
        Skipped,      // the destination exists and is kept
        ByteCopy,     // layout: the source is already in the target layout
        LeftAlone,    // text: why a repair has nothing to do
        Verified,     // text: what the read-back showed
        VerifyFailed, // error: why the read-back does not match
        Base,         // text: the DAT entry a patch's base matches
        UnknownBase,  // the base of a patch matches no DAT entry
        LeftOut,      // text: why an export leaves the image out
    };
    Kind kind = Kind::Refused;
    QString subject;
    QString text;
    EngineError error;
    RomLayout layout = RomLayout::Unknown;
};

// What became of one file of a job, told once it is done, in the order of
// the sources.
struct FileReport {
    int source = 0;      // which source of the job it comes from
    QString given;       // as shown: the name, or "archive.zip:entry"
    QString destination; // "-" for standard output
    FileOutcome outcome = FileOutcome::Converted;
    bool written = false; // written and named (or would be, in a dry run)
    QString detail;       // what a repair did, told after the destination
    std::vector<JobNotice> notices;
};

// What a front end does for a job: answers its questions and hears what
// became of each file.
class JobObserver {
public:
    virtual ~JobObserver() = default;
    // Whether the run was cancelled; asked before each source.
    virtual bool Cancelled() { return false; }
    // Whether an existing destination may be replaced (asked where the
    // request says WhenExists::Ask).
    virtual bool MayReplace(const QString& /*destination*/) { return false; }
    // A source is about to be read: sources told so far, of how many.
    virtual void Reading(int /*told*/, int /*total*/, const QString& /*name*/) {}
    // Sources taken up so far, of how many: each converted, or handed to
    // another thread to be.
    virtual void Through(int /*sources*/, int /*total*/) {}
    // A file is done.
    virtual void Done(const FileReport& report) = 0;
    // Up to most bytes of standard input into into: how many (0 at its
    // end), or -1 with why set.
    virtual std::int64_t StandardInput(char* into, std::int64_t most, EngineError* why);
    // Converted bytes for standard output: 0, or the error that lost them.
    virtual int StandardOutput(const char* data, std::int64_t size);
};
