#include "JobThreads.h"

#include "Archive.h"
#include "PlainStream.h"

#include <QCryptographicHash>

#include <mutex>
#include <utility>

// A file's content being converted on another thread: the source, open,
// is read there into the file's writer; what became of it is taken up in
// the order of the files.
struct Streaming {
    std::unique_ptr<SafeFile::Source> in;
    RomLayout from = RomLayout::Unknown;
    RomLayout to = RomLayout::Unknown;
    SafeFile::Writer* writer = nullptr;
    SafeFile::Existing existing = SafeFile::Existing::Keep;
    std::unique_ptr<QCryptographicHash> hash; // the source's plain content, for verify
    EngineError result;
    bool redo = false;  // written again here, on its own
    bool aside = false; // converted on the pool
};

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

JobThreads::JobThreads(int threads)
    : helpers_(std::max(1, SafeFile::Cores() - 1)),
      jobs_(threads > 0 ? threads : SafeFile::Cores()),
      shelf_(std::make_unique<ConverterShelf>(helpers_)) {
    converter_.ShareHelpers(&helpers_);
    pool_.SetThreads(jobs_);
}

JobThreads::~JobThreads() {
    pool_.WaitForDone();
}

// Converts a file's content into its open writer, with the source's
// fingerprint when one is asked for.
void JobThreads::Convert(Streaming& task, Mod_Convert::Converter& converter) {
    if (task.hash)
        task.hash->reset();
    task.result = converter.StreamInto(task.from, task.to, *task.in, *task.writer, task.hash.get());
    if (!task.result.Failed())
        task.writer->StartWriteback();
}

void JobThreads::Start(FileRun& run, std::unique_ptr<SafeFile::Source> in, RomLayout from,
                       SafeFile::Existing existing, bool plainSha) {
    auto task = std::make_shared<Streaming>();
    task->in = std::move(in);
    task->from = from;
    task->to = run.target;
    task->writer = run.writer.get();
    task->existing = existing;
    if (plainSha)
        task->hash = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha1);
    run.streaming = task;
    if (!SideBySide())
        return Convert(*task, converter_);
    // Files converted side by side share only a large image's pieces.
    task->aside = true;
    aside_.Start([this, task](const InOrder<Nothing>::Give&) {
        std::unique_ptr<Mod_Convert::Converter> converter = shelf_->Take();
        converter->ShareFrom(std::int64_t(32) << 20);
        Convert(*task, *converter);
        shelf_->Give(std::move(converter));
    });
}

EngineError JobThreads::TakeUp(FileRun& run, std::vector<FileRun>& batch) {
    const std::shared_ptr<Streaming> task = std::move(run.streaming);
    if (task->aside)
        aside_.TakeNext([](Nothing&) {});
    if (task->result.code == EngineError::Code::WriteFailed && jobs_ > 1 && !task->redo) {
        // The files after it, written beside it, may be what filled the
        // drive: their content is dropped, and written again one by one once
        // this one has been tried on its own, as one at a time would have;
        // so is every file after them, as the drive is full or nearly so.
        DropAfter(run, batch);
        task->redo = true;
    }
    if (task->redo) {
        run.streaming = task;
        Redo(run);
        run.streaming.reset();
    }
    task->in.reset();
    if (task->result.Failed())
        return task->result;
    run.writingBack = true;
    if (task->hash)
        run.sourceSha = QString::fromLatin1(task->hash->result().toHex());
    return {};
}

// The drive is full: every file converted beside the one that found it so,
// after it, has its content dropped and is written again one at a time.
void JobThreads::DropAfter(const FileRun& run, std::vector<FileRun>& batch) {
    oneAtATime_ = true;
    aside_.WaitAll();
    bool after = false;
    for (FileRun& later : batch) {
        if (after && later.streaming) {
            later.writer->Abort();
            later.streaming->redo = true;
        }
        after = after || &later == &run;
    }
}

// A file whose content was dropped, written again here, on its own.
void JobThreads::Redo(FileRun& run) {
    Streaming& task = *run.streaming;
    run.writer = std::make_unique<SafeFile::Writer>();
    task.writer = run.writer.get();
    task.result = converter_.OpenInto(task.from, task.to, *task.in, run.report.destination,
                                      task.existing, *run.writer);
    if (!task.result.Failed())
        Convert(task, converter_);
}

// As many files at once as files were converted (a zip's image is read into
// memory, so zips one at a time): the SHA-1 of its plain content in the
// layout it was written in, or of its bytes.
void JobThreads::ReadBack(std::vector<FileRun>& runs, bool zip) {
    auto readBack = [zip](FileRun& run) {
        const RomLayout layout = run.verifyRaw                            ? RomLayout::Plain
                                 : run.verifyLayout != RomLayout::Unknown ? run.verifyLayout
                                                                          : run.target;
        if (!zip)
            return void(run.readBack = RomInspector::PlainSha1(run.report.destination, layout));
        // Read back out of the archive written.
        Archive::Entry entry;
        run.readBack.error =
            Archive::SingleImage(run.report.destination, Mod_Convert::MaxSourceSize, &entry);
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
        if (jobs_ == 1 || zip)
            readBack(run);
        else
            pool_.Start([&readBack, &run] { readBack(run); });
    }
    pool_.WaitForDone();
}
