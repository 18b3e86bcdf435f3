#include "FolderWalk.h"

#include "PathSeparator.h"
#include "SafeFile.h"

#include <QStringList>

#include <vector>

void FolderWalk::Walk(const QString& folder, const QString& relative) const {
    std::vector<SafeFile::Listed> entries;
    if (const EngineError error = SafeFile::ListFolder(folder, &entries); error.Failed()) {
        if (unread)
            unread(error);
        return;
    }
    QStringList folders;
    for (const SafeFile::Listed& entry : entries) {
        const QString path = JoinPath(folder, entry.name);
        switch (entry.kind) {
        case SafeFile::Listed::Kind::Unreachable:
            if (unreachable)
                unreachable(path, entry.why);
            break;
        case SafeFile::Listed::Kind::Folder:
            folders << entry.name;
            break;
        case SafeFile::Listed::Kind::File:
            if (file && file(path, relative, entry.name))
                break;
            [[fallthrough]];
        case SafeFile::Listed::Kind::Other:
            if (passed)
                passed();
            break;
        }
    }
    for (const QString& name : folders) {
        const QString path = JoinPath(folder, name);
        if (!leaves || !leaves(path))
            Walk(path, relative + name + PathSeparator());
    }
}

void WalkSources(const QStringList& sources, bool recursive,
                 const std::function<void(const QString& path, bool walked)>& file,
                 QStringList* unreachable, const std::atomic<bool>* stop) {
    FolderWalk walk;
    walk.file = [&file](const QString& path, const QString&, const QString&) {
        file(path, true);
        return true;
    };
    walk.leaves = [recursive](const QString&) { return !recursive; };
    walk.unread = [unreachable](const EngineError& error) { *unreachable << error.Text(); };
    walk.unreachable = [unreachable](const QString& path, const QString& why) {
        *unreachable << SafeFile::Quoted(path) + QStringLiteral(": ") + why;
    };
    for (const QString& source : sources) {
        if (stop && *stop)
            break;
        if (SafeFile::IsFolder(source))
            walk.Walk(source);
        else
            file(source, false);
    }
}
