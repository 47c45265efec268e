#pragma once

#include <QString>

namespace dialogs {

// "Version " and the three numbers, each in plain decimal: Version 1.0.24.
QString VersionText(int major, int minor, int revision);

// The platform the program was built for, e.g. "For 64-bit Linux Platforms".
QString PlatformText();

} // namespace dialogs
