#include "Sources.h"

#include "Archive.h"
#include "FolderWalk.h"
#include "Output.h"
#include "PathSeparator.h"
#include "RomLayout.h"
#include "SafeFile.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Reads a whole stream of names: a file, or standard input for "-".
bool ReadList(const QString& from, QByteArray* bytes, QString* why) {
    if (from == QLatin1String("-")) {
        const EngineError read = ReadStandardInput(std::int64_t(1) << 30, bytes);
        *why = read.detail;
        return !read.Failed();
    }
    const SafeFile::Source source(from);
    if (!source.IsOpen()) {
        *why = source.Error().Text();
        return false;
    }
    bytes->resize(source.Size());
    if (!source.ReadAt(0, bytes->data(), bytes->size())) {
        *why = QStringLiteral("the file cannot be read");
        return false;
    }
    return true;
}

// The walk of a run's folders: in a fixed mode only files with its source
// extension and archives are taken, and never the output folder's.
FolderWalk Walker(const Arguments& arguments, Gathered* gathered) {
    const QString extension = arguments.job.command == Command::Mode
                                  ? LayoutExtension(SourceLayout(arguments.job.mode))
                                  : QString();
    // An audit writes nothing into a folder: every folder is walked.
    const SafeFile::FileId output =
        arguments.job.command == Command::Audit
            ? SafeFile::FileId()
            : SafeFile::IdentityOf(arguments.output.isEmpty() ? QStringLiteral(".")
                                                              : arguments.output);
    FolderWalk walk;
    walk.file = [gathered, extension](const QString& path, const QString& relative,
                                      const QString& name) {
        // The to- commands take every file and judge it by its content.
        if (!extension.isEmpty() && !Archive::NamedAsArchive(name) &&
            !name.endsWith(extension, Qt::CaseInsensitive))
            return false;
        gathered->files.push_back({path, relative, true});
        return true;
    };
    walk.passed = [gathered] { ++gathered->skipped; };
    // The output folder inside a tree holds this run's results, not its
    // sources: walking it would convert the last run's outputs.
    walk.leaves = [output](const QString& path) {
        return output.IsValid() && SafeFile::IdentityOf(path) == output;
    };
    walk.unread = [gathered](const EngineError& error) {
        Message() << Told(error) << "\n";
        ++gathered->unreachable;
    };
    walk.unreachable = [gathered](const QString& path, const QString& why) {
        Message() << "cannot reach " << Quoted(path) << ": " << why << "\n";
        ++gathered->unreachable;
    };
    return walk;
}

} // namespace

EngineError ReadStandardInput(std::int64_t limit, QByteArray* bytes) {
    char piece[1 << 16];
    for (;;) {
        EngineError error;
        const std::int64_t got = SafeFile::PullStandardInput(piece, sizeof piece, &error);
        if (got == 0)
            return {};
        if (got < 0)
            return {EngineError::Code::StdinUnreadable, error.detail};
        if (bytes->size() + got > limit)
            return {EngineError::Code::StdinUnreadable,
                    QStringLiteral("it is larger than %1 MiB").arg(limit >> 20)};
        bytes->append(piece, got);
    }
}

bool GatherSources(const Arguments& arguments, Gathered* gathered) {
    QStringList names = arguments.files;
    if (arguments.filesFromSet) {
        QByteArray list;
        QString why;
        if (!ReadList(arguments.filesFrom, &list, &why)) {
            Message() << "cannot read the list "
                      << (arguments.filesFrom == QLatin1String("-")
                              ? QStringLiteral("on standard input")
                              : Quoted(arguments.filesFrom))
                      << ": " << why << "\n";
            return false;
        }
        for (const QByteArray& name : list.split(arguments.null ? '\0' : '\n'))
            if (!name.isEmpty())
                names << SafeFile::DecodeName(name);
    }
    const FolderWalk walker = Walker(arguments, gathered);
    for (const QString& name : names) {
        if (arguments.recursive && SafeFile::IsFolder(name)) {
            // Links to folders are not followed, not even as arguments.
            if (SafeFile::IsLink(name)) {
                ++gathered->skipped;
                continue;
            }
            walker.Walk(name);
        } else {
            gathered->files.push_back({name, QString(), false});
        }
    }
    return true;
}
