#include "AuditRun.h"

#include "Audit.h"
#include "AuditReport.h"
#include "Info.h"
#include "InspectFiles.h"
#include "Output.h"
#include "SafeFile.h"

#include <optional>

namespace {

// Why the fixdat may not be written where it is asked for, before anything
// is read: it would replace a file this run reads (a DAT, an image, the list
// of names), or, without --overwrite, any file at all.
QString FixdatRefused(const Arguments& a, const QStringList& files,
                      const std::vector<SafeFile::FileId>& ids) {
    const SafeFile::FileId fixdat = SafeFile::IdentityOf(a.fixdat);
    if (!fixdat.IsValid())
        return SafeFile::EntryExists(a.fixdat) && !a.overwrite
                   ? QStringLiteral("something of that name is there (use --overwrite to replace "
                                    "it)")
                   : QString();
    if (const QString why = Audit::ReadByAudit(a.fixdat, a.dats, files, ids); !why.isEmpty())
        return why;
    if (a.filesFromSet && a.filesFrom != QLatin1String("-") &&
        SafeFile::IdentityOf(a.filesFrom) == fixdat)
        return QStringLiteral("it is the list of files %1, which this run reads")
            .arg(Quoted(a.filesFrom));
    if (!a.overwrite)
        return QStringLiteral("it already exists (use --overwrite to replace it)");
    return QString();
}

} // namespace

int AuditRun(const Arguments& a, const Gathered& gathered) {
    std::vector<SafeFile::FileId> ids;
    QStringList paths;
    for (const JobSource& file : gathered.files)
        paths << file.path;
    const QStringList files = Audit::OnceEach(paths, &ids);
    if (!a.fixdat.isEmpty()) {
        if (const QString why = FixdatRefused(a, files, ids); !why.isEmpty()) {
            Message() << EngineError(EngineError::Code::FixdatFailed, why, a.fixdat).Text() << "\n";
            return ExitSomeFailed;
        }
    }
    DatFile::Index index;
    if (!LoadDats(a.dats, index, !a.noCache))
        return ExitSomeFailed;
    RomInspector::InspectionThreads threads(a.jobs);
    std::optional<FingerprintCache> cache;
    if (!a.noCache)
        cache.emplace();
    const Audit::Result result = Audit::Check(index, files, threads, ReadStandardInput, a.name, {},
                                              nullptr, cache ? &*cache : nullptr);
    if (cache) {
        cache->Save();
        if (const QString trouble = cache->Trouble(); !trouble.isEmpty())
            Message() << "warning: " << trouble << "\n";
    }
    for (const Audit::Unreadable& u : result.unreadable)
        Message() << "cannot inspect " << Quoted(u.file) << ": " << Told(u.why) << "\n";
    if (a.json)
        Out() << QString::fromUtf8(Audit::JsonReport(index, result, Told));
    else
        Audit::TextReport(index, result, [](const QString& line) { Out() << line; });
    Out().Flush();
    bool written = true;
    if (!a.fixdat.isEmpty()) {
        if (const EngineError error =
                Audit::WriteFixdat(index, result.Wanted(index), a.fixdat, a.overwrite);
            error.Failed()) {
            Message() << error.Text() << "\n";
            written = false;
        }
    }
    if (!a.quiet)
        Message() << "audit: " << Audit::Summary(index, result) << "\n";
    if (!a.quiet && cache)
        Message() << "audit: " << qint64(cache->Found()) << " files known from the cache, "
                  << qint64(cache->Read()) << " read\n";
    return result.Complete() && written && gathered.unreachable == 0 ? ExitConverted
                                                                     : ExitSomeFailed;
}
