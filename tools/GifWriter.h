#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>

// GIF89a encoder (Qt reads GIF but cannot write it). Frames are Indexed8 images covering the
// whole logical screen; a colour-table entry with alpha 0 becomes the transparent colour.
class GifWriter
{
public:
    explicit GifWriter(QSize screenSize);

    // Written only when there is more than one frame; 0 means loop forever.
    void setLoopCount(int count) { m_loopCount = count; }

    // False when the frame is not Indexed8, has no colour table, or does not fit the screen.
    bool addFrame(const QImage &indexed, int delayCentiseconds = 0);

    QByteArray encode() const;

    // LZW stream for one frame, without the sub-block framing. Exposed for tests.
    static QByteArray compress(const uchar *indices, qsizetype count, int minCodeSize);

private:
    struct Frame
    {
        QImage image;
        int delay = 0;
    };

    QSize m_size;
    int m_loopCount = 0;
    QList<Frame> m_frames;
};
