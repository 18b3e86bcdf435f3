#pragma once

// Styles and answers of the program's message boxes.
namespace MsgBox {

enum Style : int {
    OkOnly = 0,
    OkCancel = 1,
    YesNo = 4,
};

enum Answer : int {
    Ok = 1,
    Cancel = 2,
    Yes = 6,
    No = 7,
};

} // namespace MsgBox
