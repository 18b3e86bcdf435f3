#include "FileFunctions.h"

#include "PathSeparator.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>

namespace FileFunctions {

namespace {

// Length of the file at path, or -1 when it cannot be measured (missing,
// malformed name, not an ordinary file).
std::int64_t MeasuredLength(const QString& path) {
    if (path.isEmpty())
        return -1;
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return -1;
    return info.size();
}

QString BaseOfPath(const QString& path) {
    return GetBaseName(GetFileName(path));
}

} // namespace

QString GetFileName(const QString& path) {
    const qsizetype at = LastSeparator(path);
    return at < 0 ? path : path.mid(at + 1);
}

QString GetBaseName(const QString& name) {
    const qsizetype at = name.indexOf(QLatin1Char('.'));
    return at < 0 ? name : name.left(at);
}

QString GetFullStem(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

QString WithoutExtension(const QString& name) {
    return name.left(name.lastIndexOf(QLatin1Char('.')));
}

bool IsValidSMDLength(std::int64_t length) {
    return Cartridge::SizeAllowed(RomLayout::Smd, RomLayout::Plain, length);
}

bool IsValidBINLength(std::int64_t length) {
    return Cartridge::SizeAllowed(RomLayout::Plain, RomLayout::Smd, length);
}

bool IsValidSMD(const QString& path) {
    const std::int64_t length = MeasuredLength(path);
    return length >= 0 && IsValidSMDLength(length);
}

bool IsValidBIN(const QString& path) {
    const std::int64_t length = MeasuredLength(path);
    return length >= 0 && IsValidBINLength(length);
}

bool IsValidMD(const QString& path) {
    return IsValidBIN(path);
}

std::int32_t CountElements(const QStringList& elements) {
    return static_cast<std::int32_t>(elements.size());
}

SelectionKind ClassifySelection(const QStringList& elements, std::int32_t& count) {
    const std::int32_t n = CountElements(elements);
    if (n >= 2) {
        count = n - 1;
        return MultipleFiles;
    }
    if (n == 0) {
        count = 0;
        return NoFiles;
    }
    if (elements.at(0).isEmpty())
        return NoFiles;
    count = 1;
    return SingleFile;
}

void AddSelectedFiles(const QStringList& selectedFiles, QStringList& fileList,
                      std::int32_t& fileCount, std::int32_t count) {
    const qsizetype needed = count == 1 ? 1 : qsizetype(count) + 1;
    if (fileCount < 0 || count < 1 || selectedFiles.size() < needed)
        return;

    // Base names of the entries that take part in the comparison: the first
    // fileCount entries, plus every entry appended during this call.
    const qsizetype compared = std::min<qsizetype>(fileCount, fileList.size());
    QSet<QString> listed;
    listed.reserve(compared + count);
    for (qsizetype j = 0; j < compared; ++j)
        listed.insert(BaseOfPath(fileList.at(j)));

    auto append = [&](const QString& path) {
        fileList.append(path);
        ++fileCount;
    };

    if (count == 1) {
        const QString& path = selectedFiles.at(0);
        if (fileCount == 0 || !listed.contains(BaseOfPath(path)))
            append(path);
        return;
    }

    const QString& folder = selectedFiles.at(0);
    if (fileCount > 0) {
        // Against a listed batch the first of several equal base names is added.
        for (std::int32_t i = 1; i <= count; ++i) {
            const QString base = GetBaseName(selectedFiles.at(i));
            if (listed.contains(base))
                continue;
            append(folder + PathSeparator() + selectedFiles.at(i));
            listed.insert(base);
        }
        return;
    }

    // Against an empty list a base name chosen more than once is not added at all.
    QHash<QString, int> seen;
    seen.reserve(count);
    for (std::int32_t i = 1; i <= count; ++i)
        ++seen[GetBaseName(selectedFiles.at(i))];
    for (std::int32_t i = 1; i <= count; ++i) {
        if (seen.value(GetBaseName(selectedFiles.at(i))) == 1)
            append(folder + PathSeparator() + selectedFiles.at(i));
    }
}

} // namespace FileFunctions
