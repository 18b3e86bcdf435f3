#include "Info.h"

#include "Arguments.h"
#include "InspectFiles.h"
#include "Output.h"
#include "Patch.h"
#include "RomInspector.h"
#include "RomReport.h"
#include "Sources.h"

#include <QJsonDocument>

#include <utility>

namespace {

// One report after another: as text, a blank line between two, or as
// the objects of the JSON array.
class Reports {
public:
    void Text(const QString& file, const std::vector<RomReport::Line>& lines) {
        if (!std::exchange(first_, false))
            Out() << "\n";
        Out() << Shown(file) << "\n";
        for (const RomReport::Line& line : lines)
            Out() << "  " << line.label.leftJustified(11) << line.value << "\n";
        Out().Flush();
    }
    void Json(const QJsonObject& object) {
        const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented).trimmed();
        Out() << (std::exchange(first_, false) ? "\n        " : ",\n        ")
              << QString::fromUtf8(text).replace(QLatin1Char('\n'), QStringLiteral("\n        "));
        Out().Flush();
    }
    bool None() const { return first_; }

private:
    bool first_ = true;
};

} // namespace

bool LoadDats(const QStringList& paths, DatFile::Index& index, bool cache) {
    if (cache)
        index.UseCache();
    for (const QString& path : paths) {
        if (const EngineError loaded = index.Load(path); loaded.Failed()) {
            Message() << "cannot read the DAT file " << loaded.Text() << "\n";
            return false;
        }
    }
    for (const QString& warning : index.Warnings())
        Message() << "warning: " << warning << "\n";
    return true;
}

// A patch says what it is made for and what it makes; false when it cannot
// be read.
bool Describe(const QString& path, bool json, Reports& reports) {
    Patch::Loaded patch;
    const EngineError loaded = Patch::Load(path, &patch);
    if (loaded.Failed()) {
        Message() << "cannot inspect " << loaded.Text() << "\n";
        Err().Flush();
    }
    if (json)
        reports.Json(RomReport::PatchJson(patch, Shown(path), loaded));
    else if (!loaded.Failed())
        reports.Text(path, RomReport::PatchLines(patch.description));
    return !loaded.Failed();
}

int Info(const QStringList& files, bool json, const QStringList& dats, bool cache, int jobs,
         const QString& stdinName) {
    DatFile::Index index;
    if (!LoadDats(dats, index, cache))
        return ExitSomeFailed;
    auto datOf = [&](const RomInspector::Report& r) {
        DatFile::Found found = dats.isEmpty() ? DatFile::Found() : index.Find(r);
        return RomReport::Dat{!dats.isEmpty(), std::move(found.rom), found.form};
    };
    int status = ExitConverted;
    Reports reports;
    // Each object is written as soon as it is done, not gathered first.
    if (json)
        Out() << "{\n    \"schema\": " << qint64(RomReport::JsonSchema) << ",\n    \"files\": [";
    // The images between two patches are inspected together, several at once.
    RomInspector::InspectionThreads threads(jobs);
    QStringList images;
    auto inspect = [&] {
        if (images.isEmpty())
            return;
        RomInspector::InspectFiles(
            images, threads, ReadStandardInput, stdinName,
            [&](const RomInspector::Report& r) {
                if (!r.Inspected()) {
                    status = ExitSomeFailed;
                    Message() << "cannot inspect " << Quoted(r.file) << ": " << Told(r.error)
                              << "\n";
                    Err().Flush();
                }
                if (json)
                    reports.Json(RomReport::Json(r, Shown(r.file), datOf(r)));
                else if (r.Inspected())
                    reports.Text(r.file, RomReport::Lines(r, datOf(r)));
            },
            // A DAT may list a dump as its file is, not as its plain content.
            !dats.isEmpty());
        images.clear();
    };
    for (const QString& file : files) {
        if (file != QLatin1String("-") && Patch::IsPatchFile(file)) {
            inspect();
            if (!Describe(file, json, reports))
                status = ExitSomeFailed;
        } else {
            images << file;
        }
    }
    inspect();
    if (json)
        Out() << (reports.None() ? "]\n}\n" : "\n    ]\n}\n");
    return status;
}
