#include "HostilePictures.h"

#include <QtEndian>

namespace HostilePictures {

namespace {

void be16(QByteArray &out, int v)
{
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

void le16(QByteArray &out, int v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

void le32(QByteArray &out, quint32 v)
{
    le16(out, int(v & 0xFFFF));
    le16(out, int(v >> 16));
}

// A Huffman table with one code of one bit, for symbol 0 (DC: no difference; AC: end of block).
void oneCodeTable(QByteArray &out, int tableClass)
{
    out.append("\xFF\xC4", 2);
    be16(out, 2 + 1 + 16 + 1);
    out.append(char(tableClass << 4));
    out.append(char(1));
    out.append(QByteArray(15, '\0'));
    out.append(char(0));
}

} // namespace

QByteArray progressiveJpeg(QSize size, int acScans, qsizetype padTo)
{
    QByteArray out("\xFF\xD8", 2);
    out.append("\xFF\xDB", 2); // quantisation table 0: all ones
    be16(out, 2 + 1 + 64);
    out.append(char(0));
    out.append(QByteArray(64, '\1'));
    const qsizetype tail = 13 + 2 * 20 + 11 + qsizetype(acScans) * 11 + 2;
    while (out.size() + tail < padTo) {
        const qsizetype room = std::min<qsizetype>(65535, padTo - tail - out.size() - 2);
        if (room < 2)
            break;
        out.append("\xFF\xFE", 2);
        be16(out, int(room));
        out.append(QByteArray(room - 2, 'x'));
    }
    out.append("\xFF\xC2", 2); // progressive frame, 8 bits, one component sampled 1 x 1
    be16(out, 11);
    out.append(char(8));
    be16(out, size.height());
    be16(out, size.width());
    out.append("\x01\x01\x11\x00", 4);
    oneCodeTable(out, 0);
    oneCodeTable(out, 1);
    const auto scan = [&out](int ss, int se) {
        out.append("\xFF\xDA", 2);
        be16(out, 8);
        out.append("\x01\x01\x00", 3);
        out.append(char(ss));
        out.append(char(se));
        out.append(char(0));
        out.append(char(0)); // the coded data: zero bits, as many as the decoder asks for
    };
    scan(0, 0);
    for (int i = 0; i < acScans; ++i)
        scan(1, 63);
    out.append("\xFF\xD9", 2);
    return out;
}

QByteArray rle8Bmp(QSize size, qsizetype fileBytes)
{
    const int colours = 2;
    const quint32 dataOffset = 14 + 40 + 4 * colours;
    QByteArray data;
    int runsInRow = 0;
    while (dataOffset + data.size() + 4 < fileBytes) {
        if (runsInRow == size.width() / 255) { // the row is full: end it
            data.append("\0\0", 2);
            runsInRow = 0;
            continue;
        }
        data.append("\xFF\x01", 2);
        ++runsInRow;
    }
    data.append("\0\1", 2); // end of bitmap: the rest stays the background
    QByteArray out("BM");
    le32(out, quint32(dataOffset + data.size()));
    le32(out, 0);
    le32(out, dataOffset);
    le32(out, 40);
    le32(out, quint32(size.width()));
    le32(out, quint32(size.height()));
    le16(out, 1);
    le16(out, 8);
    le32(out, 1); // BI_RLE8
    le32(out, quint32(data.size()));
    le32(out, 2835);
    le32(out, 2835);
    le32(out, colours);
    le32(out, 0);
    le32(out, 0x00000000);
    le32(out, 0x00FFFFFF);
    return out + data;
}

QByteArray gifWithScreen(QSize screen, qsizetype fileBytes)
{
    QByteArray out("GIF89a");
    le16(out, screen.width());
    le16(out, screen.height());
    out.append("\x80\x00\x00", 3); // global table of two colours
    out.append("\x00\x00\x00\xFF\xFF\xFF", 6);
    while (out.size() + 3 + 19 + 1 < fileBytes) { // comment blocks
        out.append("\x21\xFE", 2);
        qsizetype left = fileBytes - out.size() - 19 - 1 - 1;
        while (left > 1) {
            const int block = int(std::min<qsizetype>(255, left - 1));
            out.append(char(block));
            out.append(QByteArray(block, 'x'));
            left -= block + 1;
        }
        out.append(char(0));
    }
    out.append("\x2C", 1); // a 1 x 1 frame at the origin
    le16(out, 0);
    le16(out, 0);
    le16(out, 1);
    le16(out, 1);
    out.append(char(0));
    out.append(char(2)); // LZW: clear, colour 0, end, in codes of 3 bits
    out.append("\x02\x44\x01\x00", 4);
    out.append(char(0x3B));
    return out;
}

QByteArray ellipseMetafile(int count, int side)
{
    QByteArray records;
    const auto record = [&records](int function, std::initializer_list<int> params) {
        le32(records, quint32(3 + params.size()));
        le16(records, function);
        for (const int p : params)
            le16(records, p);
    };
    record(0x020C, {1000, 1000});    // window extent (height, width)
    record(0x02FC, {0, 0x00FF, 0x0000, 0}); // red solid brush
    record(0x012D, {0});
    quint32 seed = 1;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int x = int((seed >> 8) % quint32(1000 - std::min(side, 999)));
        const int y = int((seed >> 20) % quint32(1000 - std::min(side, 999)));
        record(0x0418, {y + side, x + side, y, x}); // bottom, right, top, left
    }
    record(0, {});
    QByteArray out;
    le32(out, 0x9AC6CDD7); // placeable header: box 0..1000 at 96 units to the inch
    le16(out, 0);
    for (const int v : {0, 0, 1000, 1000, 96})
        le16(out, v);
    le32(out, 0);
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= qFromLittleEndian<quint16>(out.constData() + 2 * i);
    le16(out, checksum);
    le16(out, 1); // METAHEADER: memory metafile
    le16(out, 9);
    le16(out, 0x0300);
    le32(out, quint32((18 + records.size()) / 2));
    le16(out, 1); // objects
    le32(out, 7); // largest record, in words
    le16(out, 0);
    return out + records;
}

} // namespace HostilePictures
