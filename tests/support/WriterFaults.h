#pragma once

// The writer's fault seam for tests: linking WriterFaults.cpp into a test
// program defines what the writer asks (kestrix_writer_faults).

#include <QByteArray>

#include <functional>

namespace WriterFaults {

// The system features the writer does without from now on (a mask of
// SafeFile::Fault).
void Set(unsigned faults);

// The drive is full for files of this name from now on ("*": all; "": none).
void FullFor(const QByteArray& name);
// The drive holds this many bytes of the files written from now on (their
// content, until it is dropped); -1 for no limit.
void DriveHolds(long long bytes);
// Files whose names hold this text find room whatever DriveHolds says, as
// on another drive ("": none).
void RoomElsewhereFor(const QByteArray& text);
// Called on the writer's thread before each write of a file's content (a
// test holds a run there); empty for nothing.
void BeforeWrite(std::function<void()> call);

} // namespace WriterFaults
