#include "app/SettingsRules.h"

#include <charconv>
#include <cmath>
#include <limits>

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

WindowPlacement ReadWindowPosition(QStringView text, double screenWidth, double screenHeight)
{
    if (text.isEmpty())
        return firstRunPlace(screenWidth, screenHeight);
    WindowPlacement p;
    // Each field is read from the text as cut after the previous field's comma; without a comma
    // the text stays whole and the next field reads the same number again.
    QStringView rest = text;
    const auto nextField = [&rest]() {
        const double v = LeadingNumber(rest);
        const qsizetype comma = rest.indexOf(u',');
        if (comma >= 0)
            rest = rest.mid(comma + 1);
        return v;
    };
    // Wide integers so that a field near the 32-bit limit cannot overflow the sums below.
    int64_t left = ToInt32(nextField());
    if (left < 0)
        left = 0;
    if (screenWidth < double(left))
        left = ToInt32(screenWidth * 3 / 5);
    int64_t top = ToInt32(nextField());
    if (top < 0)
        top = 0;
    if (screenHeight < double(top))
        top = ToInt32(screenHeight * 2 / 3);
    int64_t width = ToInt32(nextField());
    if (width < 0)
        width = 0;
    if (screenWidth < double(left + width))
        width = ToInt32(screenWidth - double(left));
    int64_t height = ToInt32(nextField());
    if (height < 0)
        height = 0;
    if (screenHeight < double(top + height))
        height = ToInt32(screenHeight - double(top));
    // A window of no width or height could not be seen, nor found to be moved back.
    if (width <= 0 || height <= 0)
        return firstRunPlace(screenWidth, screenHeight);
    p.left = int32_t(left);
    p.top = int32_t(top);
    p.width = int32_t(width);
    p.height = int32_t(height);
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
