#pragma once

#include <QString>
#include <QStringList>
#include <QTranslator>

#include <optional>

// The languages the windows speak, and which one they speak.
namespace Language {

enum class Choice { Chinese, English };
inline constexpr Choice All[] = {Choice::Chinese, Choice::English};

// The code a choice is kept under and its translations are named by:
// "zh_CN", "en".
QString Code(Choice choice);
std::optional<Choice> FromCode(const QString& code);

// The language's name in its own words, as the language menu lists it.
QString OwnName(Choice choice);

// The language the desktop's UI languages ask for, most wanted first: the
// first Chinese or English one decides; with neither (the C locale among
// them), the program's own Chinese.
Choice FromSystem(const QStringList& uiLanguages);

// The user's kept choice where there is a valid one, else the system's.
Choice Decide(const QString& stored, const QStringList& uiLanguages);

// The translators of one language, the program's and Qt's own (its standard
// dialogs and buttons), installed for the whole application. Applying
// another language replaces them, and every window hears a LanguageChange.
class Translations {
public:
    // Whether the program's translation was found (it is built in, so false
    // only for a build without it).
    bool Apply(Choice choice);
    Choice Current() const { return current_; }

private:
    Choice current_ = Choice::Chinese;
    QTranslator program_;
    QTranslator qt_;
};

} // namespace Language
