#pragma once

#include "Arguments.h"
#include "ConversionPlan.h"
#include "DatFile.h"
#include "Mod_Convert.h"
#include "RomInspector.h"
#include "SafeFile.h"
#include "Sources.h"
#include "WorkerPool.h"

#include <QCryptographicHash>
#include <QSet>
#include <QString>

#include <cstdint>
#include <future>
#include <memory>
#include <vector>

// What a conversion run is asked to do.
struct Settings {
    Arguments arguments;
    QString folder; // empty for the current folder
    DatFile::Index dats;
};

// Converts the sources of a run. Converted files are committed in batches,
// so that the disk is flushed once for many files: every file's content is
// on disk before its name appears, and its folder is flushed before the
// file is reported as converted.
class ConvertRun {
public:
    explicit ConvertRun(const Settings& settings) : s_(settings) {}
    int Run(const Gathered& gathered);

private:
    // PassedOver: a file of a tree walked that the mode does not take; it
    // counts as skipped but does not make the run fail.
    enum class Outcome { Converted, Skipped, Refused, Failed, PassedOver };

    // A file's content being converted on another thread: the source, open,
    // is read there into the file's writer; what became of it is taken up
    // in the order of the files.
    struct Streaming {
        std::unique_ptr<SafeFile::Source> in;
        RomLayout from = RomLayout::Unknown;
        RomLayout to = RomLayout::Unknown;
        SafeFile::Writer* writer = nullptr;
        SafeFile::Existing existing = SafeFile::Existing::Keep;
        QCryptographicHash* sha = nullptr; // the source's plain content, for --verify
        std::unique_ptr<QCryptographicHash> hash;
        ConversionResult result = ConversionResult::Converted;
        QString detail;
        bool redo = false; // written again here, on its own
        std::promise<void> finished;
        std::future<void> done;
    };

    // One source, from the moment its converted bytes are in a writer until
    // its lines are printed.
    struct FileRun {
        QString given; // as shown: the name, or "archive.zip:entry"
        QString destination;
        std::unique_ptr<SafeFile::Writer> writer;
        SafeFile::FileId before; // what the destination's name led to before
        std::int64_t bytes = 0;
        QString sourceSha;
        // What to print once the file is done, in order: true for errors.
        std::vector<std::pair<bool, QString>> lines;
        Outcome outcome = Outcome::Converted;
        bool fromTree = false;
        bool named = false; // written and named: reported as converted
        // Told after "given -> destination": what a repair did.
        QString detail;
        // What --verify reads back: the plain content in this layout (the
        // target's when unknown), or the file's bytes as they are.
        RomLayout verifyLayout = RomLayout::Unknown;
        bool verifyRaw = false;
        QString verified;                     // told when it holds, instead of the SHA-1
        QByteArray record;                    // for standard output: source -> destination
        int source = 0;                       // which source of the run it comes from
        bool wouldWrite = false;              // a dry run's file that would be written
        RomInspector::Sha1 readBack;          // what --verify read of it
        std::shared_ptr<Streaming> streaming; // until it is taken up
        bool writingBack = false;             // its write-back started
    };
    // Where a source's bytes come from: a file, or an archive's entry.
    struct Item {
        QString given;
        QString path;            // the file, or the archive
        const QByteArray* bytes; // an entry's content, or null
        QString name;            // the name its output is named after
        QString folder;          // relative output folder
        bool fromTree;
        std::int64_t mtime = 0; // an entry's time (a file's is asked of it)
    };

    void Source(const SourceFile& file);
    void One(const Item& item);
    void Prepare(FileRun& run, const Item& item, QString name);
    void PrepareRepair(FileRun& run, const RomInspector::ReadAt& read, std::int64_t length,
                       const SafeFile::Source* in);
    bool Repairing() const;
    void Flush();
    void StreamAside(FileRun& run, std::unique_ptr<SafeFile::Source> in, RomLayout from,
                     SafeFile::Existing existing);
    static void Stream(Streaming& task, Mod_Convert::Converter& converter);
    void TakeUp(FileRun& run);
    void TakeUpAll();
    std::size_t Streamed() const;
    // The most sources converted on other threads at once.
    std::size_t InFlight() const { return jobs_ > 1 ? std::size_t(2 * jobs_) : 0; }
    void RefuseResult(FileRun& run, ConversionResult result, RomLayout from, const QString& detail);
    void Report(FileRun& run);
    void ReadBack(std::vector<FileRun>& runs);
    void Print(std::vector<FileRun>& runs);
    void Progress(const QString& name);

    void Refuse(FileRun& run, const QString& why, Outcome outcome = Outcome::Refused);
    void SkipExisting(FileRun& run);
    void SkipSameDestination(FileRun& run, const QString& earlier);
    bool ReadableBeforeBatch(const QString& source) const;
    void Remember(const FileRun& run);
    QString OutputName(const QString& sourceName) const;
    void TellLeftovers(FileRun& run, const QString& folder);
    FileRun Begin(const QString& given);

    const Settings& s_;
    Mod_Convert::Converter converter_;
    int jobs_ = 1; // files converted at once
    // Once a file has found the drive full: the rest is converted one file
    // at a time, so that the same files fit as with -j 1.
    bool oneAtATime_ = false;
    WorkerPool pool_; // converts them, when more than one
    ConversionPlan plan_;
    std::vector<FileRun> batch_;
    std::vector<FileRun> toVerify_; // named, read back at the end of the run
    QSet<QString> foldersSeen_;
    QString note_;                 // on the source being read, for its first file's lines
    QByteArray stdin_;             // standard input, read whole as a source
    int told_ = 0;                 // sources whose files have all been told
    bool toStdoutWritten_ = false; // -o -: the one image is out
    std::int64_t bytes_ = 0;
    std::size_t batchFiles_ = 1;
    int counts_[5] = {}; // by Outcome
    int done_ = 0;
    int total_ = 0;
    bool progress_ = false;
    int status_ = ExitConverted;
};
