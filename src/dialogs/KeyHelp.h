#pragma once

#include <QString>

namespace dialogs {

// The list of the show's keys, lines ending in CR LF.
QString KeyHelpText();

// Shows the key list in the message window, modally, under the caption "Help For Quorvel".
void ShowKeyHelp();

} // namespace dialogs
