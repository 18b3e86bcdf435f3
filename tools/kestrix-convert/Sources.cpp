#include "Sources.h"

#include "Archive.h"
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

class Walker {
public:
    Walker(const Arguments& arguments, Gathered* gathered)
        : arguments_(arguments), gathered_(gathered),
          extension_(arguments.job.command == Command::Mode
                         ? LayoutExtension(SourceLayout(arguments.job.mode))
                         : QString()),
          // An audit writes nothing into a folder: every folder is walked.
          output_(arguments.job.command == Command::Audit
                      ? SafeFile::FileId()
                      : SafeFile::IdentityOf(arguments.output.isEmpty() ? QStringLiteral(".")
                                                                        : arguments.output)) {}

    // Walks a folder: its files in name order, then into its folders.
    void Walk(const QString& folder, const QString& relative) {
        std::vector<SafeFile::Listed> entries;
        if (const EngineError unread = SafeFile::ListFolder(folder, &entries); unread.Failed()) {
            Message() << Told(unread) << "\n";
            ++gathered_->unreachable;
            return;
        }
        QStringList folders;
        for (const SafeFile::Listed& entry : entries) {
            const QString path = JoinPath(folder, entry.name);
            switch (entry.kind) {
            case SafeFile::Listed::Kind::Unreachable:
                Message() << "cannot reach " << Quoted(path) << ": " << entry.why << "\n";
                ++gathered_->unreachable;
                break;
            case SafeFile::Listed::Kind::Folder:
                folders << entry.name;
                break;
            // A link is taken when it leads to a file, never into a folder.
            case SafeFile::Listed::Kind::File:
                if (Takes(entry.name)) {
                    gathered_->files.push_back({path, relative, true});
                    break;
                }
                [[fallthrough]];
            case SafeFile::Listed::Kind::Other:
                ++gathered_->skipped;
                break;
            }
        }
        for (const QString& name : folders) {
            // The output folder inside a tree holds this run's results, not
            // its sources: walking it would convert the last run's outputs.
            const QString path = JoinPath(folder, name);
            if (output_.IsValid() && SafeFile::IdentityOf(path) == output_)
                continue;
            Walk(path, relative + name + PathSeparator());
        }
    }

private:
    // A fixed mode takes files with its source extension, and archives; the
    // to- commands take every file and judge it by its content.
    bool Takes(const QString& name) const {
        return extension_.isEmpty() || Archive::NamedAsArchive(name) ||
               name.endsWith(extension_, Qt::CaseInsensitive);
    }

    const Arguments& arguments_;
    Gathered* gathered_;
    QString extension_;
    SafeFile::FileId output_;
};

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
    Walker walker(arguments, gathered);
    for (const QString& name : names) {
        if (arguments.recursive && SafeFile::IsFolder(name)) {
            // Links to folders are not followed, not even as arguments.
            if (SafeFile::IsLink(name)) {
                ++gathered->skipped;
                continue;
            }
            walker.Walk(name, QString());
        } else {
            gathered->files.push_back({name, QString(), false});
        }
    }
    return true;
}
