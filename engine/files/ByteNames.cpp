// File names as bytes: decoded for display and messages, encoded back byte
// for byte at every system call.

#include "SafeFile.h"

#include <algorithm>

#ifdef _WIN32
#include <QDir>

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#endif

namespace SafeFile {

QString DecodeName(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned c = p[i];
        if (c < 0x80) {
            out += QChar(char16_t(c));
            ++i;
            continue;
        }
        int length = 0;
        char32_t code = 0;
        char32_t least = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2, code = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, code = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, code = c & 0x07, least = 0x10000;
        }
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            const unsigned next = p[i + k];
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        valid = valid && code >= least && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            out += QChar(char16_t(0xDC00 + c));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out += QChar(QChar::highSurrogate(code));
            out += QChar(QChar::lowSurrogate(code));
        } else {
            out += QChar(char16_t(code));
        }
        i += length;
    }
    return out;
}

QByteArray EncodeName(const QString& path) {
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    auto put = [&out](char32_t code) {
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t unit = path.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < n && path.at(i + 1).isLowSurrogate()) {
            put(QChar::surrogateToUcs4(unit, path.at(i + 1).unicode()));
            ++i;
        } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
            out += char(unit - 0xDC00); // a byte that was not UTF-8
        } else if (QChar::isSurrogate(unit)) {
            put(0xFFFD);
        } else {
            put(unit);
        }
    }
    return out;
}

#ifdef _WIN32
namespace {

// A Windows shell hands a pattern on as it is: the program expands it, to
// the files it matches in its folder (in the order of their names), or
// keeps it when it matches none.
void AppendExpanded(const QString& argument, QStringList* arguments) {
    const qsizetype slash =
        std::max(argument.lastIndexOf(QLatin1Char('/')), argument.lastIndexOf(QLatin1Char('\\')));
    const QString pattern = argument.mid(slash + 1);
    if (argument.startsWith(QLatin1Char('-')) ||
        (!pattern.contains(QLatin1Char('*')) && !pattern.contains(QLatin1Char('?'))))
        return arguments->append(argument);
    const QString folder = argument.left(slash + 1);
    const QStringList names =
        QDir(folder.isEmpty() ? QStringLiteral(".") : folder)
            .entryList({pattern}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (names.isEmpty())
        return arguments->append(argument);
    for (const QString& name : names)
        arguments->append(folder + name);
}

} // namespace

// The arguments as the system holds them, in UTF-16, whatever argv's code
// page lost of them.
QStringList DecodeArguments(int, char*[]) {
    QStringList arguments;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i)
        AppendExpanded(QString::fromWCharArray(wide[i]), &arguments);
    if (wide)
        ::LocalFree(wide);
    return arguments;
}
#else
QStringList DecodeArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(DecodeName(QByteArray(argv[i])));
    return arguments;
}
#endif

bool IsUtf8(const QByteArray& bytes) {
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

bool TurnsText(char16_t unit) {
    return unit == 0x061C || unit == 0x200E || unit == 0x200F ||
           (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069) ||
           unit == 0x2028 || unit == 0x2029;
}

QString Printable(const QString& name) {
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name.at(i).unicode();
        const bool escapedByte =
            unit >= 0xDC80 && unit <= 0xDCFF && !(i > 0 && name.at(i - 1).isHighSurrogate());
        if (escapedByte || unit < 0x20 || (unit >= 0x7F && unit < 0xA0))
            out += QStringLiteral("\\x") + QString::number(escapedByte ? unit - 0xDC00 : unit, 16)
                                               .toUpper()
                                               .rightJustified(2, QLatin1Char('0'));
        else if (TurnsText(unit))
            out += QStringLiteral("\\u") + QString::number(unit, 16).toUpper();
        else
            out += name.at(i);
    }
    return out;
}

QString Quoted(const QString& name) {
    const QString shown = Printable(name);
    static const QString special = QStringLiteral(" \t'\"$`!*?[](){};&|<>#~");
    if (std::none_of(shown.begin(), shown.end(), [](QChar c) { return special.contains(c); }))
        return shown;
    QString quoted = shown;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace SafeFile
