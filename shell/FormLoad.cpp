#include "FormLoad.h"

#include "CommonDialog.h"
#include "Form_Convert.h"
#include "Forms.h"

#include <QCoreApplication>
#include <QLabel>

namespace FormLoad {

namespace {

struct ModeTexts {
    const char* caption;
    const char* description;
    const char* files;
    const char* pattern;
};

constexpr ModeTexts Texts[4] = {
    {QT_TRANSLATE_NOOP("FormLoad", "SMD to BIN"),
     QT_TRANSLATE_NOOP("FormLoad", "SMD format to BIN format"),
     QT_TRANSLATE_NOOP("FormLoad", "SMD files"), "*.smd"},
    {QT_TRANSLATE_NOOP("FormLoad", "BIN to SMD"),
     QT_TRANSLATE_NOOP("FormLoad", "BIN format to SMD format"),
     QT_TRANSLATE_NOOP("FormLoad", "BIN files"), "*.bin"},
    {QT_TRANSLATE_NOOP("FormLoad", "MD to BIN"),
     QT_TRANSLATE_NOOP("FormLoad", "MD format to BIN format"),
     QT_TRANSLATE_NOOP("FormLoad", "MD files"), "*.md"},
    {QT_TRANSLATE_NOOP("FormLoad", "BIN to MD"),
     QT_TRANSLATE_NOOP("FormLoad", "BIN format to MD format"),
     QT_TRANSLATE_NOOP("FormLoad", "BIN files"), "*.bin"},
};

QString Translated(const char* text) {
    return QCoreApplication::translate("FormLoad", text);
}

bool Known(std::int16_t mode) {
    return mode >= 0 && mode <= 3;
}

} // namespace

void SetupConvertWindow(Forms& forms, const std::int16_t& mode) {
    Form_Convert* window = forms.Convert();
    window->Session.CurrentMode = std::int32_t(mode);
    if (Known(mode)) {
        window->setWindowTitle(Translated(Texts[mode].caption));
        window->Label_info1->setText(Translated(Texts[mode].description));
    }
    SetupFileDialog(forms, mode);
}

void SetupFileDialog(Forms& forms, const std::int16_t& mode) {
    CommonDialog& dialog = forms.Dialog();
    dialog.Flags = DialogFlags;
    if (Known(mode))
        dialog.Filter = Translated(Texts[mode].files) + QLatin1Char('|') +
                        QLatin1String(Texts[mode].pattern) + QLatin1Char('|') +
                        Translated(QT_TRANSLATE_NOOP("FormLoad", "All files")) +
                        QStringLiteral("|*.*");
}

} // namespace FormLoad
