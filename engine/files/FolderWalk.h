#pragma once

#include "EngineError.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// A walk through a tree of folders: each folder's files in the order of
// their names, then into its folders. A link is taken when it leads to a
// file, never into a folder.
struct FolderWalk {
    // A file found: its path, its folder's path below the top one ("" or
    // ending in a separator), and its name; false when it is not taken.
    std::function<bool(const QString& path, const QString& relative, const QString& name)> file;
    // Anything not taken: a file passed over, a link to a folder, a device...
    std::function<void()> passed;
    // A folder whose walk is left out when this says so.
    std::function<bool(const QString& path)> leaves;
    // A folder that cannot be read (FolderUnread), or an entry that cannot
    // be looked at, and why.
    std::function<void(const EngineError& unread)> unread;
    std::function<void(const QString& path, const QString& why)> unreachable;

    // Walks folder, whose path below the top one is relative.
    void Walk(const QString& folder, const QString& relative = QString()) const;
};

// The files of what a user named: each file itself, each folder's files (and
// its folders' with recursive), in the walk's order; walked says which came
// from a folder. What cannot be reached is told in words into unreachable.
// A stop flag ends the walk before the next source.
void WalkSources(const QStringList& sources, bool recursive,
                 const std::function<void(const QString& path, bool walked)>& file,
                 QStringList* unreachable, const std::atomic<bool>* stop = nullptr);
