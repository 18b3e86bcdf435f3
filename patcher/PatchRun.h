#pragma once

#include "JobRequest.h"
#include "Patch.h"
#include "RomInspector.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <vector>

// What the patch window asks of the engine, off the window's thread: the
// image looked at and the patches read, then the engine's patch job run on
// them, as a trial that writes nothing or for real.
namespace PatchRun {

// What the window asks.
struct Order {
    QString image;
    QStringList patches;
    QString destination;                   // the output's full path; empty for the job's own name
    RomLayout layout = RomLayout::Unknown; // Unknown: the image's own
    bool keepChecksum = false;
    bool force = false; // applied even to an image the patches were not made for
    bool trial = true;  // nothing is written
};

// What the engine found.
struct Outcome {
    RomInspector::Report image;
    std::vector<Patch::Loaded> patches;
    std::vector<EngineError> unreadable; // by patch: why it cannot be used
    bool ran = false;                    // the job ran: every patch could be read
    FileReport report;
};

// Asks the user whether an existing file may be replaced, on the window's
// thread.
using Question = std::function<bool(const QString& destination)>;

// Runs an order on a thread of its own and hands the outcome to done on
// the receiver's thread; ask is asked there too. The runner deletes itself
// once done has run.
void Start(const Order& order, QObject* receiver, const Question& ask,
           const std::function<void(const Outcome&)>& done);

// The same, on the calling thread.
Outcome Run(const Order& order, const Question& ask);

} // namespace PatchRun
