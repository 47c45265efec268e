#pragma once

#include <QStringView>

#include <cstdint>

// How numbers are read from stored and typed texts, and narrowed to whole numbers.
namespace base {

// The number at the start of the text: leading blanks, an optional sign, digits with an
// optional "." part; no exponent. 0 when the text does not start with a number.
double LeadingNumber(QStringView text);

// Nearest whole number, a value exactly halfway going to the even neighbour.
double RoundHalfEven(double value);

// Rounds half to even and clamps into the integer's range (huge texts never overflow).
int16_t ToInt16(double value);
int32_t ToInt32(double value);

} // namespace base
