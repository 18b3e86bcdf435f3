#pragma once

#include "DatFile.h"
#include "Patch.h"
#include "RomInspector.h"

#include <QJsonObject>
#include <QString>

#include <utility>
#include <vector>

// A report of the inspector as people and programs read it: the one set of
// labelled lines that `kestrix-convert info` prints and the conversion
// window shows as a line's tooltip, and the JSON object of `info --json`.
namespace RomReport {

struct Line {
    QString label; // "size", "layout", "dump", ... empty for a further reason
    QString value;
};

// What DAT files said of a report's file: nothing asked, or the entry it
// matches (null when none does).
struct Dat {
    bool asked = false;
    std::optional<DatFile::Rom> match;
    DatFile::Form form = DatFile::Form::None; // which hashes matched
};

// The lines of a report; a file that could not be inspected has none.
std::vector<Line> Lines(const RomInspector::Report& report, const Dat& dat = {});

// The JSON object of a report, under the name shown for its file. Every
// object has the same keys; those that do not apply to the file, or whose
// value is not known, are null. The schema's version, which changes when a
// key changes its meaning or goes:
inline constexpr int JsonSchema = 3;
QJsonObject Json(const RomInspector::Report& report, const QString& name, const Dat& dat = {});

// The same of a patch: what it says of itself. Its object has the keys of
// an image's, those null, "kind" "patch" (an image's "image") and the
// patch's fields under "patch"; error, when set, says why it cannot be
// applied.
std::vector<Line> PatchLines(const Patch::Description& patch);
QJsonObject PatchJson(const Patch::Loaded& patch, const QString& name, const EngineError& error);

} // namespace RomReport
