#pragma once

#include <QStringList>

#include <functional>

class QDropEvent;
class QListWidget;

// The lists of files and folders the tool windows keep: full paths with the
// system's separators, each once, in the order added.
namespace PathList {

void Add(QListWidget* list, const QStringList& paths);
QStringList Paths(const QListWidget* list);

// Files dropped on a window, each where it belongs: DAT files (known by
// their content) to dats, other files and folders to sources.
void Drop(QDropEvent* event, const std::function<void(const QStringList&)>& dats,
          const std::function<void(const QStringList&)>& sources);

} // namespace PathList
