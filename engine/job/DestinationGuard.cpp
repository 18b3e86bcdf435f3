#include "DestinationGuard.h"

DestinationGuard::Verdict DestinationGuard::Judge(const QString& destination, const Item& item,
                                                  bool keepsSource) const {
    Verdict v;
    if (QString earlier = plan_.Claimant(destination); !earlier.isEmpty())
        return v.kind = Verdict::Kind::Earlier, v.earlier = earlier, v;
    v.before = SafeFile::IdentityOf(destination);
    // Nothing there yet (or a dangling link): no earlier file of the run,
    // and no source.
    if (v.before.IsValid() && !Judged(destination, item, keepsSource, &v))
        return v;
    if (!r_.inPlace && SafeFile::EntryExists(destination))
        v.kind = Verdict::Kind::Exists;
    return v;
}

// What stands in the way of a destination that leads to a file: false when
// something does, in *v.
bool DestinationGuard::Judged(const QString& destination, const Item& item, bool keepsSource,
                              Verdict* v) const {
    if (QString earlier = plan_.EarlierWrite(destination); !earlier.isEmpty()) {
        v->kind = Verdict::Kind::Earlier;
        v->earlier = earlier;
        return false;
    }
    // A content made by the job (a patched image) has its source as a file
    // even where it is held.
    const bool made = item.made != RomLayout::Unknown;
    if (keepsSource && (!item.held || made) && SafeFile::IdentityOf(item.path) == v->before) {
        v->kind = Verdict::Kind::Refused;
        v->error = made ? EngineError::Code::PatchOverSource : EngineError::Code::ReplacesSource;
        return false;
    }
    if (const QString why = plan_.Refusal(destination, item.path, item.held); !why.isEmpty()) {
        v->kind = Verdict::Kind::Refused;
        v->error = {EngineError::Code::DestinationRefused, why};
        return false;
    }
    return true;
}
