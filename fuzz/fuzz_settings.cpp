// Feeds arbitrary text through the rules that read the stored settings, and through the store
// itself as the contents of the settings file.

#include "app/SettingsRules.h"
#include "base/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

const QString &settingsFolder()
{
    static const QString dir = QDir::tempPath() + QStringLiteral("/quorvel-fuzz-settings-%1").arg(::getpid());
    return dir;
}

void removeSettingsFolder() { QDir(settingsFolder()).removeRecursively(); }

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    QDir().mkpath(settingsFolder() + "/Fuzz");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder());
    std::atexit(removeSettingsFolder); // the run leaves nothing behind
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);

    const double n = base::LeadingNumber(text);
    if (std::isnan(n))
        std::abort();
    const int16_t delay = app::ReadTimeDelay(text);
    if (!(delay == 0 || (delay >= 2 && delay <= 10)))
        std::abort();
    const app::WindowPlacement p = app::ReadWindowPosition(text, 15360, 11520);
    if (p.left < 0 || p.top < 0 || p.width < 0 || p.height < 0 || p.left > 15360 || p.top > 11520
        || p.left + p.width > 15360 || p.top + p.height > 11520)
        std::abort();
    app::ReadIncludeSubDirs(text);

    // The same bytes as a settings file: read back as text, never a crash.
    const QString file = QSettings("Fuzz", "Fuzz").fileName();
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.write(bytes);
        f.close();
        for (const char *key : {"PathName", "WindowPosition", "IncludeSubDirs", "TimeDelay"})
            app::ReadWindowPosition(base::GetSetting("Fuzz", "Settings", QString::fromLatin1(key), QString()),
                                         15360, 11520);
    }
    return 0;
}
