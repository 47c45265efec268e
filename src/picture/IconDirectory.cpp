#include "picture/IconDirectory.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>

namespace picture {

namespace {

constexpr char kPngSignature[] = "\x89PNG\r\n\x1A\n";

// The entry's size and depth from its image header; false when the header is not one we know.
bool readImageHeader(QIODevice *device, qint64 offset, IconDirectory::Entry &entry)
{
    if (offset < 0 || offset >= device->size() || !device->seek(offset))
        return false;
    const QByteArray head = device->read(40);
    if (head.size() >= 26 && head.startsWith(QByteArray(kPngSignature, 8))) {
        const int width = int(qFromBigEndian<quint32>(head.constData() + 16));
        const int height = int(qFromBigEndian<quint32>(head.constData() + 20));
        const int colorType = uchar(head[25]);
        entry.size = QSize(width, height);
        entry.bitCount = colorType == 6 ? 32 : colorType == 2 ? 24 : 8;
        return width > 0 && height > 0;
    }
    if (head.size() >= 16 && qFromLittleEndian<quint32>(head.constData()) >= 40) {
        const qint32 width = qFromLittleEndian<qint32>(head.constData() + 4);
        const qint32 height = qFromLittleEndian<qint32>(head.constData() + 8); // colour + mask rows
        entry.size = QSize(width, std::abs(height / 2));
        entry.bitCount = qFromLittleEndian<quint16>(head.constData() + 14);
        return width > 0 && width <= 65535 && entry.size.height() > 0 && entry.size.height() <= 65535;
    }
    return false;
}

} // namespace

std::vector<IconDirectory::Entry> IconDirectory::read(QIODevice *device)
{
    std::vector<Entry> entries;
    if (!device || !device->seek(0))
        return entries;
    const QByteArray header = device->read(6);
    if (header.size() != 6 || qFromLittleEndian<quint16>(header.constData()) != 0)
        return entries;
    const quint16 type = qFromLittleEndian<quint16>(header.constData() + 2);
    if (type != 1 && type != 2)
        return entries;
    const int count = std::min<int>(qFromLittleEndian<quint16>(header.constData() + 4), kMaxEntries);
    const QByteArray directory = device->read(qint64(count) * 16);
    const int complete = int(directory.size() / 16);
    for (int i = 0; i < complete; ++i) {
        const char *d = directory.constData() + 16 * i;
        Entry entry;
        entry.index = i;
        const quint32 offset = qFromLittleEndian<quint32>(d + 12);
        if (!readImageHeader(device, offset, entry)) {
            // The directory's own word: 0 stands for 256; only icons keep a depth there.
            entry.size = QSize(uchar(d[0]) ? uchar(d[0]) : 256, uchar(d[1]) ? uchar(d[1]) : 256);
            entry.bitCount = type == 1 ? qFromLittleEndian<quint16>(d + 6) : 0;
        }
        entries.push_back(entry);
    }
    return entries;
}

void IconDirectory::sortBestFirst(std::vector<Entry> &entries)
{
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        const qint64 areaA = qint64(a.size.width()) * a.size.height();
        const qint64 areaB = qint64(b.size.width()) * b.size.height();
        if (areaA != areaB)
            return areaA > areaB;
        return a.bitCount > b.bitCount;
    });
}

} // namespace picture
