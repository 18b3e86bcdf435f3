#pragma once

#include "RomInspector.h"

#include <QHash>
#include <QObject>

#include <atomic>
#include <memory>

class WorkerPool;

// Inspects the files of the conversion list in the background, so that
// adding files stays as quick as ever; each result arrives on the
// user-interface thread as it is ready, on threads of the inspector's own.
// The user-interface thread does not wait for the work: stopped work is told
// to stop and ends on its own, and only when the inspector goes does it wait
// for its threads to see that (between two pieces of a file).
class ListInspector : public QObject {
    Q_OBJECT

public:
    // With fingerprints, each file's CRC32, MD5 and SHA-1 are worked out too.
    explicit ListInspector(QObject* parent = nullptr, bool fingerprints = false);
    ~ListInspector() override;

    // With fingerprints, those of each file's bytes as they are too, where
    // its layout is not plain (a DAT may list a dump so); for work started
    // from now on.
    void SetRawFingerprints(bool raw) { raw_ = raw; }

    // Starts inspecting the paths that have neither a result nor work under way.
    void Want(const QStringList& paths);
    // Drops a path's result, or its work under way.
    void Forget(const QString& path);
    // Drops every result and tells all work under way to stop; returns at
    // once.
    void Stop();
    // Returns once no work runs, stopped work included; results still to
    // be delivered are queued.
    void WaitForWork();

    // Work of any list still running, stopped work included.
    static int WorkUnderWay();

    // The result for a path, or null while there is none.
    const RomInspector::Report* Result(const QString& path) const;

signals:
    void Ready(const QString& path);

private:
    struct Shared;
    // Takes the results the work has left for this thread.
    Q_INVOKABLE void Deliver();
    void Arrived(const QString& path, const std::shared_ptr<std::atomic<bool>>& token,
                 const RomInspector::Report& report);

    const bool fingerprints_;
    bool raw_ = false;
    // What the inspector and its work share; it lives as long as either.
    std::shared_ptr<Shared> shared_;
    QHash<QString, std::shared_ptr<std::atomic<bool>>> running_;
    QHash<QString, RomInspector::Report> results_;
    std::unique_ptr<WorkerPool> pool_; // first to go: the work is stopped by then
};
