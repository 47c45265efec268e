#include "picture/wmf/WmfCanvas.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

extern "C" {
#include FT_OUTLINE_H
}

namespace picture {

namespace {

// Longest string drawn from one text record.
constexpr int kMaxTextLength = 8192;
// Text whose characters are this many times the canvas is not drawn (nothing of it would be
// recognisable).
constexpr double kMaxEmCanvases = 8.0;
constexpr int kGlyphBatchElements = 1024;

// Windows-1252 characters 0x80-0x9F in Unicode (0 where the code page has none); the rest of
// an ANSI string is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char32_t ansiToUnicode(unsigned char c)
{
    if (c >= 0x80 && c < 0xA0)
        return kCp1252High[c - 0x80];
    return c;
}

constexpr int kSymbolCharset = 2;

// Glyph outlines in font units, for filling through QPainter.
struct OutlineSink
{
    QPainterPath *path;

    static QPointF at(const FT_Vector *v, void *)
    {
        return QPointF(double(v->x), double(v->y));
    }
    static int moveTo(const FT_Vector *to, void *user)
    {
        static_cast<OutlineSink *>(user)->path->moveTo(at(to, user));
        return 0;
    }
    static int lineTo(const FT_Vector *to, void *user)
    {
        static_cast<OutlineSink *>(user)->path->lineTo(at(to, user));
        return 0;
    }
    static int conicTo(const FT_Vector *control, const FT_Vector *to, void *user)
    {
        static_cast<OutlineSink *>(user)->path->quadTo(at(control, user), at(to, user));
        return 0;
    }
    static int cubicTo(const FT_Vector *c1, const FT_Vector *c2, const FT_Vector *to, void *user)
    {
        static_cast<OutlineSink *>(user)->path->cubicTo(at(c1, user), at(c2, user), at(to, user));
        return 0;
    }
};

// A font's average character width, in ems, when the face cannot tell.
constexpr double kTypicalAverageWidth = 0.45;

// The glyph of `code` in `face`: through the Unicode map (the string is ANSI), else, and
// first for symbol fonts, through the font's own encoding.
FT_UInt glyphIndex(FT_Face face, unsigned char code, bool symbol)
{
    FT_CharMap unicode = nullptr;
    FT_CharMap custom = nullptr;
    for (int i = 0; i < face->num_charmaps; ++i) {
        FT_CharMap map = face->charmaps[i];
        if (map->encoding == FT_ENCODING_UNICODE)
            unicode = unicode ? unicode : map;
        else
            custom = custom ? custom : map;
    }
    auto lookup = [&](FT_CharMap map) -> FT_UInt {
        if (!map || FT_Set_Charmap(face, map) != 0)
            return 0;
        if (map->encoding == FT_ENCODING_UNICODE)
            return ansiToUnicode(code) ? FT_Get_Char_Index(face, ansiToUnicode(code)) : 0;
        FT_UInt index = FT_Get_Char_Index(face, code);
        if (!index && map->encoding == FT_ENCODING_MS_SYMBOL)
            index = FT_Get_Char_Index(face, 0xF000u | code);
        return index;
    };
    const FT_UInt first = lookup(symbol ? custom : unicode);
    return first ? first : lookup(symbol ? unicode : custom);
}

// How much libwmf narrowed a character to fit the spacing an ExtTextOut gives it (the face
// standing in for the file's font may be wider). A character given no room at all (the
// last one usually) is drawn at its own width, as GDI draws it.
double squeezed(const wmfDrawText_t *text)
{
    const wmfFont *font = WMF_DC_FONT(text->dc);
    const double own = WMF_FONT_HEIGHT(font) > 0 ? double(WMF_FONT_WIDTH(font)) / WMF_FONT_HEIGHT(font) : 1.0;
    const double given = text->font_ratio;
    if (!std::isfinite(given) || own <= 0 || given < own * 0.05)
        return 1.0;
    return std::min(1.0, given / own);
}

// How much wider than its design a font is drawn. A font's width field asks for an average
// character width (libwmf fills in the height when it is 0, meaning the design width).
double stretch(const wmfFont *font, double averageEms)
{
    const double width = WMF_FONT_WIDTH(font);
    const double height = WMF_FONT_HEIGHT(font);
    if (width <= 0 || height <= 0 || width == height || averageEms <= 0)
        return 1.0;
    return std::clamp(width / height / averageEms, 0.05, 20.0);
}

} // namespace

const WmfCanvas::Glyph *WmfCanvas::glyph(FT_Face face, FT_UInt index)
{
    const QPair<const void *, FT_UInt> key(face, index);
    auto found = glyphs.find(key);
    if (found != glyphs.end())
        return &*found;
    Glyph g;
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) != 0)
        return nullptr;
    g.advance = double(face->glyph->metrics.horiAdvance);
    if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        OutlineSink sink{&g.path};
        FT_Outline_Funcs funcs{};
        funcs.move_to = OutlineSink::moveTo;
        funcs.line_to = OutlineSink::lineTo;
        funcs.conic_to = OutlineSink::conicTo;
        funcs.cubic_to = OutlineSink::cubicTo;
        FT_Outline_Decompose(&face->glyph->outline, &funcs, &sink);
        g.path.setFillRule(Qt::WindingFill);
    }
    return &*glyphs.insert(key, g);
}

// Canvas transform of a string's own space: x along the baseline from the reference point,
// y up, in units of `unitsX` x `unitsY` device units.
QTransform WmfCanvas::textTransform(const wmfDrawText_t *text, double unitsX, double unitsY) const
{
    QTransform t;
    t.translate(double(text->pt.x), double(text->pt.y));
    t.rotateRadians(-WMF_TEXT_ANGLE(WMF_DC_FONT(text->dc)));
    t.scale(unitsX, -unitsY);
    const QTransform device(sx, 0, 0, sy, -frame.left() * sx, -frame.top() * sy);
    return t * device;
}

void WmfCanvas::drawText(const wmfDrawText_t *text)
{
    const wmfDC *dc = text->dc;
    wmfFont *font = dc ? WMF_DC_FONT(dc) : nullptr;
    if (!font || !text->str || !finite(text->pt))
        return;
    const double height = text->font_height; // the em, in device units
    const double emPixels = std::max(std::abs(height * sy), std::abs(height * sx));
    if (!std::isfinite(height) || height <= 0 || emPixels < 0.5
        || emPixels > kMaxEmCanvases * std::max(size.width(), size.height()))
        return;
    const QByteArray str(text->str, qsizetype(qstrnlen(text->str, kMaxTextLength)));
    if (str.isEmpty())
        return;

    // The whole string's cell in OPAQUE mode and an ETO_OPAQUE rectangle: libwmf passes
    // the cell with the first call of a string it spaces out character by character.
    const bool firstCall = text->bbox.TL.x != 0 || text->bbox.TL.y != 0 || text->bbox.BR.x != 0
                           || text->bbox.BR.y != 0;
    const QColor background = toColor(WMF_DC_BACKGROUND(dc));
    if (firstCall && (text->flags & ETO_OPAQUE) && finite(text->TL) && finite(text->BR)) {
        const QRectF box = mapRect(text->TL, text->BR) & canvasRect();
        work->addPixels(box.width() * box.height());
        painter.fillRect(box, background);
    }
    if (firstCall && WMF_DC_OPAQUE(dc) && finite(text->bbox.TL) && finite(text->bbox.TR)
        && finite(text->bbox.BR) && finite(text->bbox.BL)) {
        QPainterPath cell;
        cell.addPolygon(QPolygonF{map(text->bbox.TL), map(text->bbox.TR), map(text->bbox.BR), map(text->bbox.BL)});
        fillArea(cell, background);
    }
    const bool clipped = (text->flags & ETO_CLIPPED) && finite(text->TL) && finite(text->BR)
                         && (text->TL.x != text->BR.x || text->TL.y != text->BR.y);
    if (clipped) {
        painter.save();
        painter.setClipRect(mapRect(text->TL, text->BR), Qt::IntersectClip);
    }
    const QColor color = toColor(WMF_DC_TEXTCOLOR(dc));
    const double squeeze = squeezed(text);
    if (FT_Face face = WMF_FONT_FTFACE(font); face && face->units_per_EM > 0) {
        const double em = face->units_per_EM;
        drawOutlines(text, face, str, height * squeeze * stretch(font, averageWidth(face)) / em, height / em,
                     color);
    } else {
        drawWithQtFont(text, str, height * squeeze * stretch(font, kTypicalAverageWidth), height, color);
    }
    if (clipped)
        painter.restore();
}

// The average advance of the lower-case letters and the space, in ems: what a font's width
// field is measured against.
double WmfCanvas::averageWidth(FT_Face face)
{
    const auto found = averageWidths.constFind(face);
    if (found != averageWidths.cend())
        return *found;
    const FT_CharMap previous = face->charmap;
    double sum = 0;
    int count = 0;
    for (const char c : QByteArrayView(" abcdefghijklmnopqrstuvwxyz")) {
        const FT_UInt index = glyphIndex(face, static_cast<unsigned char>(c), false);
        if (const Glyph *g = index ? glyph(face, index) : nullptr; g && g->advance > 0) {
            sum += g->advance;
            ++count;
        }
    }
    if (previous)
        FT_Set_Charmap(face, previous);
    const double average = count ? sum / count / face->units_per_EM : kTypicalAverageWidth;
    averageWidths.insert(face, average);
    return average;
}

// The glyph outlines of the face libwmf measured the string with (its layout of the string
// assumes that face's advances).
void WmfCanvas::drawOutlines(const wmfDrawText_t *text, FT_Face face, const QByteArray &str, double unitX, double unitY,
                                 const QColor &color)
{
    const wmfFont *font = WMF_DC_FONT(text->dc);
    const bool symbol = WMF_FONT_CHARSET(font) == kSymbolCharset;
    const FT_CharMap previous = face->charmap; // libwmf measures through the face's map
    const QTransform toCanvas = textTransform(text, unitX, unitY);
    const QRectF canvas = canvasRect();
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    double x = 0;
    FT_UInt before = 0;
    for (qsizetype i = 0; i < str.size(); ++i) {
        work->add(WmfWork::kPerGlyph);
        if ((i & 63) == 63 && work->over())
            break;
        const FT_UInt index = glyphIndex(face, static_cast<unsigned char>(str[i]), symbol);
        if (!index)
            continue;
        if (before && FT_HAS_KERNING(face)) {
            FT_Vector kern{0, 0};
            if (FT_Get_Kerning(face, before, index, FT_KERNING_UNSCALED, &kern) == 0)
                x += double(kern.x);
        }
        if (const Glyph *g = glyph(face, index)) {
            // Only glyphs that reach the canvas: a long string in a huge font would
            // otherwise hand the rasteriser a path millions of pixels long.
            const QPainterPath placed = g->path.translated(x, 0);
            if (toCanvas.mapRect(placed.controlPointRect()).intersects(canvas))
                path.addPath(placed);
            // Filled in batches: one path of thousands of overlapping glyphs is far slower
            // to rasterise than the same glyphs a few at a time.
            if (path.elementCount() > kGlyphBatchElements) {
                fillArea(toCanvas.map(path), color);
                path.clear();
            }
            x += g->advance;
        }
        before = index;
    }
    if (previous)
        FT_Set_Charmap(face, previous);
    if (WMF_TEXT_UNDERLINE(font) || WMF_TEXT_STRIKEOUT(font)) {
        const double em = face->units_per_EM;
        const double thickness = face->underline_thickness > 0 ? face->underline_thickness : em / 20;
        if (WMF_TEXT_UNDERLINE(font)) {
            const double at = face->underline_position < 0 ? face->underline_position : -em / 10;
            path.addRect(QRectF(0, at - thickness / 2, x, thickness));
        }
        if (WMF_TEXT_STRIKEOUT(font))
            path.addRect(QRectF(0, em * 0.28 - thickness / 2, x, thickness));
    }
    if (path.isEmpty())
        return;
    fillArea(toCanvas.map(path), color);
}

// Without a face from libwmf, Qt's own sans-serif, where there is an application to provide
// fonts (text would need one even on a QImage).
void WmfCanvas::drawWithQtFont(const wmfDrawText_t *text, const QByteArray &str, double width, double height,
                                   const QColor &color)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    constexpr int kPixelSize = 64;
    QFont qfont(QStringLiteral("sans-serif"));
    qfont.setPixelSize(kPixelSize);
    QString decoded;
    decoded.reserve(str.size());
    for (const char c : str)
        if (const char32_t u = ansiToUnicode(static_cast<unsigned char>(c)))
            decoded.append(QChar(char16_t(u)));
    painter.save();
    // Qt's text space has y down: undo the flip textTransform() makes for outlines.
    painter.setTransform(QTransform::fromScale(1, -1)
                         * textTransform(text, width / kPixelSize, height / kPixelSize));
    painter.setFont(qfont);
    painter.setPen(color);
    work->add(WmfWork::kPerGlyph * decoded.size());
    painter.drawText(QPointF(0, 0), decoded);
    painter.restore();
}

} // namespace picture
