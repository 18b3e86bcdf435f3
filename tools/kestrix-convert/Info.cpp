#include "Info.h"

#include "Arguments.h"
#include "InspectFiles.h"
#include "Output.h"
#include "RomInspector.h"
#include "RomReport.h"
#include "Sources.h"

#include <QJsonDocument>

namespace {

void PrintText(const RomInspector::Report& r, const RomReport::Dat& dat) {
    Out() << Shown(r.file) << "\n";
    for (const RomReport::Line& line : RomReport::Lines(r, dat))
        Out() << "  " << line.label.leftJustified(11) << line.value << "\n";
}

} // namespace

bool LoadDats(const QStringList& paths, DatFile::Index& index) {
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

int Info(const QStringList& files, bool json, const QStringList& dats, int jobs,
         const QString& stdinName) {
    DatFile::Index index;
    if (!LoadDats(dats, index))
        return ExitSomeFailed;
    auto datOf = [&](const RomInspector::Report& r) {
        return RomReport::Dat{!dats.isEmpty(), dats.isEmpty() ? nullptr : index.Match(r)};
    };
    int status = ExitConverted;
    bool first = true;
    // Each object is written as soon as it is done, not gathered first.
    if (json)
        Out() << "{\n    \"schema\": " << qint64(RomReport::JsonSchema) << ",\n    \"files\": [";
    const auto standardInput = [](std::int64_t limit, QByteArray* bytes) {
        QString why;
        if (!ReadStandardInput(limit, bytes, &why))
            return EngineError(EngineError::Code::StdinUnreadable, why);
        return EngineError();
    };
    RomInspector::InspectFiles(
        files, jobs, standardInput, stdinName, [&](const RomInspector::Report& r) {
            if (!r.Inspected()) {
                status = ExitSomeFailed;
                Message() << "cannot inspect " << Quoted(r.file) << ": " << r.error.Text() << "\n";
                Err().Flush();
            }
            if (json) {
                const QByteArray object = QJsonDocument(RomReport::Json(r, Shown(r.file), datOf(r)))
                                              .toJson(QJsonDocument::Indented)
                                              .trimmed();
                Out() << (first ? "\n        " : ",\n        ")
                      << QString::fromUtf8(object).replace(QLatin1Char('\n'),
                                                           QStringLiteral("\n        "));
                first = false;
                Out().Flush();
            } else if (r.Inspected()) {
                if (!first)
                    Out() << "\n";
                first = false;
                PrintText(r, datOf(r));
                Out().Flush();
            }
        });
    if (json)
        Out() << (first ? "]\n}\n" : "\n    ]\n}\n");
    return status;
}
