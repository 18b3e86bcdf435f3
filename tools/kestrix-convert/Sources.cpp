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

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads a whole stream of names: a file, or standard input for "-".
bool ReadList(const QString& from, QByteArray* bytes, QString* why) {
    if (from == QLatin1String("-"))
        return ReadStandardInput(std::int64_t(1) << 30, bytes, why);
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
          output_(SafeFile::IdentityOf(arguments.output.isEmpty() ? QStringLiteral(".")
                                                                  : arguments.output)) {}

    // Walks a folder: its files in name order, then into its folders.
    void Walk(const QString& folder, const QString& relative) {
        DIR* dir = ::opendir(SafeFile::EncodeName(folder).constData());
        if (!dir) {
            const int error = errno;
            Message() << "cannot read the folder " << Quoted(folder) << ": " << std::strerror(error)
                      << "\n";
            ++gathered_->unreachable;
            return;
        }
        QList<QByteArray> names;
        while (const dirent* entry = ::readdir(dir)) {
            const QByteArray name(entry->d_name);
            if (name != "." && name != "..")
                names << name;
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        QStringList folders;
        for (const QByteArray& bytes : names) {
            const QString name = SafeFile::DecodeName(bytes);
            const QString path = JoinPath(folder, name);
            struct stat st {};
            if (::lstat(SafeFile::EncodeName(path).constData(), &st) != 0) {
                const int error = errno;
                Message() << "cannot reach " << Quoted(path) << ": " << std::strerror(error)
                          << "\n";
                ++gathered_->unreachable;
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                folders << name;
                continue;
            }
            // A link is taken when it leads to a file, never into a folder.
            if (S_ISLNK(st.st_mode) && (::stat(SafeFile::EncodeName(path).constData(), &st) != 0 ||
                                        !S_ISREG(st.st_mode))) {
                ++gathered_->skipped;
                continue;
            }
            if (!S_ISREG(st.st_mode) || !Takes(name)) {
                ++gathered_->skipped;
                continue;
            }
            gathered_->files.push_back({path, relative, true});
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

std::int64_t PullStandardInput(char* into, std::int64_t most, EngineError* why) {
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, into, std::size_t(most));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            *why = {EngineError::Code::StdinUnreadable,
                    QString::fromLocal8Bit(std::strerror(errno))};
        return got;
    }
}

bool ReadStandardInput(std::int64_t limit, QByteArray* bytes, QString* why) {
    char piece[1 << 16];
    for (;;) {
        EngineError error;
        const std::int64_t got = PullStandardInput(piece, sizeof piece, &error);
        if (got == 0)
            return true;
        if (got < 0) {
            *why = error.detail;
            return false;
        }
        if (bytes->size() + got > limit) {
            *why = QStringLiteral("it is larger than %1 MiB").arg(limit >> 20);
            return false;
        }
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
            struct stat st {};
            if (::lstat(SafeFile::EncodeName(name).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
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
