#pragma once

// What the Windows halves of reading sources and writing destinations share.

#include "EngineError.h"

#include <QString>

#include <cstdint>
#include <string>

#include <windows.h>

namespace SafeFile::Win {

// A path as Windows takes it: wide, and long ones in the \\?\ form.
std::wstring Wide(const QString& path);
EngineError::Code FromError(DWORD error);
// A file time, in nanoseconds since 1970.
std::int64_t Nanoseconds(const FILETIME& time);
// A read or write at an offset of the file, whatever its handle's position.
OVERLAPPED At(std::int64_t offset);
HANDLE HandleOf(int fd);
// 0, or the system's error.
DWORD WriteFully(HANDLE file, std::int64_t offset, const void* data, std::int64_t bytes);
// Why Windows will not take a file name, or nothing.
QString RefusedName(const QString& name);
// A hidden file of a new name in a folder; its path in *path.
HANDLE CreateTemporary(const QString& folder, DWORD flags, QString* path);
// Whether this process made a temporary file of that name.
bool MadeHere(const QString& name);
QString FolderOf(const QString& path);
// A name Windows refuses is no entry of a folder, even where it opens a
// device.
bool DeviceOrRefused(const QString& path);

} // namespace SafeFile::Win
