#include "Output.h"

#include "SafeFile.h"

#include <cerrno>
#include <cstring>

void Output::Check(bool ok) {
    if (!ok && error_ == 0)
        error_ = errno ? errno : EIO;
}

// Text on a console goes in the console's own characters; anywhere else
// it is UTF-8.
Output& Output::operator<<(const QString& text) {
    if (SafeFile::WriteToConsole(file_, text))
        return *this;
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    Check(std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), file_) ==
          std::size_t(bytes.size()));
    return *this;
}

Output& Output::operator<<(const char* text) {
    return *this << QString::fromUtf8(text);
}

Output& Output::operator<<(qint64 number) {
    return *this << QString::number(number);
}

Output& Output::Write(const QByteArray& bytes) {
    return Write(bytes.constData(), bytes.size());
}

Output& Output::Write(const char* data, std::int64_t size) {
    errno = 0;
    Check(std::fwrite(data, 1, std::size_t(size), file_) == std::size_t(size));
    return *this;
}

void Output::Flush() {
    errno = 0;
    Check(std::fflush(file_) == 0);
}

int Output::Close() {
    Flush();
    Check(std::ferror(file_) == 0);
    errno = 0;
    Check(std::fclose(file_) == 0);
    return error_;
}

Output& Out() {
    static Output stream(stdout);
    return stream;
}

Output& Message() {
    return Err() << "kestrix-convert: ";
}

Output& Err() {
    static Output stream(stderr);
    return stream;
}

bool CloseOutputs() {
    const int outError = Out().Close();
    if (outError != 0 && !Out().WasErrorTold())
        Message() << "cannot write standard output: " << std::strerror(outError) << "\n";
    return outError == 0 && Err().Close() == 0;
}

QString Told(const EngineError& error) {
    using Code = EngineError::Code;
    const QString words = error.Text();
    switch (error.code) {
    case Code::SourceIsFolder:
        return words + QStringLiteral(" (use -r to walk it)");
    case Code::TrimOtherData:
        return words + QStringLiteral(" (use --force to cut them)");
    case Code::ReplacesSource:
        return words + QStringLiteral(": use --in-place to mend the file itself, or -o DIR");
    case Code::PatchOverSource:
        return words + QStringLiteral(": write into another folder with -o DIR");
    default:
        return words;
    }
}
