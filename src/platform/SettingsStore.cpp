#include "platform/SettingsStore.h"

#include <QSettings>
#include <QStringList>

namespace platform {

QString GetSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue)
{
    QSettings store(application, application);
    store.beginGroup(section);
    if (!store.contains(key))
        return defaultValue;
    const QVariant value = store.value(key);
    // A hand-edited 1,2,3,4 without quotes comes back as a list; the program stores texts.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    if (!value.canConvert<QString>())
        return defaultValue;
    return value.toString();
}

void SaveSetting(const QString &application, const QString &section, const QString &key,
                 const QString &value)
{
    QSettings store(application, application);
    store.beginGroup(section);
    store.setValue(key, value);
    store.endGroup();
    store.sync();
}

} // namespace platform
