#pragma once

#include "ConversionPlan.h"
#include "EngineError.h"
#include "JobParts.h"

// Whether a job may write a file's destination: each destination once, by
// name and by the file the name leads to (a drive that ignores case gives
// two names one file), never another source, never its own source where the
// task keeps it (a repair unless in place, a patch always). What becomes of
// an existing file is the job's policy; the guard only says that it is
// there.
class DestinationGuard {
public:
    DestinationGuard(const JobRequest& request, const ConversionPlan& plan)
        : r_(request), plan_(plan) {}

    struct Verdict {
        enum class Kind {
            Write,   // nothing stands in the way
            Earlier, // an earlier file of the run claims or wrote it: earlier
            Refused, // error says why
            Exists,  // an entry has the name
        };
        Kind kind = Kind::Write;
        EngineError error;
        QString earlier;
        SafeFile::FileId before; // what the name leads to now
    };
    Verdict Judge(const QString& destination, const Item& item, bool keepsSource) const;

private:
    bool Judged(const QString& destination, const Item& item, bool keepsSource, Verdict* v) const;

    const JobRequest& r_;
    const ConversionPlan& plan_;
};
