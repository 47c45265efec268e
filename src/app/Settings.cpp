#include "app/Settings.h"

#include "app/SettingsRules.h"
#include "platform/SettingsStore.h"

namespace settings {

QString Get(const QString &key, const QString &defaultValue)
{
    return platform::GetSetting(kApplication, kSection, key, defaultValue);
}

void Save(const QString &key, const QString &value)
{
    platform::SaveSetting(kApplication, kSection, key, value);
}

} // namespace settings
