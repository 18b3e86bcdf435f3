#pragma once

#include "ConversionMode.h"
#include "ConversionPlan.h"
#include "EngineError.h"
#include "Mod_Convert.h"
#include "Repair.h"
#include "RomInspector.h"
#include "RomLayout.h"
#include "SafeFile.h"
#include "WorkerPool.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace DatFile {
class Index;
}
namespace Patch {
struct Loaded;
}
class ConverterShelf;

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
    int threads = 0;           // files converted at once; 0: one a core
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

// A run of conversions or repairs of many sources. Every source is known
// before anything is written: a destination is refused when it is another
// source or a file the job already wrote. Files are converted on several
// threads where asked, told in the order of the sources, and committed in
// batches, so that the disk is flushed once for many files: every file's
// content is on disk before its name appears, and its folder is flushed
// before the file is reported as converted. With verify, every file written
// is read back once the whole job is named.
class ConversionJob {
public:
    ConversionJob(const JobRequest& request, JobObserver& observer);
    ~ConversionJob();
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // Runs every source to the end, or until the observer cancels it: the
    // sources taken up by then are finished and told.
    void Run(const std::vector<JobSource>& sources);
    bool WasCancelled() const { return cancelled_; }

    // How many files ended each way, by FileOutcome; archives' read-mes and
    // pictures count as passed over without being told.
    int Count(FileOutcome outcome) const { return counts_[int(outcome)]; }
    // Whether any file was skipped, refused or failed.
    bool AnyFailed() const { return failed_; }

private:
    struct Streaming;
    struct FileRun;
    struct Item;

    void Source(const JobSource& file);
    void OneImage(const JobSource& file);
    bool Asked(FileRun& run);
    QStringList SpillFolders(const QString& folder) const;
    void One(Item& item);
    static EngineError OpenSource(Item& item, std::unique_ptr<SafeFile::Source>* in);
    bool MayWrite(FileRun& run, const Item& item);
    void Prepare(FileRun& run, Item& item, QString name);
    bool NameAfterDat(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                      QString* name, QString* innerName);
    bool Inspect(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                 RomLayout* from);
    void ToStandardOutput(FileRun& run, RomLayout from, const SafeFile::Source& in);
    void PrepareRepair(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                       const SafeFile::Source* in);
    bool RepairPlan(FileRun& run, const RomInspector::Report& report,
                    const RomInspector::ReadAt& read, std::int64_t length, Repair::Plan* plan,
                    bool* sha);
    void WriteRepair(FileRun& run, const Repair::Plan& plan, const RomInspector::ReadAt& read,
                     const SafeFile::Source* in, bool hashWritten);
    bool Repairing() const;
    bool Patched(FileRun& run, Item& item);
    bool PatchBase(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                   RomLayout* layout);
    void Flush();
    void Seal();
    void Commit(std::size_t files);
    void StreamAside(FileRun& run, std::unique_ptr<SafeFile::Source> in, RomLayout from,
                     SafeFile::Existing existing);
    void Stream(Streaming& task, Mod_Convert::Converter& converter);
    void TakeUp(FileRun& run);
    void Redo(FileRun& run);
    void TakeUpAll();
    std::size_t Streamed() const;
    // The most sources converted on other threads at once.
    // A few for each thread, so that one large file, taken up in its turn,
    // does not leave the others without work; never more than the two
    // batches open at once hold.
    std::size_t InFlight() const {
        return jobs_ > 1
                   ? std::min(std::size_t(8 * jobs_), std::size_t(SafeFile::MaxPendingWriters / 2))
                   : 0;
    }
    void RefuseResult(FileRun& run, const EngineError& error);
    void Verdict(FileRun& run);
    void ReadBack(std::vector<FileRun>& runs);
    void Tell(std::vector<FileRun>& runs);

    void Refuse(FileRun& run, const EngineError& why, FileOutcome outcome = FileOutcome::Refused);
    void SkipExisting(FileRun& run);
    void SkipSameDestination(FileRun& run, const QString& earlier);
    bool ReadableBeforeBatch(const QString& source) const;
    void Remember(const FileRun& run);
    QString OutputName(const QString& sourceName) const;
    void TellLeftovers(FileRun& run, const QString& folder);
    FileRun Begin(const QString& given);

    const JobRequest r_;
    JobObserver& observer_;
    // The threads that help convert a large image, for all the job's
    // converters.
    WorkerPool helpers_;
    Mod_Convert::Converter converter_;
    int jobs_ = 1; // files converted at once
    // Once a file has found the drive full: the rest is converted one file
    // at a time, so that the same files fit as with one thread.
    bool oneAtATime_ = false;
    WorkerPool pool_; // converts them, when more than one, and reads them back
    struct Nothing {};
    InOrder<Nothing> aside_{pool_}; // the files converted on the pool
    // Converters for the pool's threads.
    std::unique_ptr<ConverterShelf> shelf_;
    ConversionPlan plan_;
    std::vector<FileRun> batch_;
    std::vector<FileRun> toVerify_; // named, read back at the end of the run
    QSet<QString> foldersSeen_;
    std::vector<JobNotice> note_; // on the source being read, for its first file
    int told_ = 0;                // sources whose files have all been told
    bool toStdoutWritten_ = false;
    std::int64_t bytes_ = 0; // of the files after the sealed ones
    std::size_t sealed_ = 0; // the first files of the batch, full, named next
    std::size_t batchFiles_ = 1;
    int counts_[5] = {}; // by FileOutcome
    bool failed_ = false;
    int done_ = 0;
    int total_ = 0;
    bool cancelled_ = false;
};
