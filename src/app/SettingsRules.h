#pragma once

#include "base/Numbers.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <vector>

// How the program reads its stored texts. Pure functions, so every rule can be tested alone.
namespace app {

inline const QString kApplication = QStringLiteral("Quorvel");
inline const QString kSection = QStringLiteral("Settings");
inline const QString kPathName = QStringLiteral("PathName");
inline const QString kWindowPosition = QStringLiteral("WindowPosition");
inline const QString kIncludeSubDirs = QStringLiteral("IncludeSubDirs");
inline const QString kTimeDelay = QStringLiteral("TimeDelay");


// The show delay: 0 stays 0 (no automatic change), else limited to 2..10 seconds.
int16_t ReadTimeDelay(QStringView text);
QString WriteTimeDelay(int16_t delay);

struct WindowPlacement
{
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const WindowPlacement &) const = default;
};

// A monitor's rectangle on the virtual desktop, in twips.
struct MonitorTwips
{
    double left = 0, top = 0, width = 0, height = 0;
};

// The browser's outer rectangle in twips, against a screen of the given size in twips. An empty
// text, or one that leaves no width or no height, gives the first-run place.
WindowPlacement ReadWindowPosition(QStringView text, double screenWidth, double screenHeight);

// The same on a desktop of several monitors: the rules of one screen, applied in the coordinates
// of the monitor that holds the stored top-left corner, or of the primary one when none does
// (its monitor was unplugged) or nothing is stored.
WindowPlacement ReadWindowPosition(QStringView text, const std::vector<MonitorTwips> &monitors, size_t primary);
size_t MonitorOfPlace(QStringView text, const std::vector<MonitorTwips> &monitors, size_t primary);
QString WriteWindowPosition(const WindowPlacement &placement);

bool ReadIncludeSubDirs(QStringView text);
QString WriteIncludeSubDirs(bool include);

} // namespace app
