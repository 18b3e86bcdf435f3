#pragma once

#include "Arguments.h"
#include "JobRequest.h"

// Tells a job's files as the command line does: a record on standard output
// for each file written, notes and refusals on standard error, and a
// progress line while standard error is a terminal.
class Teller : public JobObserver {
public:
    explicit Teller(const Arguments& a);

    // One progress line, rewritten in place, cut to the terminal's width:
    // the files told so far, and the one being read.
    void Reading(int told, int total, const QString& name) override;
    void EndProgress();
    std::int64_t StandardInput(char* into, std::int64_t most, EngineError* why) override;
    int StandardOutput(const char* data, std::int64_t size) override;
    void Done(const FileReport& report) override;

private:
    void Tell(const FileReport& report, const JobNotice& n);
    // Told however quiet the run.
    static void Line(const QString& text);
    // Told unless quiet.
    void Note(const QString& text) const;

    const Arguments& a_;
    bool progress_;
    bool shown_ = false;
    bool toldMd_ = false;
};
