#include "Mod_File.h"

#include "ConversionJob.h"
#include "FileFunctions.h"
#include "FileHandle.h"
#include "Mod_Convert.h"

namespace Mod_File {

namespace {

// What became of the one file of a job: why it was not written, if it was not.
class OneFile : public JobObserver {
public:
    void Done(const FileReport& report) override {
        for (const JobNotice& notice : report.notices)
            if (notice.error.Failed())
                error = notice.error;
        if (report.outcome == FileOutcome::Skipped && !error.Failed())
            error = EngineError::Code::DestinationExists;
    }
    EngineError error;
};

} // namespace

bool ConvertFile(const QString& source, const QString& destination, std::int32_t mode) {
    return !ConvertFileReport(source, destination, mode).Failed();
}

EngineError ConvertFileReport(const QString& source, const QString& destination, std::int32_t mode,
                              SafeFile::Existing existing) {
    if (mode < SMDtoBIN || mode > BINtoMD)
        return {EngineError::Code::UnknownMode, QString::number(mode)};
    // A job of one file, converted whatever its content looks like.
    JobRequest request;
    request.mode = mode;
    request.force = true;
    request.threads = 1;
    request.existing = existing == SafeFile::Existing::Keep ? JobRequest::WhenExists::Skip
                                                            : JobRequest::WhenExists::Replace;
    OneFile observer;
    ConversionJob job(request, observer);
    JobSource file;
    file.path = source;
    file.destination = destination;
    job.Run({file});
    return observer.error;
}

QString DestinationName(const QString& source, std::int32_t mode) {
    // An unknown mode has no extension.
    return FileFunctions::GetBaseName(FileFunctions::GetFileName(source)) +
           FileHandle::TargetExtension(mode);
}

} // namespace Mod_File
