#pragma once

#include <QString>

namespace base {

// The per-user store of text values, addressed by application, section and key. On Linux it is
// the INI file $XDG_CONFIG_HOME/<application>/<application>.conf. A missing, unreadable or
// corrupt store reads as "every key absent"; a store that cannot be written loses the value
// silently: neither ever stops the program.
QString GetSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue);
void SaveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value);

} // namespace base
