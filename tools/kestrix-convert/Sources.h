#pragma once

#include "Arguments.h"
#include "ConversionJob.h"
#include "EngineError.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

#include <vector>

// The sources a run takes, each as the job takes it (JobSource: a file, an
// archive standing for its entries, and the folder its outputs go into).
struct Gathered {
    std::vector<JobSource> files;
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

// Standard input read whole, up to limit bytes; why when it cannot be read
// or is larger (StdinUnreadable).
EngineError ReadStandardInput(std::int64_t limit, QByteArray* bytes);
