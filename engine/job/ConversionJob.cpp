#include "ConversionJob.h"

#include "Archive.h"
#include "BatchCommit.h"
#include "FileFunctions.h"
#include "Patch.h"
#include "PathSeparator.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

// Each file of a batch holds a temporary name until the batch is named, and
// two batches may be open at once (one being named while the next is
// converted): half of what the writer can track leaves room for the others.
constexpr std::size_t MaxBatchFiles = SafeFile::MaxPendingWriters / 4;

// As many files as a batch may hold: each holds two descriptors (its content
// and its folder) until the batch is committed, in each of the batches open
// at once, and the run needs some of its own (the source, standard streams,
// an archive, the libraries', and the sources being converted on other
// threads).
std::size_t BatchFiles(std::size_t streaming, std::size_t batches) {
    const std::int64_t reserved = 16 + std::int64_t(streaming);
    const std::int64_t limit = SafeFile::DescriptorLimit();
    if (limit < 0)
        return MaxBatchFiles;
    const std::int64_t free = limit > reserved ? limit - reserved : 0;
    return std::clamp<std::size_t>(std::size_t(free / std::int64_t(2 * batches)), 1, MaxBatchFiles);
}

constexpr std::int64_t BatchBytes = std::int64_t(256) << 20;
constexpr std::int64_t Limit = Mod_Convert::MaxSourceSize;

// A fixed mode decides the layout written.
JobRequest Settled(JobRequest request) {
    if (request.task == JobTask::Mode)
        request.target = TargetLayout(request.mode);
    return request;
}

} // namespace

std::int64_t JobObserver::StandardInput(char*, std::int64_t, EngineError* why) {
    *why = {EngineError::Code::StdinUnreadable, QStringLiteral("not offered")};
    return -1;
}

int JobObserver::StandardOutput(const char*, std::int64_t) {
    return EBADF;
}

ConversionJob::ConversionJob(const JobRequest& request, JobObserver& observer)
    : r_(Settled(request)), observer_(observer), threads_(r_.threads) {
    if (r_.device)
        plan_.FoldCase();
    batchFiles_ = BatchFiles(threads_.InFlight(), threads_.Jobs() > 1 ? 2 : 1);
    task_ = r_.task == JobTask::Patch                                     ? PatchTask(*this)
            : r_.task == JobTask::FixChecksum || r_.task == JobTask::Trim ? RepairTask(*this)
                                                                          : ConvertTask(*this);
}

ConversionJob::~ConversionJob() = default;

void ConversionJob::Run(const std::vector<JobSource>& sources) {
    total_ = int(sources.size());
    // Every source is known before anything is written: none of them is
    // ever a destination of another.
    for (const JobSource& file : sources)
        plan_.AddSource(file.path);
    if (r_.patches)
        for (const Patch::Loaded& patch : *r_.patches)
            plan_.AddSource(patch.path);
    for (const JobSource& file : sources) {
        if (observer_.Cancelled()) {
            cancelled_ = true;
            break;
        }
        observer_.Reading(told_, total_, file.path);
        Source(file);
        observer_.Through(++done_, total_);
    }
    Flush();
    ReadBack(toVerify_);
    Tell(toVerify_);
}

void ConversionJob::Source(const JobSource& file) {
    if (file.path == QLatin1String("-"))
        return StandardInput(file);
    // A file is opened once: looked at here, and converted from what was
    // opened unless it must be opened again (Item).
    auto opened = std::make_unique<SafeFile::Source>(file.path);
    const Archive::Kind kind = Archive::KindOf(*opened);
    if (const QString misnamed = Archive::Misnamed(file.path, kind); !misnamed.isEmpty())
        note_.push_back(Notice(JobNotice::Kind::Misnamed, file.path, misnamed));
    if (!opened->IsOpen() && SafeFile::IsFolder(file.path)) {
        Unread(file.path, EngineError::Code::SourceIsFolder);
    } else if (kind == Archive::Kind::None) {
        if (!opened->IsOpen())
            opened.reset();
        Item item{file.path,         file.path,
                  std::move(opened), FileFunctions::GetFileName(file.path),
                  file.folder,       file.fromTree};
        item.destination = file.destination;
        One(item);
    } else {
        opened.reset();
        if (file.destination.isEmpty())
            Archived(file);
        else
            OneImage(file);
    }
    note_.clear();
}

// A source that gives no file to convert: why.
void ConversionJob::Unread(const QString& given, const EngineError& why) {
    FileRun run = Begin(given);
    Refuse(run, why);
    batch_.push_back(std::move(run));
}

// Standard input, held in a file, named by stdinName as an archive's entry
// is: its last part alone, so that no name can place the output outside the
// output folder.
void ConversionJob::StandardInput(const JobSource& file) {
    const QStringList spillTo = SpillFolders(file.folder);
    Item item{file.path,   file.path, nullptr, Archive::OwnName(r_.stdinName),
              file.folder, false,     0,       true};
    const SafeFile::Pull pull = [this](char* into, std::int64_t most, EngineError* why) {
        return observer_.StandardInput(into, most, why);
    };
    if (const EngineError read = SafeFile::Spill(spillTo, Limit, pull, &item.content);
        read.Failed())
        return Unread(file.path,
                      read.code == EngineError::Code::StdinUnreadable
                          ? read
                          : EngineError(EngineError::Code::StdinUnreadable, read.Text()));
    One(item);
}

// Every regular file of an archive is a source of its own.
void ConversionJob::Archived(const JobSource& file) {
    const QStringList spillTo = SpillFolders(file.folder);
    int entries = 0;
    const EngineError read = Archive::Read(
        file.path, Limit,
        [&](Archive::Entry& entry) {
            ++entries;
            // Read-mes and pictures beside the images are only counted.
            if (Archive::IsCompanion(entry.name)) {
                ++counts_[int(FileOutcome::PassedOver)];
                return;
            }
            const QString given = file.path + QLatin1Char(':') + entry.name;
            if (entry.error.Failed())
                return Unread(given, entry.error);
            Item item{given,       file.path,   std::move(entry.content),
                      entry.name,  file.folder, file.fromTree,
                      entry.mtime, true};
            One(item);
        },
        nullptr, &spillTo);
    if (read.Failed() || entries == 0)
        Unread(file.path, read.Failed() ? read : EngineError(EngineError::Code::ArchiveEmpty));
}

// An archive whose output the caller names: its one image is converted.
void ConversionJob::OneImage(const JobSource& file) {
    Archive::Entry image;
    const QStringList spillTo{QFileInfo(file.destination).path(), QDir::tempPath()};
    if (const EngineError error = Archive::SingleImage(file.path, Limit, &image, nullptr, &spillTo);
        error.Failed()) {
        return Unread(file.path, {EngineError::Code::ArchiveRefused, error.Text()});
    }
    Item item{file.path,   file.path, std::move(image.content),
              image.name,  QString(), file.fromTree,
              image.mtime, true};
    item.destination = file.destination;
    One(item);
}

// Where the content of an entry or of standard input is held while it is
// converted: beside its output, or in the temporary folder when that
// cannot take it.
QStringList ConversionJob::SpillFolders(const QString& folder) const {
    QStringList folders;
    if (!r_.toStdout) {
        const QString output = JoinPath(r_.folder, folder);
        folders << (output.isEmpty() ? QStringLiteral(".") : output);
    }
    return folders << QDir::tempPath();
}

// A file's run, holding the note on its source not yet told.
FileRun ConversionJob::Begin(const QString& given) {
    FileRun run;
    run.report.given = given;
    run.report.source = done_;
    run.target = r_.target;
    if (r_.existing == JobRequest::WhenExists::Replace)
        run.existing = SafeFile::Existing::ReplaceAny;
    run.report.notices = std::exchange(note_, {});
    return run;
}

// Once for each folder written to: the hidden copies an interrupted run left
// there. They are not removed, as another run may be writing them now.
void ConversionJob::TellLeftovers(FileRun& run, const QString& folder) {
    if (foldersSeen_.contains(folder))
        return;
    foldersSeen_.insert(folder);
    for (const QString& name : SafeFile::Leftovers(folder))
        run.report.notices.push_back(
            Notice(JobNotice::Kind::Leftover, JoinPath(folder, name), folder));
}

void ConversionJob::One(Item& item) {
    FileRun run = Begin(item.given);
    run.fromTree = item.fromTree;
    // A file that an earlier one of the batch writes or replaces is read
    // once that one is in place.
    if (!batch_.empty() && !item.held && !ReadableBeforeBatch(item.path)) {
        Flush();
        item.content.reset(); // the name may lead to another file now
    }
    QString name;
    if (task_->Make(run, item) && Placed(run, item, &name)) {
        // Descriptors held by others than the batch (inherited, a
        // library's) can run out before the batch is full: it is written
        // early then.
        if (!batch_.empty() && !SafeFile::DescriptorsFree(3))
            Flush();
        task_->Prepare(run, item, name);
    }
    if (run.writer) {
        // A file streamed starts its own write-back once it is written.
        if (!run.streaming && !run.writingBack)
            run.writer->StartWriteback();
        bytes_ += run.bytes;
    }
    batch_.push_back(std::move(run));
    if (batch_.size() - sealed_ >= batchFiles_ || bytes_ >= BatchBytes)
        Seal();
}

// Where a file goes (named), its folder made; false when it cannot go there.
bool ConversionJob::Placed(FileRun& run, const Item& item, QString* named) {
    const QString folder = JoinPath(r_.folder, item.folder);
    QString& name = *named = task_->OutputName(item.name);
    if (r_.zip)
        name = FileFunctions::WithoutExtension(name) + QStringLiteral(".zip");
    run.report.destination = !item.destination.isEmpty() ? item.destination
                             : r_.inPlace                ? item.path
                             : r_.toStdout               ? QStringLiteral("-")
                                                         : JoinPath(folder, name);
    if (r_.inPlace && item.held)
        return Refuse(run, EngineError::Code::EntryInPlace), false;
    if (!item.folder.isEmpty() && !r_.dryRun) {
        if (const EngineError made = SafeFile::MakeFolders(folder); made.Failed())
            return Refuse(run, made, FileOutcome::Failed), false;
    }
    TellLeftovers(run, item.destination.isEmpty() ? folder : QFileInfo(item.destination).path());
    return true;
}

// A full batch is named once the next one is full too, so that the files of
// the next one are converted while its own are flushed and named; converting
// one file at a time, there is nothing to overlap, and it is named at once.
void ConversionJob::Seal() {
    if (!threads_.SideBySide())
        return Flush();
    Commit(sealed_);
    sealed_ = batch_.size();
    bytes_ = 0;
}

// Whether the job may write a file's destination, as the guard judges it;
// an existing file is replaced, kept or asked about as the request says.
bool ConversionJob::MayWrite(FileRun& run, const Item& item) {
    if (r_.toStdout)
        return true;
    using Kind = DestinationGuard::Verdict::Kind;
    DestinationGuard::Verdict verdict =
        guard_.Judge(run.report.destination, item, task_->KeepsItsSource());
    // A claim holds once the earlier file is converted.
    if (verdict.kind == Kind::Earlier && Streamed() > 0) {
        TakeUpAll();
        verdict = guard_.Judge(run.report.destination, item, task_->KeepsItsSource());
    }
    run.before = verdict.before;
    switch (verdict.kind) {
    case Kind::Write:
        return true;
    case Kind::Earlier:
        return SkipSameDestination(run, verdict.earlier), false;
    case Kind::Refused:
        return Refuse(run, verdict.error), false;
    case Kind::Exists:
        break;
    }
    switch (r_.existing) {
    case JobRequest::WhenExists::Replace:
        return true;
    case JobRequest::WhenExists::Ask:
        return Asked(run);
    default:
        return SkipExisting(run), false;
    }
}

void ConversionJob::Claim(const FileRun& run) {
    plan_.Claim(run.report.destination, run.report.given);
}

void ConversionJob::Unclaim(const FileRun& run) {
    plan_.Unclaim(run.report.destination);
}

// Whether the observer lets an existing destination be replaced. Every file
// before it is told first, so that the questions and what is told of the
// files keep the order of the sources. A folder of that name is no file to
// replace: naming the file fails on it.
bool ConversionJob::Asked(FileRun& run) {
    const QString& destination = run.report.destination;
    const QFileInfo entry(destination);
    if (entry.isDir() && !entry.isSymLink())
        return true;
    Flush();
    if (!observer_.MayReplace(destination)) {
        run.report.outcome = FileOutcome::Skipped;
        return false;
    }
    run.existing = SafeFile::Existing::Replace;
    return true;
}

// Converts a file's content into its open writer: on other threads when
// the job converts several files at once, a few files ahead of the oldest
// one not yet taken up, no more (each holds its source open and its pieces
// in memory); or here and now, after the files before it, in their order.
void ConversionJob::Stream(FileRun& run, std::unique_ptr<SafeFile::Source> in, RomLayout from,
                           SafeFile::Existing existing) {
    while (threads_.SideBySide() && Streamed() >= threads_.InFlight())
        for (FileRun& earlier : batch_)
            if (earlier.streaming) {
                TakeUp(earlier);
                break;
            }
    const bool sideBySide = threads_.SideBySide();
    if (!sideBySide)
        TakeUpAll();
    threads_.Start(run, std::move(in), from, existing, r_.verify);
    if (!sideBySide)
        TakeUp(run);
}

// What became of a file converted, once it is done.
void ConversionJob::TakeUp(FileRun& run) {
    if (!run.streaming)
        return;
    if (const EngineError result = threads_.TakeUp(run, batch_); result.Failed()) {
        plan_.Unclaim(run.report.destination);
        RefuseResult(run, result);
    }
}

void ConversionJob::TakeUpAll() {
    for (FileRun& run : batch_)
        TakeUp(run);
}

std::size_t ConversionJob::Streamed() const {
    return std::size_t(std::count_if(batch_.begin(), batch_.end(),
                                     [](const FileRun& run) { return bool(run.streaming); }));
}

// A conversion that did not happen: why, and how it counts.
void ConversionJob::RefuseResult(FileRun& run, const EngineError& error) {
    run.writer.reset();
    if (error.code == EngineError::Code::DestinationExists)
        return SkipExisting(run);
    Refuse(run, error,
           error.code == EngineError::Code::WriteFailed ? FileOutcome::Failed
                                                        : FileOutcome::Refused);
}

// Writes every file not yet named to disk, names them, flushes their
// folders and tells what became of each, in the order of the files.
void ConversionJob::Flush() {
    Commit(batch_.size());
    sealed_ = 0;
    bytes_ = 0;
}

// The same for the first files of the batch: their conversions are taken up
// (they are the oldest), and the files after them go on converting.
void ConversionJob::Commit(std::size_t files) {
    if (files == 0)
        return;
    for (std::size_t i = 0; i < files; ++i)
        TakeUp(batch_[i]);
    std::vector<FileRun> runs(std::make_move_iterator(batch_.begin()),
                              std::make_move_iterator(batch_.begin() + std::ptrdiff_t(files)));
    batch_.erase(batch_.begin(), batch_.begin() + std::ptrdiff_t(files));
    std::vector<SafeFile::BatchEntry> entries;
    entries.reserve(runs.size());
    for (const FileRun& run : runs)
        entries.push_back({run.writer.get()});
    // The earlier file a destination turned out to lead to, just before it
    // would have been named.
    std::vector<QString> earlier(runs.size());
    SafeFile::CommitBatch(
        entries,
        [&](std::size_t i) {
            earlier[i] = plan_.EarlierWrite(runs[i].report.destination);
            return earlier[i].isEmpty();
        },
        [&](std::size_t i) { Remember(runs[i]); });
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (runs[i].writer)
            Named(runs[i], entries[i].outcome, earlier[i]);
    for (FileRun& run : runs) {
        run.report.written =
            (run.writer || run.wouldWrite) && run.report.outcome == FileOutcome::Converted;
        run.writer.reset();
    }
    // Files are read back once the whole job is named, so that nothing
    // written later (a rename in the same folder on a drive that gets it
    // wrong) can spoil a file already verified.
    if (r_.verify)
        std::move(runs.begin(), runs.end(), std::back_inserter(toVerify_));
    else
        Tell(runs);
}

// What became of a file's writer as its batch was named.
void ConversionJob::Named(FileRun& run, SafeFile::BatchOutcome outcome, const QString& earlier) {
    switch (outcome) {
    case SafeFile::BatchOutcome::Committed:
        return;
    case SafeFile::BatchOutcome::Passed:
        SkipSameDestination(run, earlier);
        break;
    case SafeFile::BatchOutcome::NameTaken:
        SkipExisting(run);
        break;
    case SafeFile::BatchOutcome::NotFlushed:
        Refuse(run,
               {EngineError::Code::NotFlushed, run.writer->Error().detail, run.report.destination},
               FileOutcome::Failed);
        return; // named: its writer stays for what is told of it
    case SafeFile::BatchOutcome::NotWritten:
    case SafeFile::BatchOutcome::NotNamed:
        Refuse(run, {EngineError::Code::WriteFailed, run.writer->Error().detail},
               FileOutcome::Failed);
        break;
    }
    run.writer.reset();
}

// What became of each file, in the order of the files.
void ConversionJob::Tell(std::vector<FileRun>& runs) {
    for (FileRun& run : runs) {
        told_ = std::max(told_, run.report.source + 1);
        if (run.report.written)
            Verdict(run);
        ++counts_[int(run.report.outcome)];
        if (run.report.outcome != FileOutcome::Converted &&
            run.report.outcome != FileOutcome::PassedOver)
            failed_ = true;
        observer_.Done(run.report);
    }
}

// What verify found of a file written.
void ConversionJob::Verdict(FileRun& run) {
    if (!r_.verify || r_.dryRun)
        return;
    const RomInspector::Sha1& sha = run.readBack;
    if (sha.hex != run.sourceSha) {
        JobNotice failed = Notice(JobNotice::Kind::VerifyFailed, run.report.destination);
        failed.error =
            sha.error.Failed() ? sha.error : EngineError(EngineError::Code::VerifyDiffers);
        run.report.notices.push_back(failed);
        run.report.outcome = FileOutcome::Failed;
    } else {
        run.report.notices.push_back(
            Notice(JobNotice::Kind::Verified, run.report.destination,
                   run.verified.isEmpty() ? "sha1 " + sha.hex : run.verified));
    }
}

// Reads every file named back once the whole job is named.
void ConversionJob::ReadBack(std::vector<FileRun>& runs) {
    if (r_.verify && !r_.dryRun)
        threads_.ReadBack(runs, r_.zip);
}

void ConversionJob::Refuse(FileRun& run, const EngineError& why, FileOutcome outcome) {
    JobNotice refused = Notice(JobNotice::Kind::Refused);
    refused.error = why;
    run.report.notices.push_back(refused);
    run.report.outcome = outcome;
}

// An existing destination: skipped and told, or left alone silently without
// failing the job; where the observer is asked, a name that appeared after
// the question fails the file.
void ConversionJob::SkipExisting(FileRun& run) {
    if (r_.existing == JobRequest::WhenExists::Ask)
        return Refuse(run, {EngineError::Code::DestinationExists}, FileOutcome::Failed);
    if (r_.existing == JobRequest::WhenExists::PassOver) {
        run.report.outcome = FileOutcome::PassedOver;
        return;
    }
    run.report.notices.push_back(Notice(JobNotice::Kind::Skipped, run.report.destination));
    run.report.outcome = FileOutcome::Skipped;
}

void ConversionJob::SkipSameDestination(FileRun& run, const QString& earlier) {
    Refuse(run, {EngineError::Code::SameFile, run.report.destination, earlier});
}

// Whether a source may be read before the batch is written: not when it is
// missing (an earlier file of the job may be about to create it) or is a
// destination of the batch.
bool ConversionJob::ReadableBeforeBatch(const QString& source) const {
    const SafeFile::FileId id = SafeFile::IdentityOf(source);
    if (!id.IsValid())
        return false;
    for (const FileRun& run : batch_)
        if (run.writer && run.before == id)
            return false;
    return true;
}

void ConversionJob::Remember(const FileRun& run) {
    plan_.Written(run.report.destination, run.writer->Written(), run.report.given);
}
