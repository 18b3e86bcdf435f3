#include "Errors.h"

#include "Desktop.h"
#include "MsgBox.h"

namespace Errors {

void ShowError(Desktop& desktop, std::int32_t kind, const QString& entry) {
    QString title;
    QString text;
    switch (kind) {
    case DefaultBrowserNotFound:
        title = QStringLiteral("Error. Default Browser Not Found");
        text = QStringLiteral("The default browser for this system could not be found");
        break;
    case ConversionFailure: {
        title = QStringLiteral("Error. Conversion Fauilure");
        text = QStringLiteral("The file ") + entry +
               QStringLiteral(" could not be converted! Skipping this file...");
        break;
    }
    case UseableDriveNotFound:
        title = QStringLiteral("Error. Useable Drvie Not Found");
        text = QStringLiteral("This drive is not useable");
        break;
    case IncorrectPath:
        title = QStringLiteral("Error. Incorrect Path");
        text = QStringLiteral(
            "One or more files or paths did not exist and were deleted from the list");
        break;
    default:
        return;
    }
    desktop.ShowMessage(text, MsgBox::OkOnly, title);
}

} // namespace Errors
