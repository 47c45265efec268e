#include "base/Numbers.h"

#include <QByteArray>

#include <charconv>
#include <cmath>
#include <limits>

namespace base {

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

} // namespace base
