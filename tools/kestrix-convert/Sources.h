#pragma once

#include "Arguments.h"
#include "EngineError.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

#include <vector>

// One source the run takes: a file (an archive stands for its entries) and
// the folder, relative to the output folder, its outputs go into.
struct SourceFile {
    QString path;
    QString folder; // "" or "sub/dir/"
    bool fromTree = false;
};

struct Gathered {
    std::vector<SourceFile> files;
    // Files of the trees walked that the mode does not take: counted only.
    int skipped = 0;
    // Files and folders of the trees that cannot be reached (a path longer
    // than the system takes, a folder that cannot be read): told as they are
    // found, and counted failed.
    int unreachable = 0;
};

// The sources of a run: the names given, those read with --files-from, and
// with -r the files of the folders among them (walked without following
// links to folders; in a fixed mode only files with its source extension
// and archives). False, after one message, when a list cannot be read.
bool GatherSources(const Arguments& arguments, Gathered* gathered);

// Standard input read whole, up to limit bytes; false, and why, when it
// cannot be read or is larger.
bool ReadStandardInput(std::int64_t limit, QByteArray* bytes, QString* why);
