#include "ConvertRun.h"

#include "Archive.h"
#include "BatchCommit.h"
#include "FileFunctions.h"
#include "Mod_Convert.h"
#include "Mod_File.h"
#include "Output.h"
#include "PlainStream.h"
#include "Repair.h"
#include "RomInspector.h"
#include "Sources.h"

#include <QCryptographicHash>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Each file of a batch holds a temporary name until the batch is named: half
// of what the writer can track leaves room for the others.
constexpr std::size_t MaxBatchFiles = SafeFile::MaxPendingWriters / 2;

// As many files as a batch may hold: each holds two descriptors (its content
// and its folder) until the batch is committed, and the run needs some of
// its own (the source, standard streams, an archive, the libraries', and the
// sources being converted on other threads).
std::size_t BatchFiles(std::size_t streaming) {
    const rlim_t Reserved = 16 + rlim_t(streaming);
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return MaxBatchFiles;
    const rlim_t free = limit.rlim_cur > Reserved ? limit.rlim_cur - Reserved : 0;
    return std::clamp<std::size_t>(std::size_t(free / 2), 1, MaxBatchFiles);
}
// Whether the process may open n more descriptors now.
bool DescriptorsFree(int n) {
    std::vector<int> held;
    for (int i = 0; i < n; ++i) {
        const int fd = ::open("/", O_PATH | O_CLOEXEC);
        if (fd < 0)
            break;
        held.push_back(fd);
    }
    for (const int fd : held)
        ::close(fd);
    return int(held.size()) == n;
}

// The cores this process may run on.
int Cores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? int(online) : 1;
}

constexpr std::int64_t BatchBytes = std::int64_t(256) << 20;
constexpr std::int64_t Limit = Mod_Convert::MaxSourceSize;

// How sure the detection is, in the words of a refusal.
QString Evidence(const RomInspector::Report& r) {
    if (r.certainty == RomInspector::Certainty::Certain)
        return QStringLiteral("header checksum matches");
    for (const QString& reason : r.reasons)
        if (reason.startsWith(QLatin1String("\"SEGA\"")))
            return QStringLiteral("\"SEGA\" in the header, header checksum differs");
    return QStringLiteral("SMD copier header");
}

// "to-bin", "to-smd" or "to-md".
QString TargetCommand(RomLayout target) {
    return QStringLiteral("to-") + LayoutExtension(target).mid(1);
}

QString Join(const QString& folder, const QString& name) {
    if (folder.isEmpty())
        return name;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

int ConvertRun::Run(const Gathered& gathered) {
    const Arguments& a = s_.arguments;
    total_ = int(gathered.files.size());
    jobs_ = a.jobs > 0 ? a.jobs : Cores();
    pool_.SetThreads(jobs_);
    batchFiles_ = BatchFiles(InFlight());
    // Progress on a terminal that can rewrite its line.
    progress_ = !a.quiet && ::isatty(STDERR_FILENO) && qgetenv("TERM") != QByteArrayLiteral("dumb");
    counts_[int(Outcome::PassedOver)] += gathered.skipped;
    counts_[int(Outcome::Failed)] += gathered.unreachable;
    if (gathered.unreachable > 0)
        status_ = ExitSomeFailed;
    // Every source is known before anything is written: none of them is
    // ever a destination of another.
    for (const SourceFile& file : gathered.files)
        plan_.AddSource(file.path);
    for (const SourceFile& file : gathered.files) {
        Progress(file.path);
        Source(file);
        ++done_;
    }
    Flush();
    if (progress_)
        Err() << "\r\033[K";
    ReadBack(toVerify_);
    Print(toVerify_);
    if (!a.quiet)
        Err() << "kestrix-convert: " << (a.dryRun ? "dry run, nothing written: " : "")
              << qint64(counts_[int(Outcome::Converted)])
              << (a.dryRun      ? " to write, "
                  : Repairing() ? " repaired, "
                                : " converted, ")
              << qint64(counts_[int(Outcome::Skipped)] + counts_[int(Outcome::PassedOver)])
              << " skipped, " << qint64(counts_[int(Outcome::Refused)]) << " refused, "
              << qint64(counts_[int(Outcome::Failed)]) << " failed\n";
    return status_;
}

// One progress line, rewritten in place, while standard error is a terminal.
// One progress line, rewritten in place, cut to the terminal's width: the
// files told so far, and the one being read.
void ConvertRun::Progress(const QString& name) {
    if (!progress_)
        return;
    QString line = QStringLiteral("[%1/%2] ").arg(told_).arg(total_) + Shown(name);
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
        line.size() >= size.ws_col)
        line.truncate(size.ws_col - 1);
    Err() << "\r\033[K" << line;
    Err().Flush();
}

void ConvertRun::Source(const SourceFile& file) {
    const Archive::Kind kind = Archive::KindOf(file.path);
    if (const QString misnamed = Archive::Misnamed(file.path, kind);
        !misnamed.isEmpty() && !s_.arguments.quiet)
        note_ = "kestrix-convert: note: " + Quoted(file.path) + ": " + misnamed;
    if (file.path == QLatin1String("-")) {
        // Standard input, read whole, named by --name.
        QString why;
        if (!ReadStandardInput(Limit, &stdin_, &why)) {
            FileRun run = Begin(file.path);
            Refuse(run, QStringLiteral("standard input cannot be read: ") + why);
            batch_.push_back(std::move(run));
            return;
        }
        // Named as an archive's entry is: its last part alone, so that no
        // name can place the output outside the output folder.
        One({file.path, file.path, &stdin_, Archive::OwnName(s_.arguments.name), file.folder,
             false});
        return;
    }
    if (!s_.arguments.recursive && SafeFile::IsFolder(file.path)) {
        FileRun run = Begin(file.path);
        Refuse(run, QStringLiteral("it is a folder (use -r to walk it)"));
        batch_.push_back(std::move(run));
        note_.clear();
        return;
    }
    if (kind == Archive::Kind::None) {
        One({file.path, file.path, nullptr, FileFunctions::GetFileName(file.path), file.folder,
             file.fromTree});
        note_.clear();
        return;
    }
    // Every regular file of an archive is a source of its own.
    int entries = 0;
    const EngineError read = Archive::Read(file.path, Limit, [&](Archive::Entry& entry) {
        ++entries;
        // Read-mes and pictures beside the images are only counted.
        if (Archive::IsCompanion(entry.name)) {
            ++counts_[int(Outcome::PassedOver)];
            return;
        }
        const QString given = file.path + QLatin1Char(':') + entry.name;
        if (entry.error.Failed()) {
            FileRun run = Begin(given);
            Refuse(run, entry.error.Text());
            batch_.push_back(std::move(run));
            return;
        }
        One({given, file.path, &entry.bytes, entry.name, file.folder, file.fromTree, entry.mtime});
    });
    if (read.Failed() || entries == 0) {
        FileRun run = Begin(file.path);
        Refuse(run, read.Failed() ? read.Text() : QStringLiteral("the archive holds no files"));
        batch_.push_back(std::move(run));
    }
    note_.clear();
}

// A file's run, holding the note on its source not yet told.
ConvertRun::FileRun ConvertRun::Begin(const QString& given) {
    FileRun run;
    run.given = given;
    run.source = done_;
    if (!note_.isEmpty())
        run.lines.emplace_back(true, std::exchange(note_, QString()));
    return run;
}

// Once for each folder written to: the hidden copies an interrupted run left
// there. They are not removed, as another run may be writing them now.
void ConvertRun::TellLeftovers(FileRun& run, const QString& folder) {
    if (s_.arguments.quiet || foldersSeen_.contains(folder))
        return;
    foldersSeen_.insert(folder);
    for (const QString& name : SafeFile::Leftovers(folder))
        run.lines.emplace_back(true, "kestrix-convert: note: " + Quoted(Join(folder, name)) +
                                         " is a hidden copy left by an interrupted conversion; "
                                         "remove it once no conversion is writing to " +
                                         Quoted(folder));
}

QString ConvertRun::OutputName(const QString& sourceName) const {
    // A repaired file keeps its name.
    if (Repairing())
        return sourceName;
    return ConversionPlan::DestinationName(sourceName, s_.arguments.job.target,
                                           s_.arguments.fullStem);
}

bool ConvertRun::Repairing() const {
    return s_.arguments.job.command == Command::FixChecksum ||
           s_.arguments.job.command == Command::Trim;
}

void ConvertRun::One(const Item& item) {
    FileRun run = Begin(item.given);
    run.fromTree = item.fromTree;
    const QString folder = Join(s_.folder, item.folder);
    QString name = OutputName(item.name);
    if (s_.arguments.zip)
        name = name.left(name.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".zip");
    run.destination = s_.arguments.inPlace                        ? item.path
                      : s_.arguments.output == QLatin1String("-") ? QStringLiteral("-")
                                                                  : Join(folder, name);
    if (s_.arguments.inPlace && item.bytes) {
        Refuse(run, QStringLiteral("an entry of an archive cannot be mended in place"));
        batch_.push_back(std::move(run));
        return;
    }
    // A file that an earlier one of the batch writes or replaces is read
    // once that one is in place.
    if (!batch_.empty() && !item.bytes && !ReadableBeforeBatch(item.path))
        Flush();
    if (!item.folder.isEmpty() && !s_.arguments.dryRun) {
        if (const EngineError made = SafeFile::MakeFolders(folder); made.Failed()) {
            Refuse(
                run,
                QStringLiteral("the folder %1 cannot be made: %2").arg(Quoted(folder), made.Text()),
                Outcome::Failed);
            batch_.push_back(std::move(run));
            return;
        }
    }
    TellLeftovers(run, folder);
    // Descriptors held by others than the batch (inherited, a library's)
    // can run out before the batch is full: it is written early then.
    if (!batch_.empty() && !DescriptorsFree(3))
        Flush();
    Prepare(run, item, name);
    if (run.writer) {
        // A file streamed starts its own write-back once it is written.
        if (!run.streaming && !run.writingBack)
            run.writer->StartWriteback();
        bytes_ += run.bytes;
    }
    batch_.push_back(std::move(run));
    if (batch_.size() >= batchFiles_ || bytes_ >= BatchBytes)
        Flush();
}

void ConvertRun::Prepare(FileRun& run, const Item& item, QString name) {
    const Arguments& a = s_.arguments;
    const Job& job = a.job;
    QString innerName = OutputName(item.name);
    // One run writes each destination once: by name, and by the file the
    // name leads to (a drive that ignores case gives two names one file).
    const bool toStdout = a.output == QLatin1String("-");
    auto mayWrite = [&] {
        if (toStdout)
            return true;
        if (QString earlier = plan_.Claimant(run.destination); !earlier.isEmpty()) {
            // The claim holds once the earlier file is converted.
            if (Streamed() > 0) {
                TakeUpAll();
                earlier = plan_.Claimant(run.destination);
            }
            if (!earlier.isEmpty())
                return SkipSameDestination(run, earlier), false;
        }
        run.before = SafeFile::IdentityOf(run.destination);
        if (const QString earlier = plan_.EarlierWrite(run.destination); !earlier.isEmpty())
            return SkipSameDestination(run, earlier), false;
        if (const QString why = plan_.Refusal(run.destination, item.path, item.bytes != nullptr);
            !why.isEmpty())
            return Refuse(run, why), false;
        // A repair changes its source only when asked to.
        if (Repairing() && !a.inPlace && !item.bytes && run.before.IsValid() &&
            SafeFile::IdentityOf(item.path) == run.before)
            return Refuse(run, QStringLiteral("it would replace its source: use --in-place to "
                                              "mend the file itself, or -o DIR")),
                   false;
        if (!a.overwrite && !a.inPlace && SafeFile::EntryExists(run.destination))
            return SkipExisting(run), false;
        return true;
    };
    if (!a.datNames && !mayWrite())
        return;

    // Opened once: inspected and converted from the same file, read in
    // pieces (refused by its size before any of it is read, and when it
    // changes meanwhile). An archive's entry, standard input and a zip to
    // make take the bytes in memory.
    RomLayout from = SourceLayout(job.mode);
    auto refuse = [&](ConversionResult result) {
        RefuseResult(run, result, from, converter_.Detail());
    };
    const bool streamed = !item.bytes && !a.zip;
    std::unique_ptr<SafeFile::Source> in;
    std::int64_t length = 0;
    ConversionResult result = ConversionResult::Converted;
    RomInspector::ReadAt read;
    if (streamed) {
        in = std::make_unique<SafeFile::Source>(item.path);
        if (!in->IsOpen())
            return refuse(Mod_Convert::FromSourceError(in->Error()));
        length = in->Size();
        if (length == 0)
            return refuse(ConversionResult::SourceEmpty);
        if (length > Limit)
            return refuse(ConversionResult::TooLarge);
        read = RomInspector::ReaderOf(*in);
    } else {
        result = item.bytes ? converter_.LoadBytes(*item.bytes, &length)
                            : converter_.LoadSource(item.path, &length);
        if (result != ConversionResult::Converted)
            return refuse(result);
        read = RomInspector::MemoryReader(converter_.Loaded(), length);
    }
    if (Repairing())
        return PrepareRepair(run, read, length, in.get());

    if (a.datNames) {
        // Named after the DAT entry the content matches: its ROM name's last
        // part, with the target layout's extension.
        const RomInspector::Report report = RomInspector::InspectData(read, length);
        if (const DatFile::Rom* rom = s_.dats.Match(report)) {
            QString datName = Archive::OwnName(rom->name);
            if (const qsizetype dot = datName.lastIndexOf(QLatin1Char('.')); dot > 0)
                datName.truncate(dot);
            if (!datName.isEmpty() && datName != QLatin1String(".") &&
                datName != QLatin1String("..")) {
                // A zip's entry is named after the DAT too.
                innerName = datName + LayoutExtension(job.target);
                const QString named =
                    datName + (a.zip ? QStringLiteral(".zip") : LayoutExtension(job.target));
                run.destination = run.destination.chopped(name.size()) + named;
                name = named;
            }
        }
        if (!mayWrite())
            return;
    }

    if (job.command == Command::ToLayout || !a.force) {
        // The header decides; the checksum is read only to explain a refusal.
        RomInspector::Options options;
        options.fingerprints = false;
        options.checksum = false;
        RomInspector::Report report = RomInspector::InspectData(read, length, options);
        if (report.disc)
            return Refuse(run, QStringLiteral("it is a disc image, not a cartridge"));
        if (job.command == Command::ToLayout) {
            if (report.layout == RomLayout::Unknown) {
                // Walking a tree, a file of no known layout is only counted.
                if (run.fromTree) {
                    run.outcome = Outcome::PassedOver;
                    return;
                }
                return Refuse(run, QStringLiteral("the layout is unknown (") +
                                       report.reasons.join(QStringLiteral("; ")) +
                                       QStringLiteral(")"));
            }
            from = report.layout;
            if (from == job.target && !a.quiet)
                run.lines.emplace_back(true, "kestrix-convert: note: " + Quoted(run.given) +
                                                 " is already " + LayoutPhrase(from) +
                                                 "; writing a byte copy");
        } else if (report.IsOtherThan(from)) {
            options.checksum = true;
            report = RomInspector::InspectData(read, length, options);
            const QString modes = RomInspector::ModesFor(report.layout);
            return Refuse(run, QStringLiteral("looks like %1 (%2); use %3%4")
                                   .arg(LayoutPhrase(report.layout), Evidence(report), modes,
                                        (modes.isEmpty() ? QString() : QStringLiteral(" or ")) +
                                            TargetCommand(job.target)));
        }
    }
    // Of the bytes read, before the conversion changes them; a size the
    // conversion refuses is refused by it, with its own reason.
    // A file streamed has it taken on the way.
    if (a.verify && !streamed && Mod_Convert::SizeAllowed(from, job.target, length) &&
        !(from == RomLayout::Smd && length == FileFunctions::SmdHeaderSize)) {
        const RomInspector::Sha1 sha = RomInspector::PlainSha1(read, length, from);
        if (sha.error.Failed())
            return Refuse(run, sha.error.Text());
        run.sourceSha = sha.hex;
    }
    if (toStdout) {
        // One image, never two run together (an archive of several).
        if (std::exchange(toStdoutWritten_, true))
            return Refuse(run, QStringLiteral("standard output already holds an image"));
        // Reading stops once standard output has failed, and the file
        // fails with it.
        const auto take = [](const char* data, std::int64_t size) {
            Out().Write(data, size).Flush();
            return Out().Error() == 0;
        };
        result = streamed ? converter_.StreamTo(from, job.target, *in, take)
                          : converter_.ConvertLoadedTo(from, job.target, length, take);
        if (result == ConversionResult::DestinationUnwritable && Out().Error())
            return Refuse(run,
                          QStringLiteral("standard output cannot be written: ") +
                              QString::fromLocal8Bit(std::strerror(Out().Error())),
                          Outcome::Failed);
        if (result != ConversionResult::Converted)
            return refuse(result);
        return;
    }
    if (a.dryRun) {
        // Everything is decided as for a run; nothing is written.
        if (!Mod_Convert::SizeAllowed(from, job.target, length))
            return refuse(ConversionResult::SizeRefused);
        plan_.Claim(run.destination, run.given);
        run.wouldWrite = true;
        return;
    }
    const SafeFile::Existing existing =
        a.overwrite ? SafeFile::Existing::ReplaceAny : SafeFile::Existing::Keep;
    if (streamed) {
        run.writer = std::make_unique<SafeFile::Writer>();
        result = converter_.OpenInto(from, job.target, *in, run.destination, existing, *run.writer);
        if (result != ConversionResult::Converted)
            return refuse(result);
        plan_.Claim(run.destination, run.given);
        run.bytes = length;
        return StreamAside(run, std::move(in), from, existing);
    }
    Mod_Convert::Wrap wrap;
    // The entry of a zip is dated as its source is.
    std::int64_t mtime = item.mtime;
    if (a.zip && !item.bytes) {
        struct stat st {};
        if (::stat(SafeFile::EncodeName(item.path).constData(), &st) == 0)
            mtime = std::int64_t(st.st_mtime);
    }
    if (a.zip)
        wrap = [&innerName, mtime](const char* data, std::int64_t size, QByteArray* zip) {
            return Archive::Zip(innerName, data, size, zip, mtime);
        };
    run.writer = std::make_unique<SafeFile::Writer>();
    result = converter_.ConvertLoaded(from, job.target, length, run.destination, existing,
                                      *run.writer, wrap);
    if (result != ConversionResult::Converted)
        return refuse(result);
    plan_.Claim(run.destination, run.given);
    run.bytes = converter_.ConvertedSize();
}

// Converts a file's content into its open writer, with the source's
// fingerprint when one is asked for.
void ConvertRun::Stream(Streaming& task, Mod_Convert::Converter& converter) {
    if (task.hash)
        task.hash->reset();
    task.result = converter.StreamInto(task.from, task.to, *task.in, *task.writer, task.hash.get());
    task.detail = converter.Detail();
    if (task.result == ConversionResult::Converted)
        task.writer->StartWriteback();
}

// Converts a file's content into its open writer: on another thread when
// the run converts several files at once (taken up in the order of the
// files), or here and now.
void ConvertRun::StreamAside(FileRun& run, std::unique_ptr<SafeFile::Source> in, RomLayout from,
                             SafeFile::Existing existing) {
    auto task = std::make_shared<Streaming>();
    task->in = std::move(in);
    task->from = from;
    task->to = s_.arguments.job.target;
    task->writer = run.writer.get();
    task->existing = existing;
    if (s_.arguments.verify)
        task->hash = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha1);
    task->done = task->finished.get_future();
    run.streaming = task;
    // Files converted side by side share only a large image's pieces too.
    const std::int64_t shareFrom = jobs_ > 1 ? std::int64_t(32) << 20 : std::int64_t(1) << 20;
    auto work = [task, shareFrom] {
        // One converter a thread, keeping its buffers from file to file.
        thread_local Mod_Convert::Converter converter;
        converter.ShareFrom(shareFrom);
        Stream(*task, converter);
        task->finished.set_value();
    };
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
        work();
        return TakeUp(run);
    }
    pool_.Start(work);
}

// What became of a file converted aside, once it is done.
void ConvertRun::TakeUp(FileRun& run) {
    if (!run.streaming)
        return;
    const std::shared_ptr<Streaming> task = std::move(run.streaming);
    task->done.wait();
    if (task->result == ConversionResult::DestinationUnwritable && jobs_ > 1 && !task->redo) {
        // The files after it, written beside it, may be what filled the
        // drive: their content is dropped, and written again one by one once
        // this one has been tried on its own, as one at a time would have;
        // so is every file after them, as the drive is full or nearly so.
        oneAtATime_ = true;
        bool after = false;
        for (FileRun& later : batch_) {
            if (after && later.streaming) {
                later.streaming->done.wait();
                later.writer->Abort();
                later.streaming->redo = true;
            }
            after = after || &later == &run;
        }
        task->redo = true;
    }
    if (task->redo) {
        run.writer = std::make_unique<SafeFile::Writer>();
        task->writer = run.writer.get();
        task->result = converter_.OpenInto(task->from, task->to, *task->in, run.destination,
                                           task->existing, *run.writer);
        task->detail = converter_.Detail();
        if (task->result == ConversionResult::Converted)
            Stream(*task, converter_);
    }
    task->in.reset();
    if (task->result != ConversionResult::Converted) {
        plan_.Unclaim(run.destination);
        return RefuseResult(run, task->result, task->from, task->detail);
    }
    run.writingBack = true;
    if (task->hash)
        run.sourceSha = QString::fromLatin1(task->hash->result().toHex());
}

void ConvertRun::TakeUpAll() {
    for (FileRun& run : batch_)
        TakeUp(run);
}

std::size_t ConvertRun::Streamed() const {
    return std::size_t(std::count_if(batch_.begin(), batch_.end(),
                                     [](const FileRun& run) { return bool(run.streaming); }));
}

// A conversion that did not happen: why, in words, and how it counts.
void ConvertRun::RefuseResult(FileRun& run, ConversionResult result, RomLayout from,
                              const QString& detail) {
    const Job& job = s_.arguments.job;
    run.writer.reset();
    if (result == ConversionResult::DestinationExists)
        return SkipExisting(run);
    Refuse(run,
           result == ConversionResult::SizeRefused
               ? Mod_Convert::SizeRule(from, job.target)
               : Mod_File::DescribeResult(result, job.mode, detail),
           result == ConversionResult::DestinationUnwritable ? Outcome::Failed : Outcome::Refused);
}

// Mends a file as fix-checksum or trim asks, in its own layout, and hands
// the result to a writer; a file with nothing to mend is left alone. The
// file is read in pieces; in (null for bytes in memory) tells whether it
// changed meanwhile.
void ConvertRun::PrepareRepair(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                               const SafeFile::Source* in) {
    const Arguments& a = s_.arguments;
    RomInspector::Options options;
    options.fingerprints = false;
    const RomInspector::Report report = RomInspector::InspectData(read, length, options);
    auto refuse = [&](const EngineError& error) {
        // Walking a tree, a file that is no cartridge is only counted.
        if (run.fromTree && error.code == EngineError::Code::NoHeader)
            run.outcome = Outcome::PassedOver;
        else
            Refuse(run, error.Text());
    };
    auto leaveAlone = [&](const QString& why) {
        if (!a.quiet)
            run.lines.emplace_back(true, "kestrix-convert: " + Quoted(run.given) + ": " + why +
                                             "; left alone");
        run.outcome = Outcome::PassedOver;
    };
    const QString end = RomInspector::Hex(report.header.romEnd, 8);
    Repair::Plan plan;
    // What --verify compares the result with: what is written (a checksum
    // put in), or the source's plain content up to the ROM end (a trim).
    std::unique_ptr<QCryptographicHash> written;
    if (a.job.command == Command::FixChecksum) {
        Repair::Checksum checksum;
        if (const EngineError error = Repair::ChecksumOf(report, &checksum); error.Failed())
            return refuse(error);
        if (checksum.Right())
            return leaveAlone(
                QStringLiteral("the checksum %1 is right").arg(RomInspector::Hex(checksum.stored)));
        plan = Repair::PutChecksum(report.layout, length, checksum.computed);
        run.detail =
            QStringLiteral(" (checksum %1, was %2%3)")
                .arg(RomInspector::Hex(checksum.computed), RomInspector::Hex(checksum.stored),
                     checksum.wholeFile ? QStringLiteral("; summed over the whole file, as the "
                                                         "header's ROM end %1 is not within it")
                                              .arg(end)
                                        : QString());
        run.verifyRaw = true;
        run.verified = QStringLiteral("the checksum %1 matches; no other byte changed")
                           .arg(RomInspector::Hex(checksum.computed));
        if (a.verify)
            written = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha1);
    } else {
        bool cut = false;
        if (const EngineError error = Repair::Trim(report, length, a.force, &plan, &cut);
            error.Failed())
            return refuse(error);
        if (!cut)
            return leaveAlone(QStringLiteral("it ends at the header's ROM end %1").arg(end));
        const std::int64_t declared = std::int64_t(report.header.romEnd) + 1;
        const QString tail = report.dump == RomInspector::Dump::Padded ? QStringLiteral("padding")
                             : report.dump == RomInspector::Dump::Overdump && !report.tailMirrored
                                 ? QStringLiteral("other data")
                                 : QStringLiteral("a mirror");
        run.detail = QStringLiteral(" (%1 bytes of %2 cut past the header's ROM end %3)")
                         .arg(report.plainSize - declared)
                         .arg(tail, end);
        run.verifyLayout = report.layout;
        run.verified =
            QStringLiteral("its plain content is the source's first %1 bytes").arg(declared);
        if (a.verify) {
            QCryptographicHash sha(QCryptographicHash::Sha1);
            RomInspector::PlainStream stream(read, length, report.layout);
            std::vector<std::uint8_t> piece(std::size_t(std::min<std::int64_t>(declared, 4 << 20)));
            for (std::int64_t offset = 0; offset < declared;) {
                const std::int64_t n = std::min<std::int64_t>(declared - offset, 4 << 20);
                if (!stream.Get(offset, piece.data(), n))
                    return Refuse(run, Mod_File::DescribeResult(ConversionResult::SourceUnreadable,
                                                                a.job.mode, QString()));
                sha.addData(QByteArrayView(piece.data(), n));
                offset += n;
            }
            run.sourceSha = QString::fromLatin1(sha.result().toHex());
        }
    }
    if (a.dryRun) {
        plan_.Claim(run.destination, run.given);
        run.wouldWrite = true;
        return;
    }
    run.writer = std::make_unique<SafeFile::Writer>();
    bool stored = false;
    if (!run.writer->Open(run.destination, a.overwrite || a.inPlace ? SafeFile::Existing::ReplaceAny
                                                                    : SafeFile::Existing::Keep) ||
        (Repair::Write(plan, read, *run.writer, written.get(), &stored) && !stored)) {
        if (run.writer->NameTaken())
            return run.writer.reset(), SkipExisting(run);
        Refuse(run, run.writer->ErrorString(), Outcome::Failed);
        run.writer.reset();
        return;
    }
    if (!stored || (in && !in->Unchanged())) {
        run.writer.reset();
        return Refuse(run, Mod_File::DescribeResult(stored ? ConversionResult::SourceChanged
                                                           : ConversionResult::SourceUnreadable,
                                                    a.job.mode, QString()));
    }
    if (written)
        run.sourceSha = QString::fromLatin1(written->result().toHex());
    plan_.Claim(run.destination, run.given);
    run.bytes = plan.Size();
}

// Writes the batch to disk, names its files, flushes their folders and
// prints what became of each, in the order of the files.
void ConvertRun::Flush() {
    TakeUpAll();
    std::vector<SafeFile::BatchEntry> entries;
    entries.reserve(batch_.size());
    for (const FileRun& run : batch_)
        entries.push_back({run.writer.get()});
    // The earlier file a destination turned out to lead to, just before it
    // would have been named.
    std::vector<QString> earlier(batch_.size());
    SafeFile::CommitBatch(
        entries,
        [&](std::size_t i) {
            earlier[i] = plan_.EarlierWrite(batch_[i].destination);
            return earlier[i].isEmpty();
        },
        [&](std::size_t i) { Remember(batch_[i]); });
    for (std::size_t i = 0; i < batch_.size(); ++i) {
        FileRun& run = batch_[i];
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
            Refuse(run, Quoted(run.destination) + " was written, but " + run.writer->ErrorString(),
                   Outcome::Failed);
            continue; // named: its writer stays for what is reported of it
        case SafeFile::BatchOutcome::NotWritten:
        case SafeFile::BatchOutcome::NotNamed:
            Refuse(run, run.writer->ErrorString(), Outcome::Failed);
            break;
        }
        run.writer.reset();
    }
    for (FileRun& run : batch_) {
        run.named = (run.writer || run.wouldWrite) && run.outcome == Outcome::Converted;
        run.writer.reset();
    }
    // Files are read back once the whole run is named, so that nothing
    // written later (a rename in the same folder on a drive that gets it
    // wrong) can spoil a file already verified.
    if (s_.arguments.verify) {
        std::move(batch_.begin(), batch_.end(), std::back_inserter(toVerify_));
    } else {
        if (progress_ && !batch_.empty())
            Err() << "\r\033[K";
        Print(batch_);
    }
    batch_.clear();
    bytes_ = 0;
}

// What became of each file, in the order of the files.
void ConvertRun::Print(std::vector<FileRun>& runs) {
    for (FileRun& run : runs) {
        told_ = std::max(told_, run.source + 1);
        if (run.named)
            Report(run);
        // Standard output carries the records of the files written alone.
        if (!run.record.isEmpty())
            Out().Write(run.record);
        for (const auto& [error, line] : run.lines)
            (error ? Err() : Out()) << line << "\n";
        ++counts_[int(run.outcome)];
        if (run.outcome != Outcome::Converted && run.outcome != Outcome::PassedOver)
            status_ = ExitSomeFailed;
    }
    Out().Flush();
}

void ConvertRun::Report(FileRun& run) {
    const Arguments& a = s_.arguments;
    if (!a.quiet && a.output != QLatin1String("-"))
        run.record = a.null ? SafeFile::EncodeName(run.given) + '\0' +
                                  SafeFile::EncodeName(run.destination) + '\0'
                            : (Shown(run.given) + " -> " + Shown(run.destination) + run.detail +
                               QLatin1Char('\n'))
                                  .toUtf8();
    if (!a.verify || a.dryRun)
        return;
    const RomInspector::Sha1& sha = run.readBack;
    if (sha.hex != run.sourceSha) {
        run.lines.emplace_back(
            true, "kestrix-convert: verification failed for " + Quoted(run.destination) + ": " +
                      (sha.error.Failed() ? sha.error.Text()
                                          : QStringLiteral("its plain content differs from the "
                                                           "source's")));
        run.outcome = Outcome::Failed;
    } else if (!a.quiet) {
        run.lines.emplace_back(
            true, "kestrix-convert: verified " + Quoted(run.destination) + " (" +
                      (run.verified.isEmpty() ? "sha1 " + sha.hex : run.verified) + ")");
    }
}

// Reads every file named back, as many at once as files were converted
// (a zip's image is read into memory, so zips one at a time): the SHA-1 of
// its plain content in the layout it was written in, or of its bytes.
void ConvertRun::ReadBack(std::vector<FileRun>& runs) {
    const Arguments& a = s_.arguments;
    if (!a.verify || a.dryRun)
        return;
    auto readBack = [&a](FileRun& run) {
        const RomLayout layout = run.verifyRaw                            ? RomLayout::Plain
                                 : run.verifyLayout != RomLayout::Unknown ? run.verifyLayout
                                                                          : a.job.target;
        if (!a.zip)
            return void(run.readBack = RomInspector::PlainSha1(run.destination, layout));
        // Read back out of the archive written.
        Archive::Entry entry;
        run.readBack.error = Archive::SingleImage(run.destination, Limit, &entry);
        if (!run.readBack.error.Failed())
            run.readBack = RomInspector::PlainSha1(
                RomInspector::MemoryReader(
                    reinterpret_cast<const std::uint8_t*>(entry.bytes.constData()),
                    entry.bytes.size()),
                entry.bytes.size(), a.job.target);
    };
    for (FileRun& run : runs) {
        if (!run.named)
            continue;
        if (jobs_ == 1 || a.zip)
            readBack(run);
        else
            pool_.Start([&readBack, &run] { readBack(run); });
    }
    pool_.WaitForDone();
}

void ConvertRun::Refuse(FileRun& run, const QString& why, Outcome outcome) {
    run.lines.emplace_back(true, "kestrix-convert: refused " + Quoted(run.given) + ": " + why);
    run.outcome = outcome;
}

// An existing destination: skipped and told (not under -q), or, with
// --skip-existing, left alone silently without failing the run.
void ConvertRun::SkipExisting(FileRun& run) {
    if (s_.arguments.skipExisting) {
        run.outcome = Outcome::PassedOver;
        return;
    }
    if (!s_.arguments.quiet)
        run.lines.emplace_back(true, "kestrix-convert: skipped " + Quoted(run.given) + ": " +
                                         Quoted(run.destination) +
                                         " already exists (use --overwrite to replace it)");
    run.outcome = Outcome::Skipped;
}

void ConvertRun::SkipSameDestination(FileRun& run, const QString& earlier) {
    run.lines.emplace_back(true, "kestrix-convert: refused " + Quoted(run.given) + ": " +
                                     Quoted(run.destination) +
                                     " is the same file as the destination of " + Quoted(earlier) +
                                     ", written earlier in this run");
    run.outcome = Outcome::Refused;
}

// Whether a source may be read before the batch is written: not when it is
// missing (an earlier file of the run may be about to create it) or is a
// destination of the batch.
bool ConvertRun::ReadableBeforeBatch(const QString& source) const {
    const SafeFile::FileId id = SafeFile::IdentityOf(source);
    if (!id.IsValid())
        return false;
    for (const FileRun& run : batch_)
        if (run.writer && run.before == id)
            return false;
    return true;
}

void ConvertRun::Remember(const FileRun& run) {
    plan_.Written(run.destination, run.writer->Written(), run.given);
}
