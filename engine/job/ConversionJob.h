#pragma once

#include "BatchCommit.h"
#include "ConversionPlan.h"
#include "DestinationGuard.h"
#include "JobParts.h"
#include "JobRequest.h"
#include "JobThreads.h"

#include <QSet>

#include <memory>
#include <vector>

// A run of conversions or repairs of many sources. Every source is known
// before anything is written: a destination is refused when it is another
// source or a file the job already wrote. Files are converted on several
// threads where asked, told in the order of the sources, and committed in
// batches, so that the disk is flushed once for many files: every file's
// content is on disk before its name appears, and its folder is flushed
// before the file is reported as converted. With verify, every file written
// is read back once the whole job is named.
class ConversionJob : private JobRun {
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
    // What the task asks of the run.
    const JobRequest& Request() const override { return r_; }
    JobObserver& Observer() override { return observer_; }
    Mod_Convert::Converter& Converter() override { return threads_.Here(); }
    WorkerPool& Helpers() override { return threads_.Helpers(); }
    bool MayWrite(FileRun& run, const Item& item) override;
    void Claim(const FileRun& run) override;
    void Unclaim(const FileRun& run) override;
    void Stream(FileRun& run, std::unique_ptr<SafeFile::Source> in, RomLayout from,
                SafeFile::Existing existing) override;
    void TakeUpAll() override;
    void Refuse(FileRun& run, const EngineError& why,
                FileOutcome outcome = FileOutcome::Refused) override;
    void RefuseResult(FileRun& run, const EngineError& error) override;
    void SkipExisting(FileRun& run) override;

    // Sources, and the files they hold.
    void Source(const JobSource& file);
    void StandardInput(const JobSource& file);
    void Archived(const JobSource& file);
    void OneImage(const JobSource& file);
    void Unread(const QString& given, const EngineError& why);
    QStringList SpillFolders(const QString& folder) const;
    void One(Item& item);
    bool Placed(FileRun& run, const Item& item, QString* name);
    bool Asked(FileRun& run);
    FileRun Begin(const QString& given);
    void TellLeftovers(FileRun& run, const QString& folder);

    // Converting on other threads.
    void TakeUp(FileRun& run);
    std::size_t Streamed() const;

    // Batches: written, named, read back and told.
    void Flush();
    void Seal();
    void Commit(std::size_t files);
    void Named(FileRun& run, SafeFile::BatchOutcome outcome, const QString& earlier);
    void Verdict(FileRun& run);
    void ReadBack(std::vector<FileRun>& runs);
    void Tell(std::vector<FileRun>& runs);
    void SkipSameDestination(FileRun& run, const QString& earlier);
    bool ReadableBeforeBatch(const QString& source) const;
    void Remember(const FileRun& run);

    const JobRequest r_;
    JobObserver& observer_;
    JobThreads threads_;
    ConversionPlan plan_;
    DestinationGuard guard_{r_, plan_};
    std::unique_ptr<JobTaskRunner> task_; // what is done with each source
    std::vector<FileRun> batch_;
    std::vector<FileRun> toVerify_; // named, read back at the end of the run
    QSet<QString> foldersSeen_;
    std::vector<JobNotice> note_; // on the source being read, for its first file
    int told_ = 0;                // sources whose files have all been told
    std::int64_t bytes_ = 0;      // of the files after the sealed ones
    std::size_t sealed_ = 0;      // the first files of the batch, full, named next
    std::size_t batchFiles_ = 1;
    int counts_[5] = {}; // by FileOutcome
    bool failed_ = false;
    int done_ = 0;
    int total_ = 0;
    bool cancelled_ = false;
};
