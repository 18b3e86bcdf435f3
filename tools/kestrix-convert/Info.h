#pragma once

#include "DatFile.h"

#include <QStringList>

// Reads the DAT files named; false after one message when one cannot be read.
// Loads the DAT files into index, the first taken from the cache of read
// DATs where it was read before (unless cache is false); false, said once,
// when one cannot be read.
bool LoadDats(const QStringList& paths, DatFile::Index& index, bool cache);

// kestrix-convert info: a report for each file (for each entry of an
// archive), as text as soon as it and those before it are done, or as one
// JSON array. The exit status.
// jobs: how many files are inspected at once; 0 for one a core. A file "-"
// is standard input, shown under stdinName when there is one.
int Info(const QStringList& files, bool json, const QStringList& dats, bool cache, int jobs = 0,
         const QString& stdinName = QString());
