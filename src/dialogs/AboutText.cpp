#include "dialogs/AboutText.h"

#include <QtGlobal>

namespace dialogs {

QString VersionText(int major, int minor, int revision)
{
    return QStringLiteral("Version ") + QString::number(major) + QLatin1Char('.') + QString::number(minor)
        + QLatin1Char('.') + QString::number(revision);
}

QString PlatformText()
{
#if defined(Q_OS_WIN)
    const QString os = QStringLiteral("Windows");
#elif defined(Q_OS_MACOS)
    const QString os = QStringLiteral("macOS");
#elif defined(Q_OS_LINUX)
    const QString os = QStringLiteral("Linux");
#else
    const QString os = QStringLiteral("Unix");
#endif
    return QStringLiteral("For %1-bit %2 Platforms").arg(QT_POINTER_SIZE * 8).arg(os);
}

} // namespace dialogs
