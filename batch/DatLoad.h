#pragma once

#include "DatFile.h"
#include "OffThread.h"

#include <memory>

// DAT files read for a window off its thread: a large one takes a while.
namespace DatLoad {

struct Loaded {
    std::shared_ptr<const DatFile::Index> index; // null when one cannot be read
    EngineError error;                           // why not
};

// Reads the DAT files in order on a thread of its own; done gets the index,
// or why the first that cannot be read is not, on the receiver's thread.
inline void Start(QObject* receiver, const QStringList& paths,
                  const std::function<void(const Loaded&)>& done) {
    OffThread::Start<Loaded>(
        receiver,
        [paths] {
            auto index = std::make_shared<DatFile::Index>();
            index->UseCache();
            for (const QString& path : paths)
                if (const EngineError error = index->Load(path); error.Failed())
                    return Loaded{nullptr, error};
            return Loaded{index, {}};
        },
        done);
}

} // namespace DatLoad
