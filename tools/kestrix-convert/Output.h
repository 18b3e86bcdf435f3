#pragma once

#include "EngineError.h"

#include <QString>

#include <QByteArray>

#include <cstdint>
#include <cstdio>

// Standard output and standard error, checked: whatever cannot be written to
// them, the run reports as a failure.
class Output {
public:
    explicit Output(std::FILE* file) : file_(file) {}
    Output& operator<<(const QString& text);
    Output& operator<<(const char* text);
    Output& operator<<(qint64 number);
    // Bytes as they are.
    Output& Write(const QByteArray& bytes);
    Output& Write(const char* data, std::int64_t size);
    void Flush();
    // The error that lost some output so far, or 0.
    int Error() const { return error_; }
    // Flushes and closes the stream: 0, or the error that lost some output.
    int Close();
    // The run has told why the stream failed: it is not told again.
    void ErrorTold() { told_ = true; }
    bool WasErrorTold() const { return told_; }

private:
    void Check(bool ok);
    std::FILE* file_;
    int error_ = 0;
    bool told_ = false;
};

// An engine error in the words of the command line: the engine's, and what
// an option of this program can do about it.
QString Told(const EngineError& error);

Output& Out();
Output& Err();
// Standard error, with the program's name written in front of a message.
Output& Message();

// Flushes and closes both streams; false, with one message on standard
// error where it can still be written, when anything written to either was
// lost.
bool CloseOutputs();
