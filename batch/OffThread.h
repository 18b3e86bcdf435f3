#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include <functional>

// Work the windows hand to a thread of its own, so that they never freeze:
// its result comes back on the window's thread, and a question it asks is
// put to the user there while the work waits.
namespace OffThread {

// Runs work on a new thread; done gets its result on the application's
// thread (the windows'), unless the receiver is gone by then. The thread, which deletes
// itself once it has finished, for a receiver that must wait for it.
template <typename Result>
QPointer<QThread> Start(QObject* receiver, std::function<Result()> work,
                        std::function<void(const Result&)> done) {
    QPointer<QObject> to(receiver);
    QThread* thread = QThread::create([to, work, done] {
        const Result result = work();
        // Handed to the application's thread, and the receiver looked at
        // there: from this thread it could be deleted between a look and
        // the call, which would then go to an object no longer there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [to, result, done] {
                if (to)
                    done(result);
            },
            Qt::QueuedConnection);
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return thread;
}

// A yes-or-no question asked from the work's thread, answered on the
// application's: false when there is no question or no receiver.
using Question = std::function<bool(const QString&)>;
inline Question AskedOn(QObject* receiver, const Question& ask) {
    QPointer<QObject> to(receiver);
    return [to, ask](const QString& subject) {
        bool answer = false;
        if (ask)
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [&] {
                    if (to)
                        answer = ask(subject);
                },
                Qt::BlockingQueuedConnection);
        return answer;
    };
}

} // namespace OffThread
