#include "base/SettingsStore.h"

#include "base/FileSys.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>

namespace base {

namespace {

// A text with bytes that are not UTF-8 in it (a folder's name, kept as DecodeName escapes them).
bool holdsRawBytes(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF; });
}

} // namespace

QString GetSetting(const QString &application, const QString &section, const QString &key,
                   const QString &defaultValue)
{
    QSettings store(application, application);
    store.beginGroup(section);
    if (!store.contains(key))
        return defaultValue;
    const QVariant value = store.value(key);
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        return DecodeName(bytes.constData(), size_t(bytes.size()));
    }
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
    // Written to a new file that then takes the old one's place, never over it: a write cut short
    // (the process killed, the power going) leaves the old settings whole.
    store.setAtomicSyncRequired(true);
    store.beginGroup(section);
    // The file is UTF-8 text, where such bytes would turn into replacement characters: they go
    // in as Qt's byte-array form, which keeps them. Every other text stays plain text.
    if (holdsRawBytes(value))
        store.setValue(key, EncodePath(value));
    else
        store.setValue(key, value);
    store.endGroup();
    store.sync();
}

} // namespace base
