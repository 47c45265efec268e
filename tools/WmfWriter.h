#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QPolygon>
#include <QRect>
#include <QSize>

// Records a Windows metafile. Drawing is done in "design" coordinates that are multiplied by
// a fixed scale, so a picture authored at 640x480 can be stored in finer logical units.
class WmfWriter
{
public:
    enum class PenStyle : quint16 { Solid = 0, Dash = 1, Dot = 2, None = 5 };
    enum class BrushStyle : quint16 { Solid = 0, None = 1, Hatched = 2 };
    enum class Hatch : quint16 { Horizontal = 0, Vertical = 1, ForwardDiagonal = 2, BackwardDiagonal = 3,
                                 Cross = 4, DiagonalCross = 5 };

    explicit WmfWriter(QSize designSize, int scale = 1);

    QSize logicalSize() const { return m_designSize * m_scale; }

    // Each replaces the current pen or brush: create, select, then delete the old one.
    void setPen(PenStyle style, int width, const QColor &color);
    void setBrush(BrushStyle style, const QColor &color = Qt::black, Hatch hatch = Hatch::Horizontal);
    void setBackgroundTransparent(bool transparent);
    void setWindingFill(bool winding);

    void rectangle(const QRect &rect);
    void roundRect(const QRect &rect, int cornerWidth, int cornerHeight);
    void ellipse(const QRect &rect);
    void polygon(const QPolygon &points);
    void polyline(const QPolygon &points);
    // A single segment as move-to plus line-to, which every reader draws; some skip a
    // polyline of only two points.
    void line(const QPoint &from, const QPoint &to);

    // With the placeable header: bounding box (0, 0, logical size) at unitsPerInch.
    QByteArray toPlaceable(int unitsPerInch) const;
    // Without it: readers have only the window extent to size the picture.
    QByteArray toStandard() const;

    // False if any coordinate had to be clamped to the 16-bit range.
    bool isValid() const { return m_valid; }

private:
    int createObject();
    void record(quint16 function, const QList<qint16> &params);
    qint16 coord(int designValue);
    QByteArray finished() const;

    QSize m_designSize;
    int m_scale;
    QByteArray m_records;
    quint32 m_maxRecordWords = 0;
    QList<bool> m_slots;
    int m_pen = -1;
    int m_brush = -1;
    bool m_valid = true;
};
