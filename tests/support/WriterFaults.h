#pragma once

// The writer's fault seam for tests: linking WriterFaults.cpp into a test
// program defines what the writer asks (kestrix_writer_faults).

namespace WriterFaults {

// The system features the writer does without from now on (a mask of
// SafeFile::Fault).
void Set(unsigned faults);

} // namespace WriterFaults
