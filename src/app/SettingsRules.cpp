#include "app/SettingsRules.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace settings {

double LeadingNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    // Collect the digits as text and let the library convert them: exact to the last bit,
    // and a 400-digit number becomes infinity rather than garbage.
    QByteArray digits;
    bool any = false;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        digits.append(char(text[i++].unicode()));
        any = true;
    }
    if (i < n && text[i] == u'.') {
        digits.append('.');
        ++i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            digits.append(char(text[i++].unicode()));
            any = true;
        }
    }
    if (!any)
        return 0.0;
    // from_chars ignores the user's locale, which may use "," for decimals.
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.constData(), digits.constData() + digits.size(), value);
    Q_UNUSED(end);
    if (error == std::errc::result_out_of_range) {
        // Too large, or so small that it is 0 for every rule that reads it.
        const QByteArray whole = digits.left(digits.indexOf('.') < 0 ? digits.size() : digits.indexOf('.'));
        const bool large = whole.count('0') != whole.size();
        value = large ? std::numeric_limits<double>::max() : 0.0;
    }
    return negative ? -value : value;
}

double RoundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1.0;
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

namespace {

template <typename T>
T toInt(double value)
{
    const double r = RoundHalfEven(value);
    if (std::isnan(r))
        return 0;
    if (r <= double(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (r >= double(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return T(r);
}

} // namespace

int16_t ToInt16(double value)
{
    return toInt<int16_t>(value);
}

int32_t ToInt32(double value)
{
    return toInt<int32_t>(value);
}

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

} // namespace settings
