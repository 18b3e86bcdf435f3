#include "ListInspector.h"

#include <QMutex>
#include <QThreadPool>
#include <QWaitCondition>

// The work holds this, not the inspector: the inspector may be gone when
// stopped work ends.
struct ListInspector::Shared {
    QMutex mutex;
    QWaitCondition idle;
    int active = 0;
    ListInspector* owner = nullptr; // null once the inspector is gone
};

ListInspector::ListInspector(QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
}

ListInspector::~ListInspector() {
    Stop();
    QMutexLocker lock(&shared_->mutex);
    shared_->owner = nullptr;
}

void ListInspector::Want(const QStringList& paths) {
    for (const QString& path : paths) {
        if (results_.contains(path) || running_.contains(path))
            continue;
        auto token = std::make_shared<std::atomic<bool>>(false);
        running_.insert(path, token);
        {
            QMutexLocker lock(&shared_->mutex);
            ++shared_->active;
        }
        QThreadPool::globalInstance()->start([shared = shared_, path, token] {
            RomInspector::Report report;
            if (!token->load()) {
                RomInspector::Options options;
                options.fingerprints = false;
                options.cancel = token.get();
                report = RomInspector::Inspect(path, options);
            }
            QMutexLocker lock(&shared->mutex);
            // Posting to the inspector is safe while it cannot go away; a
            // result posted just before it goes is dropped with it.
            if (shared->owner && !token->load()) {
                ListInspector* owner = shared->owner;
                QMetaObject::invokeMethod(
                    owner, [owner, path, token, report] { owner->Arrived(path, token, report); },
                    Qt::QueuedConnection);
            }
            if (--shared->active == 0)
                shared->idle.wakeAll();
        });
    }
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
    QMutexLocker lock(&shared_->mutex);
    while (shared_->active > 0)
        shared_->idle.wait(&shared_->mutex);
}

const RomInspector::Report* ListInspector::Result(const QString& path) const {
    const auto found = results_.constFind(path);
    return found == results_.cend() ? nullptr : &found.value();
}
