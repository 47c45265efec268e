#include "GifWriter.h"

#include <algorithm>
#include <unordered_map>

namespace {

constexpr int maxCodes = 4096;

class BitPacker
{
public:
    void put(int code, int width)
    {
        m_acc |= quint32(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.append(char(m_acc & 0xFF));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_bytes.append(char(m_acc & 0xFF));
        m_acc = 0;
        m_bits = 0;
        return m_bytes;
    }

private:
    quint32 m_acc = 0;
    int m_bits = 0;
    QByteArray m_bytes;
};

void putWord(QByteArray &out, int value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

// Colour tables hold 2^n entries; returns n (1..8).
int tableBits(qsizetype colours)
{
    int bits = 1;
    while ((qsizetype(1) << bits) < colours)
        ++bits;
    return bits;
}

void putColourTable(QByteArray &out, const QList<QRgb> &table, int bits)
{
    for (int i = 0; i < (1 << bits); ++i) {
        const QRgb c = i < table.size() ? table.at(i) : qRgb(0, 0, 0);
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
}

int transparentIndex(const QList<QRgb> &table)
{
    for (int i = 0; i < table.size(); ++i) {
        if (qAlpha(table.at(i)) == 0)
            return i;
    }
    return -1;
}

} // namespace

GifWriter::GifWriter(QSize screenSize) : m_size(screenSize) {}

bool GifWriter::addFrame(const QImage &indexed, int delayCentiseconds)
{
    if (indexed.format() != QImage::Format_Indexed8 || indexed.colorCount() < 1 || indexed.colorCount() > 256
        || indexed.size() != m_size || m_size.width() > 0xFFFF || m_size.height() > 0xFFFF) {
        return false;
    }
    m_frames.append({indexed, qBound(0, delayCentiseconds, 0xFFFF)});
    return true;
}

QByteArray GifWriter::compress(const uchar *indices, qsizetype count, int minCodeSize)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    BitPacker out;
    std::unordered_map<quint32, int> table;
    table.reserve(maxCodes * 2);
    int codeWidth = minCodeSize + 1;
    int nextCode = endCode + 1;

    // The decoder learns each string one code later than we do, so the width grows once the
    // code it is about to assign needs the extra bit, checked after every code we write.
    auto writeCode = [&](int code) {
        out.put(code, codeWidth);
        if (nextCode >= (1 << codeWidth) && codeWidth < 12)
            ++codeWidth;
    };

    out.put(clearCode, codeWidth);
    if (count > 0) {
        int prefix = indices[0];
        for (qsizetype i = 1; i < count; ++i) {
            const int k = indices[i];
            const quint32 key = quint32(prefix) << 8 | quint32(k);
            const auto it = table.find(key);
            if (it != table.end()) {
                prefix = it->second;
                continue;
            }
            writeCode(prefix);
            if (nextCode < maxCodes - 1) {
                table.emplace(key, nextCode++);
            } else {
                // Table full: start over, one code early as is customary, so that no decoder
                // ever sees a table with all 4096 entries.
                out.put(clearCode, codeWidth);
                table.clear();
                codeWidth = minCodeSize + 1;
                nextCode = endCode + 1;
            }
            prefix = k;
        }
        writeCode(prefix);
    }
    out.put(endCode, codeWidth);
    return out.finish();
}

QByteArray GifWriter::encode() const
{
    QByteArray out("GIF89a");
    putWord(out, m_size.width());
    putWord(out, m_size.height());

    const QList<QRgb> globalTable = m_frames.isEmpty() ? QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}
                                                       : m_frames.first().image.colorTable();
    const int globalBits = tableBits(globalTable.size());
    // Global table present, 8 bits per primary, table size.
    out.append(char(0x80 | (7 << 4) | (globalBits - 1)));
    out.append(char(0)); // background colour index
    out.append(char(0)); // square pixels
    putColourTable(out, globalTable, globalBits);

    const bool animated = m_frames.size() > 1;
    if (animated) {
        out.append("\x21\xFF\x0B" "NETSCAPE2.0" "\x03\x01", 16);
        putWord(out, qBound(0, m_loopCount, 0xFFFF));
        out.append(char(0));
    }

    for (const Frame &frame : m_frames) {
        const QList<QRgb> table = frame.image.colorTable();
        const int transparent = transparentIndex(table);
        if (animated || transparent >= 0) {
            // Graphic control: each frame covers the screen, so "leave in place" disposal.
            out.append("\x21\xF9\x04", 3);
            out.append(char((1 << 2) | (transparent >= 0 ? 1 : 0)));
            putWord(out, frame.delay);
            out.append(char(transparent >= 0 ? transparent : 0));
            out.append(char(0));
        }

        out.append(char(0x2C));
        putWord(out, 0);
        putWord(out, 0);
        putWord(out, m_size.width());
        putWord(out, m_size.height());
        const bool local = table != globalTable;
        const int bits = tableBits(table.size());
        out.append(char(local ? (0x80 | (bits - 1)) : 0));
        if (local)
            putColourTable(out, table, bits);

        const int minCodeSize = std::max(2, local ? bits : globalBits);
        QByteArray indices;
        indices.reserve(qsizetype(m_size.width()) * m_size.height());
        for (int y = 0; y < m_size.height(); ++y)
            indices.append(reinterpret_cast<const char *>(frame.image.constScanLine(y)), m_size.width());
        const QByteArray data = compress(reinterpret_cast<const uchar *>(indices.constData()), indices.size(),
                                         minCodeSize);

        out.append(char(minCodeSize));
        for (qsizetype pos = 0; pos < data.size(); pos += 255) {
            const qsizetype chunk = std::min<qsizetype>(255, data.size() - pos);
            out.append(char(chunk));
            out.append(data.constData() + pos, chunk);
        }
        out.append(char(0));
    }
    out.append(char(0x3B));
    return out;
}
