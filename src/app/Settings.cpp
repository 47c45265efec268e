#include "app/Settings.h"

#include "app/SettingsRules.h"
#include "base/SettingsStore.h"

namespace app {

QString Get(const QString &key, const QString &defaultValue)
{
    return base::GetSetting(kApplication, kSection, key, defaultValue);
}

void Save(const QString &key, const QString &value)
{
    base::SaveSetting(kApplication, kSection, key, value);
}

} // namespace app
