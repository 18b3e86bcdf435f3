#pragma once

// The parts of a conversion job that its units share: what a file holds
// from the moment it is read until it is told.

#include "ConversionJob.h"

#include <QCryptographicHash>

// A file's content being converted on another thread: the source, open,
// is read there into the file's writer; what became of it is taken up in
// the order of the files.
struct ConversionJob::Streaming {
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

// One file, from the moment its converted bytes are in a writer until it
// is told.
struct ConversionJob::FileRun {
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
struct ConversionJob::Item {
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

inline JobNotice Notice(JobNotice::Kind kind, const QString& subject = QString(),
                        const QString& text = QString()) {
    JobNotice notice;
    notice.kind = kind;
    notice.subject = subject;
    notice.text = text;
    return notice;
}
