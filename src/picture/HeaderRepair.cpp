#include "picture/HeaderRepair.h"

#include <QtEndian>

namespace picture {

std::optional<QByteArray> HeaderRepair::icon(QByteArrayView file)
{
    if (file.size() < 6 + 16 || file.size() > kMaxBytes)
        return std::nullopt;
    const quint16 type = qFromLittleEndian<quint16>(file.data() + 2);
    const int count = qFromLittleEndian<quint16>(file.data() + 4);
    if (qFromLittleEndian<quint16>(file.data()) != 0 || (type != 1 && type != 2) || count == 0
        || 6 + qint64(count) * 16 > file.size())
        return std::nullopt;
    QByteArray out = file.toByteArray();
    bool changed = false;
    for (int i = 0; i < count; ++i) {
        char *entry = out.data() + 6 + 16 * i;
        const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
        if (offset < 6 + quint32(count) * 16 || qint64(offset) + 40 > file.size())
            return std::nullopt; // not an image where the entry points: nothing to save
        const quint32 dibHeader = qFromLittleEndian<quint32>(file.data() + offset);
        const bool png = file.sliced(offset).startsWith("\x89PNG");
        if (!png && dibHeader != 40)
            return std::nullopt;
        if (entry[3] != 0) {
            entry[3] = 0;
            changed = true;
        }
        const quint32 available = quint32(file.size() - offset);
        if (qFromLittleEndian<quint32>(entry + 8) < 40 || qFromLittleEndian<quint32>(entry + 8) > available) {
            qToLittleEndian<quint32>(available, entry + 8);
            changed = true;
        }
        if (type == 1) {
            if (qFromLittleEndian<quint16>(entry + 4) > 1) {
                qToLittleEndian<quint16>(1, entry + 4);
                changed = true;
            }
            if (qFromLittleEndian<quint16>(entry + 6) > 32) {
                const quint16 bits = png ? 32 : qFromLittleEndian<quint16>(file.data() + offset + 14);
                qToLittleEndian<quint16>(bits <= 32 ? bits : 0, entry + 6);
                changed = true;
            }
        }
    }
    if (!changed)
        return std::nullopt;
    return out;
}

std::optional<QByteArray> HeaderRepair::bmp(QByteArrayView file)
{
    if (file.size() < 14 + 56 || file.size() > kMaxBytes || !file.startsWith("BM"))
        return std::nullopt;
    const quint32 headerSize = qFromLittleEndian<quint32>(file.data() + 14);
    const quint16 bitCount = qFromLittleEndian<quint16>(file.data() + 28);
    const quint32 compression = qFromLittleEndian<quint32>(file.data() + 30);
    if ((headerSize != 52 && headerSize != 56) || (bitCount != 16 && bitCount != 24 && bitCount != 32)
        || (compression != 0 && compression != 3 && compression != 6))
        return std::nullopt;
    QByteArray out = file.toByteArray();
    qToLittleEndian<quint32>(40, out.data() + 14);
    if (compression == 6) // alpha bit fields: the colour masks are where plain bit fields keep them
        qToLittleEndian<quint32>(3, out.data() + 30);
    return out;
}

} // namespace picture
