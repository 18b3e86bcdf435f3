#include "ListInspector.h"

ListInspector::ListInspector(QObject* parent) : QObject(parent) {}

ListInspector::~ListInspector() {
    Stop();
}

void ListInspector::Want(const QStringList& paths) {
    for (const QString& path : paths) {
        if (results_.contains(path) || running_.contains(path))
            continue;
        auto token = std::make_shared<std::atomic<bool>>(false);
        running_.insert(path, token);
        // The inspector outlives every task: it waits for them when it goes.
        pool_.start([this, path, token] {
            if (token->load())
                return;
            RomInspector::Options options;
            options.fingerprints = false;
            options.cancel = token.get();
            RomInspector::Report report = RomInspector::Inspect(path, options);
            if (token->load())
                return;
            QMetaObject::invokeMethod(
                this, [this, path, token, report] { Arrived(path, token, report); },
                Qt::QueuedConnection);
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
    pool_.clear();
    pool_.waitForDone();
}

void ListInspector::WaitForWork() {
    pool_.waitForDone();
}

const RomInspector::Report* ListInspector::Result(const QString& path) const {
    const auto found = results_.constFind(path);
    return found == results_.cend() ? nullptr : &found.value();
}
