#pragma once

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

// Runs work on a new thread; done gets its result on the receiver's
// thread, unless the receiver is gone by then. The thread, which deletes
// itself once it has finished, for a receiver that must wait for it.
template <typename Result>
QPointer<QThread> Start(QObject* receiver, std::function<Result()> work,
                        std::function<void(const Result&)> done) {
    QPointer<QObject> to(receiver);
    QThread* thread = QThread::create([to, work, done] {
        const Result result = work();
        if (to)
            QMetaObject::invokeMethod(
                to, [result, done] { done(result); }, Qt::QueuedConnection);
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return thread;
}

// A yes-or-no question asked from the work's thread, answered on the
// receiver's: false when there is no question or no receiver.
using Question = std::function<bool(const QString&)>;
inline Question AskedOn(QObject* receiver, const Question& ask) {
    QPointer<QObject> to(receiver);
    return [to, ask](const QString& subject) {
        bool answer = false;
        if (to && ask)
            QMetaObject::invokeMethod(
                to, [&] { answer = ask(subject); }, Qt::BlockingQueuedConnection);
        return answer;
    };
}

} // namespace OffThread
