#pragma once

#include <QString>

#include <cstdint>

class Desktop;

// The failures the program reports with a fixed message box.
enum ErrorKind : std::int32_t {
    DefaultBrowserNotFound = -1,
    ConversionFailure = -2,
    UseableDriveNotFound = -3,
    IncorrectPath = -4,
};

namespace Errors {

// Shows the box of an error kind; any other value shows nothing. For a
// conversion failure the box names the list entry being converted.
void ShowError(Desktop& desktop, std::int32_t kind, const QString& entry = QString());

} // namespace Errors
