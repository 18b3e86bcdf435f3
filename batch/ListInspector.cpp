#include "ListInspector.h"

#include "WorkerPool.h"

#include <QThread>

#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

// Work under way for every list, stopped or not.
std::atomic<int> underWay{0};

} // namespace

// The work holds this, not the inspector: the inspector may be gone when
// stopped work ends.
struct ListInspector::Shared {
    struct Done {
        QString path;
        std::shared_ptr<std::atomic<bool>> token;
        RomInspector::Report report;
    };
    std::mutex mutex;
    std::condition_variable idle;
    int active = 0;
    ListInspector* owner = nullptr; // null once the inspector is gone
    // Results waiting for the inspector's thread to take them.
    std::vector<Done> done;
};

ListInspector::ListInspector(QObject* parent, bool fingerprints)
    : QObject(parent), fingerprints_(fingerprints), shared_(std::make_shared<Shared>()),
      pool_(std::make_unique<WorkerPool>(QThread::idealThreadCount())) {
    shared_->owner = this;
}

ListInspector::~ListInspector() {
    Stop();
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->owner = nullptr;
}

void ListInspector::Want(const QStringList& paths) {
    for (const QString& path : paths) {
        if (results_.contains(path) || running_.contains(path))
            continue;
        auto token = std::make_shared<std::atomic<bool>>(false);
        running_.insert(path, token);
        {
            const std::lock_guard<std::mutex> lock(shared_->mutex);
            ++shared_->active;
        }
        // The work has a copy of its own of the path: one shared with the
        // list would be counted inside Qt, out of the thread checker's sight.
        ++underWay;
        pool_->Start([shared = shared_, path = QString(path.constData(), path.size()), token,
                      fingerprints = fingerprints_, raw = raw_] {
            RomInspector::Report report;
            if (!token->load()) {
                RomInspector::Options options;
                options.fingerprints = fingerprints;
                options.rawFingerprints = fingerprints && raw;
                options.cancel = token.get();
                report = RomInspector::Inspect(path, options);
            }
            const std::lock_guard<std::mutex> lock(shared->mutex);
            // Posting to the inspector is safe while it cannot go away; a
            // result posted just before it goes is dropped with it. The
            // result itself waits here, under the lock, for its thread.
            if (shared->owner && !token->load()) {
                shared->done.push_back({path, token, std::move(report)});
                if (shared->done.size() == 1)
                    QMetaObject::invokeMethod(shared->owner, "Deliver", Qt::QueuedConnection);
            }
            if (--shared->active == 0)
                shared->idle.notify_all();
            --underWay;
        });
    }
}

int ListInspector::WorkUnderWay() {
    return underWay.load();
}

void ListInspector::Deliver() {
    std::vector<Shared::Done> done;
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        done.swap(shared_->done);
    }
    for (const Shared::Done& result : done)
        Arrived(result.path, result.token, result.report);
}

void ListInspector::Arrived(const QString& path, const std::shared_ptr<std::atomic<bool>>& token,
                            const RomInspector::Report& report) {
    // A path forgotten (and perhaps wanted again) since this work began has
    // another token by now, or none.
    const auto running = running_.constFind(path);
    if (running == running_.cend() || running.value() != token)
        return;
    running_.erase(running);
    results_.insert(path, report);
    emit Ready(path);
}

void ListInspector::Forget(const QString& path) {
    if (const auto token = running_.take(path))
        token->store(true);
    results_.remove(path);
}

void ListInspector::Stop() {
    for (const auto& token : std::as_const(running_))
        token->store(true);
    running_.clear();
    results_.clear();
}

void ListInspector::WaitForWork() {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->idle.wait(lock, [this] { return shared_->active == 0; });
}

const RomInspector::Report* ListInspector::Result(const QString& path) const {
    const auto found = results_.constFind(path);
    return found == results_.cend() ? nullptr : &found.value();
}
