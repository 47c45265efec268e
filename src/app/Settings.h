#pragma once

#include <QString>

// The program's four settings, in application "Quorvel", section "Settings".
namespace app {

QString Get(const QString &key, const QString &defaultValue);
void Save(const QString &key, const QString &value);

} // namespace app
