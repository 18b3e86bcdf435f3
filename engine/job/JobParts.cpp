#include "JobParts.h"

JobNotice Notice(JobNotice::Kind kind, const QString& subject, const QString& text) {
    JobNotice notice;
    notice.kind = kind;
    notice.subject = subject;
    notice.text = text;
    return notice;
}

EngineError OpenSource(Item& item, std::unique_ptr<SafeFile::Source>* in) {
    *in = item.content ? std::move(item.content) : std::make_unique<SafeFile::Source>(item.path);
    if (!(*in)->IsOpen())
        return (*in)->Error();
    if ((*in)->Size() == 0)
        return EngineError::Code::Empty;
    if ((*in)->Size() > Mod_Convert::MaxSourceSize)
        return Mod_Convert::TooLarge();
    return {};
}
