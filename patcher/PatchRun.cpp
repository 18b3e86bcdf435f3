#include "PatchRun.h"

#include "ConversionJob.h"
#include "OffThread.h"

namespace PatchRun {

namespace {

// Hears the one file of the job, and puts its question to the user.
class Listener : public JobObserver {
public:
    explicit Listener(const Question& ask) : ask_(ask) {}
    bool MayReplace(const QString& destination) override { return ask_ && ask_(destination); }
    void Done(const FileReport& report) override { report_ = report; }
    FileReport report_;

private:
    const Question& ask_;
};

} // namespace

Outcome Run(const Order& order, const Question& ask) {
    Outcome outcome;
    RomInspector::Options options;
    options.fingerprints = true;
    options.rawFingerprints = true; // a DAT may list the image as its file is
    outcome.image = RomInspector::Inspect(order.image, options);
    for (const QString& path : order.patches) {
        Patch::Loaded loaded;
        outcome.unreadable.push_back(Patch::Load(path, &loaded));
        outcome.patches.push_back(std::move(loaded));
    }
    for (const EngineError& error : outcome.unreadable)
        if (error.Failed())
            return outcome;
    if (outcome.patches.empty() || order.image.isEmpty())
        return outcome;
    JobRequest request;
    request.task = JobTask::Patch;
    request.target = order.layout;
    request.patches = &outcome.patches;
    request.keepChecksum = order.keepChecksum;
    request.force = order.force;
    request.dryRun = order.trial;
    // A trial asks nothing: an existing file is asked about when it is
    // written.
    request.existing = order.trial ? JobRequest::WhenExists::Replace : JobRequest::WhenExists::Ask;
    request.threads = 1;
    Listener listener(ask);
    ConversionJob job(request, listener);
    JobSource source;
    source.path = order.image;
    source.destination = order.destination;
    job.Run({source});
    outcome.ran = true;
    outcome.report = listener.report_;
    return outcome;
}

void Start(const Order& order, QObject* receiver, const Question& ask,
           const std::function<void(const Outcome&)>& done) {
    const Question asked = OffThread::AskedOn(receiver, ask);
    OffThread::Start<Outcome>(
        receiver, [order, asked] { return Run(order, asked); }, done);
}

} // namespace PatchRun
