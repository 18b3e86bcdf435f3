#pragma once

#include "EngineError.h"
#include "FingerprintCache.h"
#include "RomInspector.h"
#include "WorkerPool.h"

#include <QByteArray>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>

namespace RomInspector {

// Standard input read whole, up to limit bytes, for a file named "-".
using StandardInput = std::function<EngineError(std::int64_t limit, QByteArray* bytes)>;

// The threads of inspections, owned by whoever inspects, for all its
// inspections: files inspected side by side (jobs of them; 0: one a core),
// and the helpers that fingerprint each piece beside them.
struct InspectionThreads {
    explicit InspectionThreads(int jobs) : files(jobs), helpers(jobs) {}
    WorkerPool files;
    WorkerPool helpers;
};

// Inspects files, as many at once as the threads take, and hands each
// report to take in the order of the files, as soon as it and the ones
// before it are done: one report a file, or one for each entry of an
// archive. A file "-" is standard input, shown as stdinName when there is
// one. take runs on the caller's thread.
// With raw, the fingerprints of each file as it is too, and without md5 no
// MD5 (Options). Once stop is set, the files not yet begun are left unread
// and unreported. With a cache, a file it knows as it is now is not read,
// and what is read is kept in it (reports of the cache's few fields).
void InspectFiles(const QStringList& files, InspectionThreads& threads,
                  const StandardInput& standardInput, const QString& stdinName,
                  const std::function<void(const Report&)>& take, bool raw = false,
                  const std::atomic<bool>* stop = nullptr, bool md5 = true,
                  FingerprintCache* cache = nullptr);

} // namespace RomInspector
