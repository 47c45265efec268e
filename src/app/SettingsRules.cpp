#include "app/SettingsRules.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace app {

using base::LeadingNumber;
using base::ToInt16;
using base::ToInt32;


int16_t ReadTimeDelay(QStringView text)
{
    const int16_t d = ToInt16(LeadingNumber(text));
    if (d == 0)
        return 0;
    if (d < 2)
        return 2;
    if (d > 10)
        return 10;
    return d;
}

QString WriteTimeDelay(int16_t delay)
{
    return QString::number(delay);
}

namespace {

WindowPlacement firstRunPlace(double screenWidth, double screenHeight)
{
    WindowPlacement p;
    p.left = ToInt32(screenWidth * 3 / 5);
    p.top = ToInt32(screenHeight * 2 / 3);
    p.width = ToInt32(screenWidth * 2 / 5);
    p.height = ToInt32(screenHeight / 3);
    return p;
}

} // namespace

namespace {

struct Fields
{
    int64_t left = 0, top = 0, width = 0, height = 0;
};

// The four numbers as stored: each field is read from the text as cut after the previous field's
// comma; without a comma the text stays whole and the next field reads the same number again.
Fields readFields(QStringView text)
{
    QStringView rest = text;
    const auto nextField = [&rest]() {
        const double v = LeadingNumber(rest);
        const qsizetype comma = rest.indexOf(u',');
        if (comma >= 0)
            rest = rest.mid(comma + 1);
        return int64_t(ToInt32(v));
    };
    Fields f;
    f.left = nextField();
    f.top = nextField();
    f.width = nextField();
    f.height = nextField();
    return f;
}

// The clamps against a screen whose corner is at 0, 0. Wide integers, so that a field near the
// 32-bit limit cannot overflow the sums.
std::optional<Fields> clampToScreen(Fields f, double screenWidth, double screenHeight)
{
    if (f.left < 0)
        f.left = 0;
    if (screenWidth < double(f.left))
        f.left = ToInt32(screenWidth * 3 / 5);
    if (f.top < 0)
        f.top = 0;
    if (screenHeight < double(f.top))
        f.top = ToInt32(screenHeight * 2 / 3);
    if (f.width < 0)
        f.width = 0;
    if (screenWidth < double(f.left + f.width))
        f.width = ToInt32(screenWidth - double(f.left));
    if (f.height < 0)
        f.height = 0;
    if (screenHeight < double(f.top + f.height))
        f.height = ToInt32(screenHeight - double(f.top));
    // A window of no width or height could not be seen, nor found to be moved back.
    if (f.width <= 0 || f.height <= 0)
        return std::nullopt;
    return f;
}

bool holds(const MonitorTwips &m, int64_t x, int64_t y)
{
    return double(x) >= m.left && double(x) < m.left + m.width && double(y) >= m.top && double(y) < m.top + m.height;
}

} // namespace

WindowPlacement ReadWindowPosition(QStringView text, double screenWidth, double screenHeight)
{
    return ReadWindowPosition(text, {{0, 0, screenWidth, screenHeight}}, 0);
}

size_t MonitorOfPlace(QStringView text, const std::vector<MonitorTwips> &monitors, size_t primary)
{
    if (text.isEmpty())
        return primary;
    const Fields f = readFields(text);
    for (size_t i = 0; i < monitors.size(); ++i) {
        if (holds(monitors[i], f.left, f.top))
            return i;
    }
    return primary;
}

WindowPlacement ReadWindowPosition(QStringView text, const std::vector<MonitorTwips> &monitors, size_t primary)
{
    const size_t index = MonitorOfPlace(text, monitors, primary);
    const MonitorTwips m = index < monitors.size() ? monitors[index] : MonitorTwips{};
    // The rules are those of one screen, in the monitor's own coordinates.
    const int64_t originX = ToInt32(m.left), originY = ToInt32(m.top);
    std::optional<Fields> f;
    if (!text.isEmpty()) {
        Fields stored = readFields(text);
        stored.left -= originX;
        stored.top -= originY;
        f = clampToScreen(stored, m.width, m.height);
    }
    WindowPlacement p = f ? WindowPlacement{int32_t(f->left), int32_t(f->top), int32_t(f->width), int32_t(f->height)}
                          : firstRunPlace(m.width, m.height);
    p.left = ToInt32(double(p.left) + double(originX));
    p.top = ToInt32(double(p.top) + double(originY));
    return p;
}

QString WriteWindowPosition(const WindowPlacement &placement)
{
    return QStringLiteral("%1,%2,%3,%4")
        .arg(placement.left)
        .arg(placement.top)
        .arg(placement.width)
        .arg(placement.height);
}

bool ReadIncludeSubDirs(QStringView text)
{
    return ToInt32(LeadingNumber(text)) == 1;
}

QString WriteIncludeSubDirs(bool include)
{
    return include ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace app
