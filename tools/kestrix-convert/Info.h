#pragma once

#include "DatFile.h"

#include <QStringList>

// Reads the DAT files named; false after one message when one cannot be read.
bool LoadDats(const QStringList& paths, DatFile::Index& index);

// kestrix-convert info: a report for each file (for each entry of an
// archive), as text as soon as it and those before it are done, or as one
// JSON array. The exit status.
// jobs: how many files are inspected at once; 0 for one a core. A file "-"
// is standard input, shown under stdinName when there is one.
int Info(const QStringList& files, bool json, const QStringList& dats, int jobs = 0,
         const QString& stdinName = QString());
