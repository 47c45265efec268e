#pragma once

#include <cstdint>

// The browser's layout rules in twips, free of any window so they can be checked with numbers.
namespace browser {

struct TwipRect
{
    double left = 0, top = 0, width = 0, height = 0;
    bool operator==(const TwipRect &) const = default;
};

struct LayoutInput
{
    double scaleWidth = 0;  // client area
    double scaleHeight = 0;
    TwipRect drive;         // the drive list as it is (left, width and height are kept)
    double listWidth = 0;   // the file list's width now (kept when its move is refused)
    double tppx = 15;       // twips per pixel
};

struct Layout
{
    TwipRect drive;
    bool folderMoved = false; // false: the folder list's move was refused (negative size)
    TwipRect folder;
    bool listMoved = false;
    TwipRect list;
    double lineX1 = 0, lineY1 = 0, lineX2 = 0, lineY2 = 0;
    int16_t columns = 1;
};

// Every step runs, even when an earlier one was refused; a refused move changes nothing.
Layout ComputeLayout(const LayoutInput &in);

// Column count of the file list: width / 1800 twips, halves to even, at least 1.
int16_t ColumnCount(double listWidth);

// The left column's width during a splitter drag to pointer X: kept within 1/10 and 9/10.
double SplitterWidth(double x, double scaleWidth, double tppx);

} // namespace browser
