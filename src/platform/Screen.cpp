#include "platform/Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

namespace {

int g_pointer = vbDefault;

double dpiOr96(double dpi)
{
    return dpi > 1.0 ? dpi : 96.0;
}

} // namespace

double TwipsPerPixelX()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return 1440.0 / (s ? dpiOr96(s->logicalDotsPerInchX()) : 96.0);
}

double TwipsPerPixelY()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return 1440.0 / (s ? dpiOr96(s->logicalDotsPerInchY()) : 96.0);
}

double ScreenWidth()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return (s ? s->geometry().width() : 1024) * TwipsPerPixelX();
}

double ScreenHeight()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    return (s ? s->geometry().height() : 768) * TwipsPerPixelY();
}

void SetScreenPointer(int pointer, const QCursor &custom)
{
    if (pointer == vbDefault) {
        while (QGuiApplication::overrideCursor())
            QGuiApplication::restoreOverrideCursor();
        g_pointer = vbDefault;
        return;
    }
    const QCursor cursor = pointer == vbHourglass ? QCursor(Qt::WaitCursor) : custom;
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(cursor);
    else
        QGuiApplication::setOverrideCursor(cursor);
    g_pointer = pointer;
}

int ScreenPointer()
{
    return g_pointer;
}

} // namespace platform
