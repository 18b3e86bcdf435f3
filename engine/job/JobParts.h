#pragma once

// The parts of a conversion job: what a file holds from the moment it is
// read until it is told, what a task may ask of the run it works for, and
// the task itself.

#include "JobRequest.h"
#include "Mod_Convert.h"
#include "RomInspector.h"
#include "SafeFile.h"

#include <memory>

struct Streaming;

// One file, from the moment its converted bytes are in a writer until it
// is told.
struct FileRun {
    FileReport report;
    RomLayout target = RomLayout::Unknown; // what it is written in
    std::unique_ptr<SafeFile::Writer> writer;
    SafeFile::FileId before; // what the destination's name led to before
    // What may be replaced at the destination's name when it is named.
    SafeFile::Existing existing = SafeFile::Existing::Keep;
    std::int64_t bytes = 0;
    QString sourceSha;
    bool fromTree = false;
    // What verify reads back: the plain content in this layout (the
    // target's when unknown), or the file's bytes as they are.
    RomLayout verifyLayout = RomLayout::Unknown;
    bool verifyRaw = false;
    QString verified;                     // told when it holds, instead of the SHA-1
    bool wouldWrite = false;              // a dry run's file that would be written
    RomInspector::Sha1 readBack;          // what verify read of it
    std::shared_ptr<Streaming> streaming; // until it is taken up
    bool writingBack = false;             // its write-back started
};

// Where a source's bytes come from: a file, or an archive's entry.
struct Item {
    QString given;
    QString path; // the file, or the archive
    // An entry's content (or standard input's), held in a file of its own;
    // for a file, the file as it was opened when it was looked at, or null
    // when it is to be opened when it is converted (it could not be opened
    // then, or an earlier file of the run has since been named where it was).
    std::unique_ptr<SafeFile::Source> content;
    QString name;   // the name its output is named after
    QString folder; // relative output folder
    bool fromTree;
    std::int64_t mtime = 0; // an entry's time (a file's is asked of it)
    bool held = false;      // no file of its own: an entry, or standard input
    // The layout of a content made by the job (a patched image), which is
    // not looked at again; Unknown for a source as it is.
    RomLayout made = RomLayout::Unknown;
    QString destination = QString(); // where the caller names the output, if it does
};

JobNotice Notice(JobNotice::Kind kind, const QString& subject = QString(),
                 const QString& text = QString());

// A source's content, open: its file (as opened when it was looked at, or
// now), or what is held for an entry or standard input; refused when it
// cannot be opened, is empty or larger than the largest image.
EngineError OpenSource(Item& item, std::unique_ptr<SafeFile::Source>* in);

// What a task may ask of the run it works for.
class JobRun {
public:
    virtual const JobRequest& Request() const = 0;
    virtual JobObserver& Observer() = 0;
    virtual Mod_Convert::Converter& Converter() = 0;
    // The threads that help the job's own with one file.
    virtual WorkerPool& Helpers() = 0;
    // Whether the file may be written at its destination; told on the file
    // when it may not.
    virtual bool MayWrite(FileRun& run, const Item& item) = 0;
    // A destination will be written (or, unclaimed, will not be after all).
    virtual void Claim(const FileRun& run) = 0;
    virtual void Unclaim(const FileRun& run) = 0;
    // Converts a source's content into the file's open writer, here or on
    // another thread, taken up in the order of the files.
    virtual void Stream(FileRun& run, std::unique_ptr<SafeFile::Source> in, RomLayout from,
                        SafeFile::Existing existing) = 0;
    // Every file converting on other threads, taken up.
    virtual void TakeUpAll() = 0;
    virtual void Refuse(FileRun& run, const EngineError& why,
                        FileOutcome outcome = FileOutcome::Refused) = 0;
    // A conversion that did not happen: why, and how it counts.
    virtual void RefuseResult(FileRun& run, const EngineError& error) = 0;
    virtual void SkipExisting(FileRun& run) = 0;

protected:
    ~JobRun() = default;
};

// What a job's task does with each source: names its output, makes what is
// to be written where the task makes it (a patched image), and puts it into
// the file's writer.
class JobTaskRunner {
public:
    explicit JobTaskRunner(JobRun& job) : job_(job), r_(job.Request()) {}
    virtual ~JobTaskRunner() = default;
    JobTaskRunner(const JobTaskRunner&) = delete;
    JobTaskRunner& operator=(const JobTaskRunner&) = delete;

    // The name of the output of a source of that name.
    virtual QString OutputName(const QString& sourceName) const = 0;
    // Whether its output may never replace its source.
    virtual bool KeepsItsSource() const { return false; }
    // False when the file ends here, told on it.
    virtual bool Make(FileRun& /*run*/, Item& /*item*/) { return true; }
    virtual void Prepare(FileRun& run, Item& item, QString name) = 0;

protected:
    JobRun& job_;
    const JobRequest& r_;
};

// The task a request asks for.
// A conversion; datNames: outputs named after the DAT entries their sources
// match, where the request gives DAT files.
std::unique_ptr<JobTaskRunner> ConvertTask(JobRun& job, bool datNames = true);
std::unique_ptr<JobTaskRunner> RepairTask(JobRun& job);
std::unique_ptr<JobTaskRunner> PatchTask(JobRun& job);
