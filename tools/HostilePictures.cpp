#include "HostilePictures.h"

#include <QtEndian>

#include <utility>

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

namespace {

void be32(QByteArray &out, quint32 v)
{
    be16(out, int(v >> 16));
    be16(out, int(v & 0xFFFF));
}

QByteArray xyzType(double x, double y, double z)
{
    QByteArray t("XYZ \0\0\0\0", 8);
    for (double v : {x, y, z})
        be32(t, quint32(qint32(v * 65536.0 + (v < 0 ? -0.5 : 0.5))));
    return t;
}

QByteArray gammaCurve(double gamma)
{
    QByteArray t("curv\0\0\0\0", 8);
    be32(t, 1);
    be16(t, int(gamma * 256 + 0.5));
    be16(t, 0);
    return t;
}

// The sRGB curve, as a parametric one.
QByteArray srgbCurve()
{
    QByteArray t("para\0\0\0\0", 8);
    be16(t, 3);
    be16(t, 0);
    for (double v : {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045})
        be32(t, quint32(qint32(v * 65536.0 + 0.5)));
    return t;
}

struct Tag
{
    const char *signature;
    QByteArray data;
};

// A v2 profile of `tags`, each tag's data in order (4-byte aligned).
QByteArray iccProfile(const QList<Tag> &tags, const char *deviceClass = "mntr", const char *space = "RGB ")
{
    QByteArray header(128, '\0');
    qToBigEndian<quint32>(0x02100000, header.data() + 8);
    header.replace(12, 4, deviceClass, 4);
    header.replace(16, 4, space, 4);
    header.replace(20, 4, "XYZ ", 4);
    header.replace(36, 4, "acsp", 4);
    const QByteArray d50 = xyzType(0.9642, 1.0, 0.8249).mid(8);
    header.replace(68, 12, d50);
    QByteArray table, data;
    be32(table, quint32(tags.size()));
    const qsizetype dataAt = 128 + 4 + 12 * tags.size();
    for (const Tag &tag : tags) {
        table.append(tag.signature, 4);
        be32(table, quint32(dataAt + data.size()));
        be32(table, quint32(tag.data.size()));
        data.append(tag.data);
        data.append(QByteArray((4 - data.size() % 4) % 4, '\0'));
    }
    QByteArray profile = header + table + data;
    qToBigEndian<quint32>(quint32(profile.size()), profile.data());
    return profile;
}

QList<Tag> matrixTags(bool swapRedGreen)
{
    QByteArray red = xyzType(0.4361, 0.2225, 0.0139), green = xyzType(0.3851, 0.7169, 0.0971);
    if (swapRedGreen)
        std::swap(red, green);
    return {{"wtpt", xyzType(0.9642, 1.0, 0.8249)}, {"rXYZ", red}, {"gXYZ", green},
            {"bXYZ", xyzType(0.1431, 0.0606, 0.7141)}, {"rTRC", srgbCurve()}, {"gTRC", srgbCurve()},
            {"bTRC", srgbCurve()}};
}

// A 16-bit lookup table of `inputs` to 3 channels on a grid of `grid` points, its tables two
// entries each, followed by `clutBytes` of grid data.
QByteArray lut16(int inputs, int grid, qsizetype clutBytes)
{
    QByteArray t("mft2\0\0\0\0", 8);
    t.append(char(inputs));
    t.append(char(3));
    t.append(char(grid));
    t.append('\0');
    for (int i = 0; i < 9; ++i)
        be32(t, i % 4 == 0 ? 0x10000 : 0); // identity matrix
    be16(t, 2);
    be16(t, 2);
    for (int i = 0; i < inputs; ++i) {
        be16(t, 0);
        be16(t, 0xFFFF);
    }
    t.append(QByteArray(clutBytes, '\x40'));
    return t;
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

} // namespace

QByteArray matrixProfile(bool swapRedGreen)
{
    return iccProfile(matrixTags(swapRedGreen));
}

QList<NamedProfile> hostileProfiles()
{
    const QByteArray good = matrixProfile();
    QByteArray outside = good;
    qToBigEndian<quint32>(quint32(good.size() - 4), outside.data() + 128 + 4 + 12 + 4); // rXYZ's offset
    QList<Tag> thousands;
    for (int i = 0; i < 5000; ++i)
        thousands.append({"rTRC", gammaCurve(2.2)});
    // 15 x 2 bytes per grid point of a 255-point grid: about 100 MB claimed, 1 kB there.
    QList<Tag> hugeClut = matrixTags(false);
    hugeClut.append({"A2B0", lut16(3, 255, 1024)});
    hugeClut.append({"B2A0", lut16(3, 255, 1024)});
    QList<Tag> inputs15 = matrixTags(false);
    inputs15.append({"A2B0", lut16(15, 2, 2 * 3 * (1 << 15))});
    // A multi-process element chain of 60000 curve sets of one segment.
    QByteArray chain("mpet\0\0\0\0", 8);
    be16(chain, 3);
    be16(chain, 3);
    be32(chain, 60000);
    QByteArray element("cvst\0\0\0\0", 8);
    be16(element, 3);
    be16(element, 3);
    for (int i = 0; i < 60000; ++i) {
        be32(chain, quint32(16 + 8 * 60000)); // all elements share one curve set
        be32(chain, quint32(element.size()));
    }
    chain.append(element);
    QList<Tag> floating = matrixTags(true);
    floating.append({"D2B0", chain});
    return {
        {"cut-short", good.left(good.size() / 2), false},
        {"tag-outside", outside, false},
        {"thousands-of-tags", iccProfile(thousands), false},
        {"clut-100MB", iccProfile(hugeClut), false},
        {"clut-15-inputs", iccProfile(inputs15), false},
        {"printer", iccProfile(matrixTags(false), "prtr"), false},
        {"cmyk", iccProfile(matrixTags(false), "mntr", "CMYK"), false},
        {"float-chain-60000", iccProfile(floating), true},
    };
}

QByteArray jpegWithProfile(const QByteArray &jpeg, const QByteArray &profile, int chunkBytes, bool reversed)
{
    QList<QByteArray> chunks;
    const int count = int((profile.size() + chunkBytes - 1) / chunkBytes);
    for (int i = 0; i < count; ++i) {
        const QByteArray part = profile.mid(qsizetype(i) * chunkBytes, chunkBytes);
        QByteArray marker("\xFF\xE2", 2);
        be16(marker, int(2 + 14 + part.size()));
        marker.append("ICC_PROFILE", 12);
        marker.append(char(i + 1));
        marker.append(char(count));
        marker.append(part);
        if (reversed)
            chunks.prepend(marker);
        else
            chunks.append(marker);
    }
    return jpeg.left(2) + chunks.join() + jpeg.mid(2);
}

QByteArray pngWithProfile(const QByteArray &png, const QByteArray &profile)
{
    QByteArray body("iCCP");
    body.append("icc", 4); // name, its terminator
    body.append('\0');     // deflate
    body.append(qCompress(profile).mid(4));
    QByteArray chunk;
    be32(chunk, quint32(body.size() - 4));
    chunk.append(body);
    be32(chunk, crc32(body));
    constexpr int kAfterHeader = 8 + 25;
    return png.left(kAfterHeader) + chunk + png.mid(kAfterHeader);
}

} // namespace HostilePictures
