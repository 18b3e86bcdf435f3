#pragma once

#include "Audit.h"

#include <QByteArray>
#include <QString>

#include <functional>

// An audit told as kestrix-convert audit tells it, and as the audit window
// saves it: text a line a finding, or a JSON document.
namespace Audit {

// What an error says, in the words of the front end that tells it.
using Wording = std::function<QString(const EngineError&)>;

// A line a finding: its kind ("have", "incomplete", "missing", "bad dump",
// "unknown", "duplicate") in a column of ten, then the game and files.
QString TextReport(const DatFile::Index& index, const Result& result);
// The same handed on a line at a time (each with its line end), so that the
// report of a large DAT is never held whole.
void TextReport(const DatFile::Index& index, const Result& result,
                const std::function<void(const QString& line)>& take);
// The JSON document of the audit (its "schema" says which version); the
// errors of the files that could not be read in words' words (their own
// without).
QByteArray JsonReport(const DatFile::Index& index, const Result& result, const Wording& words = {});
// The counts in a line: games of the DATs, had, incomplete, missing...
QString Summary(const DatFile::Index& index, const Result& result);

} // namespace Audit
