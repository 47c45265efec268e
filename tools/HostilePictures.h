#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>

// Small files built to cost a picture loader far more time or memory than their size suggests:
// for the loader's tests and the fuzzer's seeds. Each is made exactly, a few bytes at a time.
namespace HostilePictures {

// A grey progressive JPEG of `size`: a DC scan and `acScans` AC scans of one byte of coded data
// each (every block decodes as "nothing here"), padded with comment segments before the frame
// to at least `padTo` bytes.
QByteArray progressiveJpeg(QSize size, int acScans, qsizetype padTo = 0);

// An 8-bit run-length BMP of `size` whose runs cover a few rows and then end the bitmap, padded
// to `fileBytes` with runs.
QByteArray rle8Bmp(QSize size, qsizetype fileBytes);

// A GIF with a logical screen of `screen` and a single 1 x 1 frame, padded to `fileBytes` with
// comment blocks.
QByteArray gifWithScreen(QSize screen, qsizetype fileBytes);

// A metafile of a 1000 x 1000 unit window (about 10 inches) holding `count` ellipses of
// `side` units, spread over it.
QByteArray ellipseMetafile(int count, int side);

// Colour profiles. A working RGB display profile of matrix and curves (sRGB's primaries and
// curve), with the red and green primaries swapped when asked.
QByteArray matrixProfile(bool swapRedGreen = false);

struct NamedProfile
{
    const char *name;
    QByteArray bytes;
    bool usable; // what a careful reader may still use (a harmful part left out)
};
// Profiles built to be refused or to cost: cut short, a tag outside, thousands of tags, a lookup
// table claiming 100 MB, one of 15 inputs, a printer's, a CMYK one; and one usable (red and green
// swapped) once a chain of 60000 floating-point elements is left out.
QList<NamedProfile> hostileProfiles();

// `jpeg` with `profile` in APP2 chunks of at most `chunkBytes` right after SOI, last chunk first
// when asked.
QByteArray jpegWithProfile(const QByteArray &jpeg, const QByteArray &profile, int chunkBytes = 65519,
                           bool reversed = false);
// `png` with `profile` in an iCCP chunk after the header.
QByteArray pngWithProfile(const QByteArray &png, const QByteArray &profile);

} // namespace HostilePictures
