#include "BatchCommit.h"

#include <algorithm>

namespace SafeFile {

void CommitBatch(std::vector<BatchEntry>& entries, const std::function<bool(std::size_t)>& mayName,
                 const std::function<void(std::size_t)>& named) {
    const auto taking = [](const BatchEntry& e) {
        return e.writer && e.outcome == BatchOutcome::Committed;
    };
    for (BatchEntry& e : entries)
        if (taking(e) && !e.writer->Finish())
            e.outcome = BatchOutcome::NotWritten;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        BatchEntry& e = entries[i];
        if (!taking(e))
            continue;
        if (!mayName(i)) {
            e.writer->Abort();
            e.outcome = BatchOutcome::Passed;
        } else if (!e.writer->Publish()) {
            e.outcome = e.writer->NameTaken() ? BatchOutcome::NameTaken : BatchOutcome::NotNamed;
        } else {
            named(i);
        }
    }
    // One flush for each folder: a writer whose folder another has flushed
    // since it was named is done; one whose folder's flush failed fails with
    // it (asked again, the system would say nothing of the failure).
    std::vector<const Writer*> flushed;
    std::vector<const Writer*> failed;
    for (BatchEntry& e : entries) {
        if (!taking(e))
            continue;
        if (std::any_of(failed.begin(), failed.end(), [&](const Writer* other) {
                return e.writer->FolderFlushFailedBy(*other);
            })) {
            e.outcome = BatchOutcome::NotFlushed;
            continue;
        }
        for (const Writer* other : flushed)
            e.writer->FolderFlushedBy(*other);
        if (!e.writer->Done()) {
            if (e.writer->FlushFolder()) {
                flushed.push_back(e.writer);
            } else {
                e.outcome = BatchOutcome::NotFlushed;
                failed.push_back(e.writer);
            }
        }
    }
}

} // namespace SafeFile
