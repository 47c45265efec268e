#pragma once

#include <QString>

class QWidget;

namespace dialogs {

// The list of the show's keys, lines ending in CR LF.
QString KeyHelpText();

// Shows the key list in the message window, modally, under the caption "Help For Quorvel",
// centred on the monitor of `opener`.
void ShowKeyHelp(QWidget &opener);

} // namespace dialogs
