#pragma once

#include "JobParts.h"
#include "WorkerPool.h"

#include <memory>
#include <vector>

class ConverterShelf;

// The threads of a job: a file's content converted into its writer on
// another thread (several files at once where the job asks for more than
// one), each taken up in the order of the files; the helpers that share a
// large image's pieces; and the pool the files are read back on.
class JobThreads {
public:
    // threads: files converted at once; 0 for one a core.
    explicit JobThreads(int threads);
    ~JobThreads();
    JobThreads(const JobThreads&) = delete;
    JobThreads& operator=(const JobThreads&) = delete;

    int Jobs() const { return jobs_; }
    // Whether files are converted side by side now: more than one at once,
    // and no file has found the drive full.
    bool SideBySide() const { return jobs_ > 1 && !oneAtATime_; }
    // The most sources converted on other threads at once.
    // A few for each thread, so that one large file, taken up in its turn,
    // does not leave the others without work; never more than the two
    // batches open at once hold.
    std::size_t InFlight() const {
        return jobs_ > 1
                   ? std::min(std::size_t(8 * jobs_), std::size_t(SafeFile::MaxPendingWriters / 2))
                   : 0;
    }
    // The converter of the job's own thread.
    Mod_Convert::Converter& Here() { return converter_; }
    WorkerPool& Pool() { return pool_; }
    WorkerPool& Helpers() { return helpers_; }

    // Converts a file's content into its open writer: on another thread when
    // the files go side by side, or here and now; plainSha: the source's
    // plain content is fingerprinted on the way, for verify.
    void Start(FileRun& run, std::unique_ptr<SafeFile::Source> in, RomLayout from,
               SafeFile::Existing existing, bool plainSha);
    // What became of a file's conversion, once it is done (files converted
    // aside are taken up in their order: this is the oldest not yet taken).
    // A write that found the drive full drops the content of the files of
    // batch after it, and everything is converted one at a time from then on.
    EngineError TakeUp(FileRun& run, std::vector<FileRun>& batch);

    // Reads back every file of runs written: what verify compares.
    void ReadBack(std::vector<FileRun>& runs, bool zip);

private:
    void Convert(Streaming& task, Mod_Convert::Converter& converter);
    void DropAfter(const FileRun& run, std::vector<FileRun>& batch);
    void Redo(FileRun& run);

    // The threads that help convert a large image, for all the converters.
    WorkerPool helpers_;
    Mod_Convert::Converter converter_;
    int jobs_ = 1;
    // Once a file has found the drive full: the rest is converted one file
    // at a time, so that the same files fit as with one thread.
    bool oneAtATime_ = false;
    WorkerPool pool_; // converts files, when more than one, and reads them back
    struct Nothing {};
    InOrder<Nothing> aside_{pool_}; // the files converted on the pool
    // Converters for the pool's threads.
    std::unique_ptr<ConverterShelf> shelf_;
};
