#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Colour management: the ICC profile a picture's file carries, and the conversion of decoded
// pixels from it to the display's profile through lcms2. An empty profile stands for sRGB on
// either side: an untagged picture on an sRGB display is left alone, without any lcms2 call.
//
// A profile is untrusted input. Before lcms2 sees one it must be an RGB display, input or
// colour space profile of at most kMaxProfileBytes whose header and every tag lie inside it,
// with a bounded number of tags and lookup tables of RGB to PCS; lcms2 then works in a context
// whose allocations are capped (kMaxColourWorkBytes), so a lookup table that claims more than
// the profile holds fails instead of eating memory. A profile that falls short is ignored: the
// picture is shown unconverted, and the reason is returned for a note.
//
// Transforms are made once per (picture profile, display profile) pair and kept; every
// function here may be called from any thread at once.
namespace picture {

constexpr qsizetype kMaxProfileBytes = qsizetype(4) << 20;
constexpr qint64 kMaxColourWorkBytes = qint64(32) << 20;

// A profile found in a file; `problem` says why one the file carries cannot be had (chunks
// missing, damaged, too large), and is empty otherwise.
struct EmbeddedProfile
{
    QByteArray profile;
    QString problem;
};

// JPEG: the APP2 "ICC_PROFILE" chunks before the first scan, joined in their sequence order.
EmbeddedProfile JpegProfile(const QByteArray &file);
// PNG: the iCCP chunk.
EmbeddedProfile PngProfile(const QByteArray &file);
// BMP: the profile a V5 header embeds (a linked one, naming a file, is not followed).
EmbeddedProfile BmpProfile(const QByteArray &file);
// Icon or cursor: the profile of entry `index` when that entry is a PNG.
EmbeddedProfile IconEntryProfile(const QByteArray &file, int index);

// Why `profile` cannot be converted from or to; empty when it can.
QString ProfileProblem(const QByteArray &profile);

// Converts `image` from `pictureProfile` to `displayProfile`, in place when it is RGB32 or
// ARGB32 (alpha is kept), else in one of those. Returns why a profile was ignored, the image
// then untouched; empty when the pixels were converted or nothing needed doing.
QString ConvertToDisplay(QImage &image, const QByteArray &pictureProfile, const QByteArray &displayProfile);

// How many transforms have been made in this process (for tests: the cache is used).
int TransformsMade();

} // namespace picture
