#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPoint>

// Writes ICO and CUR containers. Entries are 32-bit DIBs with an AND mask, or PNG streams
// (the usual choice for 256x256 entries).
class IconWriter
{
public:
    enum class Kind { Icon = 1, Cursor = 2 };
    enum class Storage { Dib, Png };

    // Sizes from 1 to 256 pixels; the hot spot is used by cursors only. False when refused.
    bool addImage(const QImage &image, Storage storage = Storage::Dib, QPoint hotSpot = {});

    QByteArray encode(Kind kind) const;

    static QByteArray dib(const QImage &image);

private:
    struct Entry
    {
        QImage image;
        Storage storage;
        QPoint hotSpot;
    };
    QList<Entry> m_entries;
};
