#include "ConversionJob.h"

#include "Archive.h"
#include "BatchCommit.h"
#include "DatFile.h"
#include "FileFunctions.h"
#include "JobParts.h"
#include "Mod_File.h"
#include "Patch.h"
#include "PathSeparator.h"
#include "PlainStream.h"
#include "Repair.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
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
using Cartridge::Piece;

// How sure the detection is, in the words of a refusal.
QString Evidence(const RomInspector::Report& r) {
    if (r.certainty == RomInspector::Certainty::Certain)
        return QStringLiteral("header checksum matches");
    for (const QString& reason : r.reasons)
        if (reason.startsWith(QLatin1String("\"SEGA\"")))
            return QStringLiteral("\"SEGA\" in the header, header checksum differs");
    return QStringLiteral("SMD copier header");
}

} // namespace

std::int64_t JobObserver::StandardInput(char*, std::int64_t, EngineError* why) {
    *why = {EngineError::Code::StdinUnreadable, QStringLiteral("not offered")};
    return -1;
}

int JobObserver::StandardOutput(const char*, std::int64_t) {
    return EBADF;
}

// Converters for the pool's threads, each keeping its buffers from file to
// file; one is lent to a thread for one file at a time.
class ConverterShelf {
public:
    explicit ConverterShelf(WorkerPool& helpers) : helpers_(helpers) {}
    std::unique_ptr<Mod_Convert::Converter> Take() {
        const std::lock_guard lock(mutex_);
        if (spare_.empty()) {
            auto converter = std::make_unique<Mod_Convert::Converter>();
            converter->ShareHelpers(&helpers_);
            return converter;
        }
        std::unique_ptr<Mod_Convert::Converter> converter = std::move(spare_.back());
        spare_.pop_back();
        return converter;
    }
    void Give(std::unique_ptr<Mod_Convert::Converter> converter) {
        const std::lock_guard lock(mutex_);
        spare_.push_back(std::move(converter));
    }

private:
    WorkerPool& helpers_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Mod_Convert::Converter>> spare_;
};

namespace {

// A fixed mode decides the layout written.
JobRequest Settled(JobRequest request) {
    if (request.task == JobTask::Mode)
        request.target = TargetLayout(request.mode);
    return request;
}

} // namespace

ConversionJob::ConversionJob(const JobRequest& request, JobObserver& observer)
    : r_(Settled(request)), observer_(observer), helpers_(std::max(1, SafeFile::Cores() - 1)),
      shelf_(std::make_unique<ConverterShelf>(helpers_)) {
    converter_.ShareHelpers(&helpers_);
    jobs_ = r_.threads > 0 ? r_.threads : SafeFile::Cores();
    pool_.SetThreads(jobs_);
    batchFiles_ = BatchFiles(InFlight(), jobs_ > 1 ? 2 : 1);
}

ConversionJob::~ConversionJob() {
    pool_.WaitForDone();
}

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
    // A file is opened once: looked at here, and converted from what was
    // opened unless it must be opened again (JobParts.h).
    auto opened =
        file.path == QLatin1String("-") ? nullptr : std::make_unique<SafeFile::Source>(file.path);
    const Archive::Kind kind = opened ? Archive::KindOf(*opened) : Archive::Kind::None;
    if (const QString misnamed = Archive::Misnamed(file.path, kind); !misnamed.isEmpty())
        note_.push_back(Notice(JobNotice::Kind::Misnamed, file.path, misnamed));
    if (file.path == QLatin1String("-")) {
        const QStringList spillTo = SpillFolders(file.folder);
        // Standard input, held in a file, named by stdinName.
        Item item{file.path,   file.path, nullptr, Archive::OwnName(r_.stdinName),
                  file.folder, false,     0,       true};
        const SafeFile::Pull pull = [this](char* into, std::int64_t most, EngineError* why) {
            return observer_.StandardInput(into, most, why);
        };
        if (const EngineError read = SafeFile::Spill(spillTo, Limit, pull, &item.content);
            read.Failed()) {
            FileRun run = Begin(file.path);
            Refuse(run, read.code == EngineError::Code::StdinUnreadable
                            ? read
                            : EngineError(EngineError::Code::StdinUnreadable, read.Text()));
            batch_.push_back(std::move(run));
            return;
        }
        // Named as an archive's entry is: its last part alone, so that no
        // name can place the output outside the output folder.
        One(item);
        return;
    }
    if (!opened->IsOpen() && SafeFile::IsFolder(file.path)) {
        FileRun run = Begin(file.path);
        Refuse(run, EngineError::Code::SourceIsFolder);
        batch_.push_back(std::move(run));
        note_.clear();
        return;
    }
    if (kind == Archive::Kind::None) {
        if (!opened->IsOpen())
            opened.reset();
        Item item{file.path,         file.path,
                  std::move(opened), FileFunctions::GetFileName(file.path),
                  file.folder,       file.fromTree};
        item.destination = file.destination;
        One(item);
        note_.clear();
        return;
    }
    opened.reset();
    if (!file.destination.isEmpty())
        return OneImage(file), note_.clear();
    // Every regular file of an archive is a source of its own.
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
            if (entry.error.Failed()) {
                FileRun run = Begin(given);
                Refuse(run, entry.error);
                batch_.push_back(std::move(run));
                return;
            }
            Item item{given,       file.path,   std::move(entry.content),
                      entry.name,  file.folder, file.fromTree,
                      entry.mtime, true};
            One(item);
        },
        nullptr, &spillTo);
    if (read.Failed() || entries == 0) {
        FileRun run = Begin(file.path);
        Refuse(run, read.Failed() ? read : EngineError(EngineError::Code::ArchiveEmpty));
        batch_.push_back(std::move(run));
    }
    note_.clear();
}

// An archive whose output the caller names: its one image is converted.
void ConversionJob::OneImage(const JobSource& file) {
    Archive::Entry image;
    const QStringList spillTo{QFileInfo(file.destination).path(), QDir::tempPath()};
    if (const EngineError error = Archive::SingleImage(file.path, Limit, &image, nullptr, &spillTo);
        error.Failed()) {
        FileRun run = Begin(file.path);
        Refuse(run, {EngineError::Code::ArchiveRefused, error.Text()});
        batch_.push_back(std::move(run));
        return;
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
ConversionJob::FileRun ConversionJob::Begin(const QString& given) {
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

QString ConversionJob::OutputName(const QString& sourceName) const {
    // A repaired file keeps its name; a patched one has it already.
    if (Repairing() || r_.task == JobTask::Patch)
        return sourceName;
    return ConversionPlan::DestinationName(sourceName, r_.target, r_.fullStem);
}

bool ConversionJob::Repairing() const {
    return r_.task == JobTask::FixChecksum || r_.task == JobTask::Trim;
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
    if (r_.task == JobTask::Patch && !Patched(run, item)) {
        batch_.push_back(std::move(run));
        return;
    }
    const QString folder = JoinPath(r_.folder, item.folder);
    QString name = OutputName(item.name);
    if (r_.zip)
        name = FileFunctions::WithoutExtension(name) + QStringLiteral(".zip");
    run.report.destination = !item.destination.isEmpty() ? item.destination
                             : r_.inPlace                ? item.path
                             : r_.toStdout               ? QStringLiteral("-")
                                                         : JoinPath(folder, name);
    if (r_.inPlace && item.held) {
        Refuse(run, EngineError::Code::EntryInPlace);
        batch_.push_back(std::move(run));
        return;
    }
    if (!item.folder.isEmpty() && !r_.dryRun) {
        if (const EngineError made = SafeFile::MakeFolders(folder); made.Failed()) {
            Refuse(run, {EngineError::Code::OutputFolder, made.Text(), folder},
                   FileOutcome::Failed);
            batch_.push_back(std::move(run));
            return;
        }
    }
    TellLeftovers(run, item.destination.isEmpty() ? folder : QFileInfo(item.destination).path());
    // Descriptors held by others than the batch (inherited, a library's)
    // can run out before the batch is full: it is written early then.
    if (!batch_.empty() && !SafeFile::DescriptorsFree(3))
        Flush();
    Prepare(run, item, name);
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

// A full batch is named once the next one is full too, so that the files of
// the next one are converted while its own are flushed and named; converting
// one file at a time, there is nothing to overlap, and it is named at once.
void ConversionJob::Seal() {
    if (jobs_ == 1 || oneAtATime_)
        return Flush();
    Commit(sealed_);
    sealed_ = batch_.size();
    bytes_ = 0;
}

// Whether the job may write a file's destination: each destination once, by
// name and by the file the name leads to (a drive that ignores case gives
// two names one file), never another source, never an existing file unless
// asked to.
bool ConversionJob::MayWrite(FileRun& run, const Item& item) {
    if (r_.toStdout)
        return true;
    const QString& destination = run.report.destination;
    if (QString earlier = plan_.Claimant(destination); !earlier.isEmpty()) {
        // The claim holds once the earlier file is converted.
        if (Streamed() > 0) {
            TakeUpAll();
            earlier = plan_.Claimant(destination);
        }
        if (!earlier.isEmpty())
            return SkipSameDestination(run, earlier), false;
    }
    run.before = SafeFile::IdentityOf(destination);
    // Nothing there yet: no earlier file of the run, and no source.
    const bool there = run.before.IsValid();
    if (const QString earlier = there ? plan_.EarlierWrite(destination) : QString();
        !earlier.isEmpty())
        return SkipSameDestination(run, earlier), false;
    // A repair changes its source only when asked to; a patch never.
    if ((Repairing() || item.made != RomLayout::Unknown) && !r_.inPlace && run.before.IsValid() &&
        (!item.held || item.made != RomLayout::Unknown) &&
        SafeFile::IdentityOf(item.path) == run.before)
        return Refuse(run, item.made != RomLayout::Unknown ? EngineError::Code::PatchOverSource
                                                           : EngineError::Code::ReplacesSource),
               false;
    if (const QString why = there ? plan_.Refusal(destination, item.path, item.held) : QString();
        !why.isEmpty())
        return Refuse(run, {EngineError::Code::DestinationRefused, why}), false;
    if (r_.inPlace || !SafeFile::EntryExists(destination))
        return true;
    switch (r_.existing) {
    case JobRequest::WhenExists::Replace:
        return true;
    case JobRequest::WhenExists::Ask:
        return Asked(run);
    default:
        return SkipExisting(run), false;
    }
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

// Names a file after the DAT entry its content matches: the ROM name's last
// part, with the target layout's extension. False when it may not be written.
bool ConversionJob::NameAfterDat(FileRun& run, const RomInspector::ReadAt& read,
                                 std::int64_t length, QString* name, QString* innerName) {
    const RomInspector::Report report = RomInspector::InspectData(read, length);
    if (const DatFile::Rom* rom = r_.dats->Match(report)) {
        const QString datName = FileFunctions::GetFullStem(Archive::OwnName(rom->name));
        if (!datName.isEmpty() && datName != QLatin1String(".") && datName != QLatin1String("..")) {
            // A zip's entry is named after the DAT too.
            *innerName = datName + LayoutExtension(r_.target);
            const QString named =
                datName + (r_.zip ? QStringLiteral(".zip") : LayoutExtension(r_.target));
            run.report.destination = run.report.destination.chopped(name->size()) + named;
            *name = named;
        }
    }
    return true;
}

// Looks at a source before it is converted: the header decides its layout
// (or whether it is what a fixed mode takes); the checksum is read only to
// explain a refusal. False when it is not converted.
bool ConversionJob::Inspect(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                            RomLayout* from) {
    RomInspector::Options options;
    options.fingerprints = false;
    options.checksum = false;
    RomInspector::Report report = RomInspector::InspectData(read, length, options);
    if (report.disc)
        return Refuse(run, EngineError::Code::DiscImage), false;
    if (r_.task == JobTask::ToLayout) {
        if (report.layout == RomLayout::Unknown) {
            // Walking a tree, a file of no known layout is only counted.
            if (run.fromTree)
                return run.report.outcome = FileOutcome::PassedOver, false;
            return Refuse(run, {EngineError::Code::LayoutUnknown,
                                report.reasons.join(QStringLiteral("; "))}),
                   false;
        }
        *from = report.layout;
        if (*from == r_.target) {
            JobNotice copy = Notice(JobNotice::Kind::ByteCopy);
            copy.layout = *from;
            run.report.notices.push_back(copy);
        }
        return true;
    }
    if (report.IsOtherThan(*from)) {
        options.checksum = true;
        report = RomInspector::InspectData(read, length, options);
        Refuse(run, {EngineError::Code::LooksLike, Evidence(report), LayoutPhrase(report.layout)});
        run.report.notices.back().layout = report.layout;
        return false;
    }
    return true;
}

// A source's content, open: its file (as opened when it was looked at, or
// now), or what is held for an entry or standard input; refused when it
// cannot be opened, is empty or larger than the largest image.
EngineError ConversionJob::OpenSource(Item& item, std::unique_ptr<SafeFile::Source>* in) {
    *in = item.content ? std::move(item.content) : std::make_unique<SafeFile::Source>(item.path);
    if (!(*in)->IsOpen())
        return (*in)->Error();
    if ((*in)->Size() == 0)
        return EngineError::Code::Empty;
    if ((*in)->Size() > Limit)
        return Mod_Convert::TooLarge();
    return {};
}

void ConversionJob::Prepare(FileRun& run, Item& item, QString name) {
    QString innerName = OutputName(item.name);
    const bool datNames = r_.dats && r_.task != JobTask::Patch;
    // A patched image's destination was judged before it was made.
    if (!datNames && item.made == RomLayout::Unknown && !MayWrite(run, item))
        return;

    // Opened once: inspected and converted from the same file, read in
    // pieces (refused by its size before any of it is read, and when it
    // changes meanwhile). An archive's entry and standard input are held
    // in a file of their own.
    RomLayout from = SourceLayout(r_.mode);
    auto refuse = [&](const EngineError& error) { RefuseResult(run, error); };
    std::unique_ptr<SafeFile::Source> in;
    if (const EngineError opened = OpenSource(item, &in); opened.Failed())
        return refuse(opened);
    const std::int64_t length = in->Size();
    const RomInspector::ReadAt read = RomInspector::ReaderOf(*in);
    if (Repairing())
        return PrepareRepair(run, read, length, in.get());
    if (datNames && (!NameAfterDat(run, read, length, &name, &innerName) || !MayWrite(run, item)))
        return;
    if (item.made != RomLayout::Unknown)
        from = item.made;
    else if ((r_.task == JobTask::ToLayout || !r_.force) && !Inspect(run, read, length, &from))
        return;
    // Of the bytes read, before the conversion changes them; a size the
    // conversion refuses is refused by it, with its own reason. A file
    // streamed has it taken on the way.
    if (r_.verify && r_.zip && Mod_Convert::SizeAllowed(from, run.target, length) &&
        !Cartridge::HeaderOnly(from, length)) {
        const RomInspector::Sha1 sha = RomInspector::PlainSha1(read, length, from);
        if (sha.error.Failed())
            return Refuse(run, sha.error);
        run.sourceSha = sha.hex;
    }
    if (r_.toStdout)
        return ToStandardOutput(run, from, *in);
    if (r_.dryRun) {
        // Everything is decided as for a run; nothing is written.
        if (!Mod_Convert::SizeAllowed(from, run.target, length))
            return refuse(Mod_Convert::SizeRefused(from, run.target));
        plan_.Claim(run.report.destination, run.report.given);
        run.wouldWrite = true;
        return;
    }
    const SafeFile::Existing existing = run.existing;
    run.writer = std::make_unique<SafeFile::Writer>();
    if (const EngineError opened = converter_.OpenInto(
            from, run.target, *in, run.report.destination, existing, *run.writer);
        opened.Failed())
        return refuse(opened);
    plan_.Claim(run.report.destination, run.report.given);
    run.bytes = length;
    if (!r_.zip)
        return StreamAside(run, std::move(in), from, existing);
    // The entry of a zip is dated as its source is.
    const std::int64_t mtime =
        item.held ? item.mtime : SafeFile::Look(item.path).modified / 1000000000;
    TakeUpAll();
    if (const EngineError zipped =
            converter_.ZipInto(from, run.target, *in, innerName, mtime, *run.writer);
        zipped.Failed()) {
        plan_.Unclaim(run.report.destination);
        refuse(zipped);
    }
}

// The one image of a job to standard output, never two run together (an
// archive of several). Reading stops once standard output has failed, and
// the file fails with it.
void ConversionJob::ToStandardOutput(FileRun& run, RomLayout from, const SafeFile::Source& in) {
    if (std::exchange(toStdoutWritten_, true))
        return Refuse(run, EngineError::Code::StdoutTaken);
    int error = 0;
    const auto take = [this, &error](const char* data, std::int64_t size) {
        error = observer_.StandardOutput(data, size);
        return error == 0;
    };
    const EngineError result = converter_.StreamTo(from, run.target, in, take);
    if (result.code == EngineError::Code::WriteFailed && error != 0)
        return Refuse(
            run,
            {EngineError::Code::StdoutUnwritable, QString::fromLocal8Bit(std::strerror(error))},
            FileOutcome::Failed);
    if (result.Failed())
        RefuseResult(run, result);
}

// Converts a file's content into its open writer, with the source's
// fingerprint when one is asked for.
void ConversionJob::Stream(Streaming& task, Mod_Convert::Converter& converter) {
    if (task.hash)
        task.hash->reset();
    task.result = converter.StreamInto(task.from, task.to, *task.in, *task.writer, task.hash.get());
    if (!task.result.Failed())
        task.writer->StartWriteback();
}

// Converts a file's content into its open writer: on another thread when
// the job converts several files at once (taken up in the order of the
// files), or here and now.
void ConversionJob::StreamAside(FileRun& run, std::unique_ptr<SafeFile::Source> in, RomLayout from,
                                SafeFile::Existing existing) {
    auto task = std::make_shared<Streaming>();
    task->in = std::move(in);
    task->from = from;
    task->to = run.target;
    task->writer = run.writer.get();
    task->existing = existing;
    if (r_.verify)
        task->hash = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha1);
    run.streaming = task;
    // A few files ahead of the oldest one not yet taken up, no more: each
    // holds its source open and its pieces in memory.
    while (jobs_ > 1 && !oneAtATime_ && Streamed() >= InFlight())
        for (FileRun& earlier : batch_)
            if (earlier.streaming) {
                TakeUp(earlier);
                break;
            }
    if (jobs_ == 1 || oneAtATime_) {
        // The files before it first, in their order.
        TakeUpAll();
        Stream(*task, converter_);
        return TakeUp(run);
    }
    // Files converted side by side share only a large image's pieces.
    task->aside = true;
    aside_.Start([this, task](const InOrder<Nothing>::Give&) {
        std::unique_ptr<Mod_Convert::Converter> converter = shelf_->Take();
        converter->ShareFrom(std::int64_t(32) << 20);
        Stream(*task, *converter);
        shelf_->Give(std::move(converter));
    });
}

// What became of a file converted aside, once it is done.
void ConversionJob::TakeUp(FileRun& run) {
    if (!run.streaming)
        return;
    const std::shared_ptr<Streaming> task = std::move(run.streaming);
    // The files converted aside are taken up in their order: this is the
    // oldest not yet taken.
    if (task->aside)
        aside_.TakeNext([](Nothing&) {});
    if (task->result.code == EngineError::Code::WriteFailed && jobs_ > 1 && !task->redo) {
        // The files after it, written beside it, may be what filled the
        // drive: their content is dropped, and written again one by one once
        // this one has been tried on its own, as one at a time would have;
        // so is every file after them, as the drive is full or nearly so.
        oneAtATime_ = true;
        aside_.WaitAll();
        bool after = false;
        for (FileRun& later : batch_) {
            if (after && later.streaming) {
                later.writer->Abort();
                later.streaming->redo = true;
            }
            after = after || &later == &run;
        }
        task->redo = true;
    }
    if (task->redo) {
        run.streaming = task;
        Redo(run);
        run.streaming.reset();
    }
    task->in.reset();
    if (task->result.Failed()) {
        plan_.Unclaim(run.report.destination);
        return RefuseResult(run, task->result);
    }
    run.writingBack = true;
    if (task->hash)
        run.sourceSha = QString::fromLatin1(task->hash->result().toHex());
}

// A file whose content was dropped, written again here, on its own.
void ConversionJob::Redo(FileRun& run) {
    Streaming& task = *run.streaming;
    run.writer = std::make_unique<SafeFile::Writer>();
    task.writer = run.writer.get();
    task.result = converter_.OpenInto(task.from, task.to, *task.in, run.report.destination,
                                      task.existing, *run.writer);
    if (!task.result.Failed())
        Stream(task, converter_);
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

// Mends a file as fix-checksum or trim asks, in its own layout, and hands
// the result to a writer; a file with nothing to mend is left alone. The
// file is read in pieces; in (null for bytes in memory) tells whether it
// changed meanwhile.
void ConversionJob::PrepareRepair(FileRun& run, const RomInspector::ReadAt& read,
                                  std::int64_t length, const SafeFile::Source* in) {
    RomInspector::Options options;
    options.fingerprints = false;
    const RomInspector::Report report = RomInspector::InspectData(read, length, options);
    Repair::Plan plan;
    bool hashWritten = false;
    if (!RepairPlan(run, report, read, length, &plan, &hashWritten))
        return;
    if (r_.dryRun) {
        plan_.Claim(run.report.destination, run.report.given);
        run.wouldWrite = true;
        return;
    }
    WriteRepair(run, plan, read, in, hashWritten);
}

// What a repair changes, and what verify compares the result with: what is
// written (a checksum put in: *sha), or the source's plain content up to the
// ROM end (a trim). False when there is nothing to write.
bool ConversionJob::RepairPlan(FileRun& run, const RomInspector::Report& report,
                               const RomInspector::ReadAt& read, std::int64_t length,
                               Repair::Plan* planned, bool* sha) {
    Repair::Plan& plan = *planned;
    auto refuse = [&](const EngineError& error) {
        // Walking a tree, a file that is no cartridge is only counted.
        if (run.fromTree && error.code == EngineError::Code::NoHeader)
            run.report.outcome = FileOutcome::PassedOver;
        else
            Refuse(run, error);
        return false;
    };
    auto leaveAlone = [&](const QString& why) {
        run.report.notices.push_back(Notice(JobNotice::Kind::LeftAlone, QString(), why));
        run.report.outcome = FileOutcome::PassedOver;
        return false;
    };
    const QString end = RomInspector::Hex(report.header.romEnd, 8);
    if (r_.task == JobTask::FixChecksum) {
        Repair::Checksum checksum;
        if (const EngineError error = Repair::ChecksumOf(report, &checksum); error.Failed())
            return refuse(error);
        if (checksum.Right())
            return leaveAlone(
                QStringLiteral("the checksum %1 is right").arg(RomInspector::Hex(checksum.stored)));
        plan = Repair::PutChecksum(report.layout, length, checksum.computed);
        run.report.detail =
            QStringLiteral(" (checksum %1, was %2%3)")
                .arg(RomInspector::Hex(checksum.computed), RomInspector::Hex(checksum.stored),
                     checksum.wholeFile ? QStringLiteral("; summed over the whole file, as the "
                                                         "header's ROM end %1 is not within it")
                                              .arg(end)
                                        : QString());
        run.verifyRaw = true;
        run.verified = QStringLiteral("the checksum %1 matches; no other byte changed")
                           .arg(RomInspector::Hex(checksum.computed));
        *sha = r_.verify;
        return true;
    }
    bool cut = false;
    if (const EngineError error = Repair::Trim(report, length, r_.force, &plan, &cut);
        error.Failed())
        return refuse(error);
    if (!cut)
        return leaveAlone(QStringLiteral("it ends at the header's ROM end %1").arg(end));
    const std::int64_t declared = std::int64_t(report.header.romEnd) + 1;
    const QString tail = report.dump == RomInspector::Dump::Padded ? QStringLiteral("padding")
                         : report.dump == RomInspector::Dump::Overdump && !report.tailMirrored
                             ? QStringLiteral("other data")
                             : QStringLiteral("a mirror");
    run.report.detail = QStringLiteral(" (%1 bytes of %2 cut past the header's ROM end %3)")
                            .arg(report.plainSize - declared)
                            .arg(tail, end);
    run.verifyLayout = report.layout;
    run.verified = QStringLiteral("its plain content is the source's first %1 bytes").arg(declared);
    if (!r_.verify)
        return true;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    RomInspector::PlainStream stream(read, length, report.layout);
    std::vector<std::uint8_t> piece(std::size_t(std::min(declared, Piece)));
    for (std::int64_t offset = 0; offset < declared;) {
        const std::int64_t n = std::min(declared - offset, Piece);
        if (!stream.Get(offset, piece.data(), n))
            return Refuse(run, EngineError::Code::ReadFailed), false;
        hash.addData(QByteArrayView(piece.data(), n));
        offset += n;
    }
    run.sourceSha = QString::fromLatin1(hash.result().toHex());
    return true;
}

// Writes a repaired file; hashWritten: what is written is what verify
// compares the result with.
void ConversionJob::WriteRepair(FileRun& run, const Repair::Plan& plan,
                                const RomInspector::ReadAt& read, const SafeFile::Source* in,
                                bool hashWritten) {
    std::unique_ptr<QCryptographicHash> written;
    if (hashWritten)
        written = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha1);
    run.writer = std::make_unique<SafeFile::Writer>();
    bool stored = false;
    if (!run.writer->Open(run.report.destination,
                          r_.inPlace ? SafeFile::Existing::ReplaceAny : run.existing) ||
        (Repair::Write(plan, read, *run.writer, written.get(), &stored) && !stored)) {
        if (run.writer->NameTaken())
            return run.writer.reset(), SkipExisting(run);
        Refuse(run, run.writer->Error(), FileOutcome::Failed);
        run.writer.reset();
        return;
    }
    if (!stored || (in && !in->Unchanged())) {
        run.writer.reset();
        return Refuse(run, stored ? EngineError::Code::Changed : EngineError::Code::ReadFailed);
    }
    if (written)
        run.sourceSha = QString::fromLatin1(written->result().toHex());
    plan_.Claim(run.report.destination, run.report.given);
    run.bytes = plan.Size();
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
    for (std::size_t i = 0; i < runs.size(); ++i) {
        FileRun& run = runs[i];
        if (!run.writer)
            continue;
        switch (entries[i].outcome) {
        case SafeFile::BatchOutcome::Committed:
            continue;
        case SafeFile::BatchOutcome::Passed:
            SkipSameDestination(run, earlier[i]);
            break;
        case SafeFile::BatchOutcome::NameTaken:
            SkipExisting(run);
            break;
        case SafeFile::BatchOutcome::NotFlushed:
            Refuse(
                run,
                {EngineError::Code::NotFlushed, run.writer->Error().detail, run.report.destination},
                FileOutcome::Failed);
            continue; // named: its writer stays for what is told of it
        case SafeFile::BatchOutcome::NotWritten:
        case SafeFile::BatchOutcome::NotNamed:
            Refuse(run, {EngineError::Code::WriteFailed, run.writer->Error().detail},
                   FileOutcome::Failed);
            break;
        }
        run.writer.reset();
    }
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

// Reads every file named back, as many at once as files were converted
// (a zip's image is read into memory, so zips one at a time): the SHA-1 of
// its plain content in the layout it was written in, or of its bytes.
void ConversionJob::ReadBack(std::vector<FileRun>& runs) {
    if (!r_.verify || r_.dryRun)
        return;
    auto readBack = [this](FileRun& run) {
        const RomLayout layout = run.verifyRaw                            ? RomLayout::Plain
                                 : run.verifyLayout != RomLayout::Unknown ? run.verifyLayout
                                                                          : run.target;
        if (!r_.zip)
            return void(run.readBack = RomInspector::PlainSha1(run.report.destination, layout));
        // Read back out of the archive written.
        Archive::Entry entry;
        run.readBack.error = Archive::SingleImage(run.report.destination, Limit, &entry);
        if (!run.readBack.error.Failed())
            run.readBack = RomInspector::PlainSha1(
                RomInspector::MemoryReader(
                    reinterpret_cast<const std::uint8_t*>(entry.bytes.constData()),
                    entry.bytes.size()),
                entry.bytes.size(), run.target);
    };
    for (FileRun& run : runs) {
        if (!run.report.written)
            continue;
        if (jobs_ == 1 || r_.zip)
            readBack(run);
        else
            pool_.Start([&readBack, &run] { readBack(run); });
    }
    pool_.WaitForDone();
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
