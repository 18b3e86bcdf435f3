#include "FormLoad.h"

#include "CommonDialog.h"
#include "Form_Convert.h"
#include "Forms.h"

#include <QLabel>

namespace FormLoad {

namespace {

struct ModeTexts {
    const char16_t* caption;
    const char16_t* description;
    const char16_t* filter;
};

constexpr ModeTexts Texts[4] = {
    {u"SMD to BIN", u"SMD格式转换到BIN格式", u"SMD格式文件|*.smd|所有文件|*.*"},
    {u"BIN to SMD", u"BIN格式转换到SMD格式", u"BIN格式文件|*.bin|所有文件|*.*"},
    {u"MD to BIN", u"MD格式转换到BIN格式", u"MD格式文件|*.md|所有文件|*.*"},
    {u"BIN to MD", u"BIN格式转换到MD格式", u"BIN格式文件|*.bin|所有文件|*.*"},
};

bool Known(std::int16_t mode) {
    return mode >= 0 && mode <= 3;
}

} // namespace

void SetupConvertWindow(Forms& forms, const std::int16_t& mode) {
    Form_Convert* window = forms.Convert();
    window->Session.CurrentMode = std::int32_t(mode);
    if (Known(mode)) {
        window->setWindowTitle(QString::fromUtf16(Texts[mode].caption));
        window->Label_info1->setText(QString::fromUtf16(Texts[mode].description));
    }
    SetupFileDialog(forms, mode);
}

void SetupFileDialog(Forms& forms, const std::int16_t& mode) {
    CommonDialog& dialog = forms.Dialog();
    dialog.Flags = DialogFlags;
    if (Known(mode))
        dialog.Filter = QString::fromUtf16(Texts[mode].filter);
}

} // namespace FormLoad
