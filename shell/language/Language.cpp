#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace Language {

QString Code(Choice choice) {
    return choice == Choice::English ? QStringLiteral("en") : QStringLiteral("zh_CN");
}

std::optional<Choice> FromCode(const QString& code) {
    for (Choice choice : All)
        if (code == Code(choice))
            return choice;
    return std::nullopt;
}

QString OwnName(Choice choice) {
    return choice == Choice::English ? QStringLiteral("English") : QStringLiteral("简体中文");
}

Choice FromSystem(const QStringList& uiLanguages) {
    for (const QString& language : uiLanguages) {
        // "zh", "zh-CN", "zh-Hans-CN", "en_GB"...: the language is the first part.
        const QString first =
            language.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0).toLower();
        if (first == QLatin1String("zh"))
            return Choice::Chinese;
        if (first == QLatin1String("en"))
            return Choice::English;
    }
    return Choice::Chinese;
}

Choice Decide(const QString& stored, const QStringList& uiLanguages) {
    return FromCode(stored).value_or(FromSystem(uiLanguages));
}

bool Translations::Apply(Choice choice) {
    current_ = choice;
    QCoreApplication::removeTranslator(&program_);
    QCoreApplication::removeTranslator(&qt_);
    const QString code = Code(choice);
    // Qt's own translations: built into the program where Qt is (the static
    // Windows build), else where Qt keeps them.
    if (qt_.load(QStringLiteral(":/i18n/qtbase_") + code) ||
        qt_.load(QStringLiteral("qtbase_") + code,
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qt_);
    const bool found = program_.load(QStringLiteral(":/i18n/kestrix_") + code);
    if (found)
        QCoreApplication::installTranslator(&program_);
    return found;
}

} // namespace Language
