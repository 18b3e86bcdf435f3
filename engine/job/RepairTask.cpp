// Repairing as a job does it: fix-checksum and trim mend each file in its
// own layout, under its own name (or in place), and leave alone a file with
// nothing to mend.

#include "JobParts.h"

#include "PlainStream.h"
#include "Repair.h"

#include <QCryptographicHash>

namespace {

using Cartridge::Piece;

class Mend : public JobTaskRunner {
public:
    using JobTaskRunner::JobTaskRunner;

    // A repaired file keeps its name.
    QString OutputName(const QString& sourceName) const override { return sourceName; }
    // It changes its source only when asked to.
    bool KeepsItsSource() const override { return !r_.inPlace; }
    void Prepare(FileRun& run, Item& item, QString name) override;

private:
    bool Planned(FileRun& run, const RomInspector::Report& report, const RomInspector::ReadAt& read,
                 std::int64_t length, Repair::Plan* plan, bool* sha);
    bool ChecksumPlan(FileRun& run, const RomInspector::Report& report, std::int64_t length,
                      Repair::Plan* plan);
    bool TrimPlan(FileRun& run, const RomInspector::Report& report,
                  const RomInspector::ReadAt& read, std::int64_t length, Repair::Plan* plan);
    bool Refused(FileRun& run, const EngineError& error);
    bool LeftAlone(FileRun& run, const QString& why);
    void Write(FileRun& run, const Repair::Plan& plan, const RomInspector::ReadAt& read,
               const SafeFile::Source* in, bool hashWritten);
};

// Mends a file as fix-checksum or trim asks, in its own layout, and hands
// the result to a writer; a file with nothing to mend is left alone. The
// file is read in pieces, and refused when it changes meanwhile.
void Mend::Prepare(FileRun& run, Item& item, QString) {
    if (!job_.MayWrite(run, item))
        return;
    std::unique_ptr<SafeFile::Source> in;
    if (const EngineError opened = OpenSource(item, &in); opened.Failed())
        return job_.RefuseResult(run, opened);
    const std::int64_t length = in->Size();
    const RomInspector::ReadAt read = RomInspector::ReaderOf(*in);
    RomInspector::Options options;
    options.fingerprints = false;
    const RomInspector::Report report = RomInspector::InspectData(read, length, options);
    Repair::Plan plan;
    bool hashWritten = false;
    if (!Planned(run, report, read, length, &plan, &hashWritten))
        return;
    if (r_.dryRun) {
        job_.Claim(run);
        run.wouldWrite = true;
        return;
    }
    Write(run, plan, read, in.get(), hashWritten);
}

// What a repair changes, and what verify compares the result with: what is
// written (a checksum put in: *sha), or the source's plain content up to the
// ROM end (a trim). False when there is nothing to write.
bool Mend::Planned(FileRun& run, const RomInspector::Report& report,
                   const RomInspector::ReadAt& read, std::int64_t length, Repair::Plan* plan,
                   bool* sha) {
    if (r_.task == JobTask::FixChecksum) {
        *sha = r_.verify;
        return ChecksumPlan(run, report, length, plan);
    }
    return TrimPlan(run, report, read, length, plan);
}

bool Mend::Refused(FileRun& run, const EngineError& error) {
    // Walking a tree, a file that is no cartridge is only counted.
    if (run.fromTree && error.code == EngineError::Code::NoHeader)
        run.report.outcome = FileOutcome::PassedOver;
    else
        job_.Refuse(run, error);
    return false;
}

bool Mend::LeftAlone(FileRun& run, const QString& why) {
    run.report.notices.push_back(Notice(JobNotice::Kind::LeftAlone, QString(), why));
    run.report.outcome = FileOutcome::PassedOver;
    return false;
}

bool Mend::ChecksumPlan(FileRun& run, const RomInspector::Report& report, std::int64_t length,
                        Repair::Plan* plan) {
    Repair::Checksum checksum;
    if (const EngineError error = Repair::ChecksumOf(report, &checksum); error.Failed())
        return Refused(run, error);
    if (checksum.Right())
        return LeftAlone(
            run,
            QStringLiteral("the checksum %1 is right").arg(RomInspector::Hex(checksum.stored)));
    *plan = Repair::PutChecksum(report.layout, length, checksum.computed);
    const QString end = RomInspector::Hex(report.header.romEnd, 8);
    run.report.detail =
        QStringLiteral(" (checksum %1, was %2%3)")
            .arg(RomInspector::Hex(checksum.computed), RomInspector::Hex(checksum.stored),
                 checksum.wholeFile ? QStringLiteral("; summed over the whole file, as the "
                                                     "header's ROM end %1 is not within it")
                                          .arg(end)
                                    : QString());
    run.verifyRaw = true;
    run.verified = QStringLiteral("the checksum %1 matches; no other byte changed")
                       .arg(RomInspector::Hex(checksum.computed));
    return true;
}

bool Mend::TrimPlan(FileRun& run, const RomInspector::Report& report,
                    const RomInspector::ReadAt& read, std::int64_t length, Repair::Plan* plan) {
    const QString end = RomInspector::Hex(report.header.romEnd, 8);
    bool cut = false;
    if (const EngineError error = Repair::Trim(report, length, r_.force, plan, &cut);
        error.Failed())
        return Refused(run, error);
    if (!cut)
        return LeftAlone(run, QStringLiteral("it ends at the header's ROM end %1").arg(end));
    const std::int64_t declared = std::int64_t(report.header.romEnd) + 1;
    const QString tail = report.dump == RomInspector::Dump::Padded ? QStringLiteral("padding")
                         : report.dump == RomInspector::Dump::Overdump && !report.tailMirrored
                             ? QStringLiteral("other data")
                             : QStringLiteral("a mirror");
    run.report.detail = QStringLiteral(" (%1 bytes of %2 cut past the header's ROM end %3)")
                            .arg(report.plainSize - declared)
                            .arg(tail, end);
    run.verifyLayout = report.layout;
    run.verified = QStringLiteral("its plain content is the source's first %1 bytes").arg(declared);
    if (!r_.verify)
        return true;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    RomInspector::PlainStream stream(read, length, report.layout);
    std::vector<std::uint8_t> piece(std::size_t(std::min(declared, Piece)));
    for (std::int64_t offset = 0; offset < declared;) {
        const std::int64_t n = std::min(declared - offset, Piece);
        if (!stream.Get(offset, piece.data(), n))
            return job_.Refuse(run, EngineError::Code::ReadFailed), false;
        hash.addData(QByteArrayView(piece.data(), n));
        offset += n;
    }
    run.sourceSha = QString::fromLatin1(hash.result().toHex());
    return true;
}

// Writes a repaired file; hashWritten: what is written is what verify
// compares the result with.
void Mend::Write(FileRun& run, const Repair::Plan& plan, const RomInspector::ReadAt& read,
                 const SafeFile::Source* in, bool hashWritten) {
    std::unique_ptr<QCryptographicHash> written;
    if (hashWritten)
        written = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha1);
    run.writer = std::make_unique<SafeFile::Writer>();
    const EngineError result =
        run.writer->Open(run.report.destination,
                         r_.inPlace ? SafeFile::Existing::ReplaceAny : run.existing)
            ? Repair::Write(plan, read, *run.writer, written.get())
            : run.writer->Error();
    if (result.Failed() && result.code != EngineError::Code::ReadFailed) {
        const bool taken = run.writer->NameTaken();
        run.writer.reset();
        if (taken)
            return job_.SkipExisting(run);
        return job_.Refuse(run, result, FileOutcome::Failed);
    }
    // A source that could not be read, or changed while it was, is never
    // written in part.
    if (result.Failed() || (in && !in->Unchanged())) {
        run.writer.reset();
        return job_.Refuse(run, result.Failed() ? EngineError::Code::ReadFailed
                                                : EngineError::Code::Changed);
    }
    if (written)
        run.sourceSha = QString::fromLatin1(written->result().toHex());
    job_.Claim(run);
    run.bytes = plan.Size();
}

} // namespace

std::unique_ptr<JobTaskRunner> RepairTask(JobRun& job) {
    return std::make_unique<Mend>(job);
}
