#pragma once

#include "SafeFile.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace SafeFile {

// How one writer of a batch ended.
enum class BatchOutcome {
    Committed,  // named, and its folder flushed
    NotWritten, // its content could not be written to disk
    Passed,     // the caller passed it by just before it was named
    NameTaken,  // something took its name meanwhile
    NotNamed,   // it could not be named
    NotFlushed, // named, but its folder could not be flushed
};

struct BatchEntry {
    Writer* writer = nullptr; // none: the entry takes no part
    BatchOutcome outcome = BatchOutcome::Committed;
};

// Commits the writers of a batch together, so that the disk is flushed
// once for many files: every file's content goes to disk first, then each
// file is named, in order, then each folder is flushed once; a file is
// committed only when all of that is done for it. mayName is asked just
// before a file is named (false passes it by, and its writer is aborted);
// named is told of each file named. What failed is in the writer's
// ErrorString.
void CommitBatch(std::vector<BatchEntry>& entries, const std::function<bool(std::size_t)>& mayName,
                 const std::function<void(std::size_t)>& named);

} // namespace SafeFile
