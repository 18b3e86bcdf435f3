#pragma once

#include "Arguments.h"
#include "DatFile.h"
#include "Patch.h"
#include "Sources.h"

#include <QString>

#include <vector>

// What a conversion run is asked to do.
struct Settings {
    Arguments arguments;
    QString folder; // empty for the current folder
    DatFile::Index dats;
    std::vector<Patch::Loaded> patches;
};

// Runs a conversion or repair job over the sources gathered and tells what
// became of each file: a record on standard output for each file written,
// notes and refusals on standard error, then the counts. The exit status.
int ConvertRun(const Settings& settings, const Gathered& gathered);
