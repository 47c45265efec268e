#include "picture/jpeg/JpegSplit.h"

#include <QFuture>
#include <QScopeGuard>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrentRun>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace picture {

namespace {

// ---------------------------------------------------------------------------------------------
// libjpeg on pieces of memory

struct ErrorJump
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void errorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorJump *>(cinfo->err)->jump, 1); }
void quietMessage(j_common_ptr) {}

// Up to five pieces read one after the other, ended like libjpeg's own memory source: with an
// end-of-image marker for as long as the decoder asks for more.
struct PieceSource
{
    jpeg_source_mgr pub;
    std::array<const JOCTET *, 5> data{};
    std::array<size_t, 5> size{};
    int count = 0;
    int next = 0;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo)
{
    auto *s = reinterpret_cast<PieceSource *>(cinfo->src);
    while (s->next < s->count && s->size[size_t(s->next)] == 0)
        ++s->next;
    if (s->next < s->count) {
        s->pub.next_input_byte = s->data[size_t(s->next)];
        s->pub.bytes_in_buffer = s->size[size_t(s->next)];
        ++s->next;
    } else {
        s->pub.next_input_byte = kEndOfImage;
        s->pub.bytes_in_buffer = 2;
    }
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count)
{
    auto *s = reinterpret_cast<PieceSource *>(cinfo->src);
    while (count > 0 && size_t(count) > s->pub.bytes_in_buffer) {
        count -= long(s->pub.bytes_in_buffer);
        const bool atEnd = s->next >= s->count;
        fillInput(cinfo);
        if (atEnd)
            return; // nothing left to skip over
    }
    if (count > 0) {
        s->pub.next_input_byte += count;
        s->pub.bytes_in_buffer -= size_t(count);
    }
}

void attach(jpeg_decompress_struct &cinfo, PieceSource &src)
{
    src.pub.init_source = initSource;
    src.pub.fill_input_buffer = fillInput;
    src.pub.skip_input_data = skipInput;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = termSource;
    src.pub.next_input_byte = nullptr;
    src.pub.bytes_in_buffer = 0;
    cinfo.src = &src.pub;
}

// One libjpeg decoder and what it needs to outlive a longjmp.
struct Decoder
{
    jpeg_decompress_struct cinfo{};
    ErrorJump error{};
    PieceSource source;
    bool created = false;

    ~Decoder()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

// Reads the header and sets up the reduced colour decode; false on an error or a file this
// cannot split. Called within the caller's setjmp.
bool prepare(Decoder &d, int scaleNum)
{
    jpeg_read_header(&d.cinfo, TRUE);
    jpeg_decompress_struct &c = d.cinfo;
    if (c.progressive_mode || c.arith_code || c.restart_interval != 0 || c.num_components != 3
        || c.comps_in_scan != 3 || c.jpeg_color_space != JCS_YCbCr || c.data_precision != 8)
        return false;
    c.scale_num = unsigned(scaleNum);
    c.scale_denom = 8;
    c.out_color_space = JCS_EXT_BGRX;
    jpeg_calc_output_dimensions(&c);
    // Only where every component comes out of its inverse DCT with all its rows: an upsampler
    // that makes rows would blend them across the cut (widening a row blends within it).
    for (int i = 0; i < c.num_components; ++i) {
        const jpeg_component_info &comp = c.comp_info[i];
        if (comp.v_samp_factor * comp.DCT_scaled_size / c.min_DCT_scaled_size != c.max_v_samp_factor)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The coded data, read as libjpeg reads it

constexpr int kFastBits = 9;

struct HuffTable
{
    std::array<uint16_t, 1 << kFastBits> fast{}; // (length << 8) | symbol; 0 for a longer code
    std::array<int32_t, 18> maxCode{};
    std::array<int32_t, 18> valOffset{};
    std::array<uint8_t, 256> values{};
    std::array<uint16_t, 256> code{}; // for writing a symbol
    std::array<uint8_t, 256> codeSize{};

    // False for a table libjpeg refuses.
    bool build(const JHUFF_TBL *table, bool dc)
    {
        if (!table)
            return false;
        std::array<uint8_t, 257> sizes{};
        std::array<uint32_t, 257> codes{};
        int p = 0;
        for (int l = 1; l <= 16; ++l) {
            const int n = table->bits[l];
            if (p + n > 256)
                return false;
            for (int i = 0; i < n; ++i)
                sizes[size_t(p++)] = uint8_t(l);
        }
        const int symbols = p;
        uint32_t c = 0;
        int si = sizes[0];
        p = 0;
        while (sizes[size_t(p)]) {
            while (sizes[size_t(p)] == si)
                codes[size_t(p++)] = c++;
            if (c >= (1u << si))
                return false;
            c <<= 1;
            ++si;
        }
        p = 0;
        for (int l = 1; l <= 16; ++l) {
            if (table->bits[l]) {
                valOffset[size_t(l)] = p - int32_t(codes[size_t(p)]);
                p += table->bits[l];
                maxCode[size_t(l)] = int32_t(codes[size_t(p - 1)]);
            } else {
                maxCode[size_t(l)] = -1;
            }
        }
        maxCode[17] = INT32_MAX;
        for (int i = 0; i < symbols; ++i) {
            const uint8_t value = table->huffval[i];
            if (dc && value > 15)
                return false;
            values[size_t(i)] = value;
            code[value] = uint16_t(codes[size_t(i)]);
            codeSize[value] = sizes[size_t(i)];
            const int length = sizes[size_t(i)];
            if (length <= kFastBits) {
                const int shift = kFastBits - length;
                const uint32_t first = codes[size_t(i)] << shift;
                for (uint32_t k = 0; k < (1u << shift); ++k)
                    fast[first + k] = uint16_t((length << 8) | value);
            }
        }
        return true;
    }
};

// Bits of the coded data, with stuffed zeros dropped. At a marker or the end it gives zeros as
// libjpeg does, counting them, so that a reader that used them can be told apart.
class BitReader
{
public:
    BitReader(const uint8_t *base, size_t from, size_t end)
        : m_base(base), m_start(base + from), m_p(base + from), m_end(base + end)
    {
    }

    // At least 57 bits in the buffer.
    void refill()
    {
        if (m_count > 56)
            return;
        while (m_count <= 56) {
            uint32_t b = 0;
            bool real = false;
            if (!m_marker && m_p < m_end) {
                b = *m_p;
                if (b == 0xFF) {
                    const uint8_t *q = m_p + 1;
                    while (q < m_end && *q == 0xFF) // fill bytes
                        ++q;
                    if (q < m_end && *q == 0) {
                        m_p = q + 1;
                        real = true;
                    } else {
                        m_marker = true;
                        b = 0;
                    }
                } else {
                    ++m_p;
                    real = true;
                }
            }
            if (!real)
                ++m_padding;
            m_buffer |= uint64_t(b) << (56 - m_count);
            m_count += 8;
            ++m_loaded;
        }
    }
    // The same, eight bytes at once where none is 0xFF (no stuffing, no marker).
    void refillQuick()
    {
        if (m_end - m_p < 8 || m_marker || m_count > 56) {
            refill();
            return;
        }
        uint64_t word;
        std::memcpy(&word, m_p, 8);
        const uint64_t inverted = ~word;
        if (((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) != 0) {
            refill();
            return;
        }
        // Bits past the new count are the next bytes' own: they are loaded again in place.
        m_buffer |= qFromBigEndian(word) >> m_count;
        const int bytes = (63 - m_count) >> 3;
        m_p += bytes;
        m_count += 8 * bytes;
        m_loaded += uint64_t(bytes);
    }
    uint32_t peek(int n) const { return uint32_t(m_buffer >> (64 - n)); }
    void skip(int n)
    {
        m_buffer <<= n;
        m_count -= n;
    }
    uint32_t get(int n)
    {
        if (n == 0)
            return 0;
        const uint32_t v = peek(n);
        skip(n);
        return v;
    }
    int count() const { return m_count; }
    uint64_t used() const { return m_loaded * 8 - uint64_t(m_count); }

    // Whether every bit used so far was in the file (padding comes only after the last byte).
    bool sound() const { return used() <= (m_loaded - m_padding) * 8; }

    // The file offset of the byte holding the next bit, and the bit in it; false after a marker
    // or the end, where no cut is made.
    bool position(uint32_t &offset, int &bit) const
    {
        if (m_padding > 0)
            return false;
        const uint8_t *q = m_p;
        for (int n = (m_count + 7) / 8; n > 0; --n) {
            if (q - m_start >= 2 && q[-1] == 0 && q[-2] == 0xFF) {
                q -= 2; // a stuffed 0xFF, and any fill bytes before it
                while (q > m_start && q[-1] == 0xFF)
                    --q;
            } else {
                --q;
            }
        }
        offset = uint32_t(q - m_base);
        bit = (8 - m_count % 8) % 8;
        return true;
    }

private:
    const uint8_t *m_base;
    const uint8_t *m_start;
    const uint8_t *m_p;
    const uint8_t *m_end;
    uint64_t m_buffer = 0;
    int m_count = 0;
    uint64_t m_loaded = 0;
    uint64_t m_padding = 0;
    bool m_marker = false;
};

// Bits written with zeros stuffed after 0xFF, as an encoder writes them.
class BitWriter
{
public:
    void put(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            m_byte = uint8_t((m_byte << 1) | ((value >> i) & 1));
            if (++m_bits == 8) {
                m_out.push_back(m_byte);
                if (m_byte == 0xFF)
                    m_out.push_back(0);
                m_byte = 0;
                m_bits = 0;
            }
        }
    }
    bool aligned() const { return m_bits == 0; }
    std::vector<uint8_t> take() { return std::move(m_out); }

private:
    std::vector<uint8_t> m_out;
    uint8_t m_byte = 0;
    int m_bits = 0;
};

// A symbol, or -1 for a code not in the table. With `copy`, its bits are written there too.
inline int decodeSymbol(BitReader &r, const HuffTable &t, BitWriter *copy)
{
    const uint16_t e = t.fast[r.peek(kFastBits)];
    if (e) {
        const int length = e >> 8;
        if (copy)
            copy->put(r.peek(length), length);
        r.skip(length);
        return e & 0xFF;
    }
    for (int l = kFastBits + 1; l <= 16; ++l) {
        const int32_t c = int32_t(r.peek(l));
        if (c <= t.maxCode[size_t(l)]) {
            if (copy)
                copy->put(uint32_t(c), l);
            r.skip(l);
            return t.values[size_t(c + t.valOffset[size_t(l)])];
        }
    }
    return -1;
}

inline int extend(uint32_t v, int s)
{
    return s == 0 ? 0 : (v < (1u << (s - 1)) ? int(v) - (1 << s) + 1 : int(v));
}

// Steps over an AC table's codes several at a time: for each 16 bits that may come next, the
// bits of the whole codes (with the values after them) that they begin with, and how far those
// move in the block. Walking the codes is most of the second thread's work before it decodes.
constexpr int kRunBits = 16;

class RunTable
{
public:
    // An entry: its bits (0 when not even the first code is whole in them), how far its codes
    // move in the block, and whether the last one ends the block.
    static int bits(uint16_t e) { return e & 31; }
    static int advance(uint16_t e) { return (e >> 5) & 127; }
    static bool ends(uint16_t e) { return (e >> 12) & 1; }

    explicit RunTable(const HuffTable &t)
        : m_entries(size_t(1) << kRunBits)
    {
        for (uint32_t w = 0; w < m_entries.size(); ++w) {
            int used = 0, advance = 0;
            bool ends = false;
            while (!ends) {
                const int left = kRunBits - used;
                const uint32_t rest = (w << used) & ((1u << kRunBits) - 1); // the bits not used yet, first on top
                int length = 0, value = -1;
                if (const uint16_t e = t.fast[rest >> (kRunBits - kFastBits)]) {
                    length = e >> 8;
                    value = e & 0xFF;
                } else {
                    for (int l = kFastBits + 1; l <= left; ++l) {
                        const int32_t c = int32_t(rest >> (kRunBits - l));
                        if (c <= t.maxCode[size_t(l)]) {
                            length = l;
                            value = t.values[size_t(c + t.valOffset[size_t(l)])];
                            break;
                        }
                    }
                }
                const int size = value & 15;
                if (value < 0 || length + size > left)
                    break;
                const int step = size ? (value >> 4) + 1 : ((value >> 4) == 15 ? 16 : 0);
                if (advance + step > 64)
                    break;
                ends = size == 0 && (value >> 4) != 15;
                used += length + size;
                advance += step;
            }
            m_entries[w] = uint16_t(used | (advance << 5) | (int(ends) << 12));
        }
    }
    uint16_t operator[](uint32_t window) const { return m_entries[window]; }

private:
    std::vector<uint16_t> m_entries;
};

// A block's DC difference; false on a bad code.
inline bool readDc(BitReader &r, const HuffTable &t, int &diff, BitWriter *copy)
{
    if (r.count() < 32)
        r.refill();
    const int s = decodeSymbol(r, t, copy);
    if (s < 0)
        return false;
    const uint32_t bits = r.get(s);
    if (copy)
        copy->put(bits, s);
    diff = extend(bits, s);
    return true;
}

// A block's AC codes, stepped over as libjpeg steps over them; false on a bad code.
inline bool readAc(BitReader &r, const HuffTable &t, BitWriter *copy)
{
    for (int k = 1; k < 64; ++k) {
        if (r.count() < 32)
            r.refill();
        const int rs = decodeSymbol(r, t, copy);
        if (rs < 0)
            return false;
        const int run = rs >> 4;
        const int size = rs & 15;
        if (size) {
            k += run;
            const uint32_t v = r.get(size);
            if (copy)
                copy->put(v, size);
        } else {
            if (run != 15)
                break;
            k += 15;
        }
    }
    return true;
}

// A block stepped over as quickly as can be, keeping only its DC difference. The codes are
// taken several at a time where they stay within the block, one by one where they do not.
inline bool scanBlock(BitReader &r, const HuffTable &dcTable, const HuffTable &acTable, const RunTable &runs, int &diff)
{
    if (!readDc(r, dcTable, diff, nullptr))
        return false;
    int k = 1;
    for (;;) {
        // At least 56 bits: three lookups.
        r.refillQuick();
        int i = 0;
        for (; i < 3; ++i) {
            const uint16_t e = runs[r.peek(kRunBits)];
            const int next = k + RunTable::advance(e);
            if (RunTable::bits(e) == 0 || next > (RunTable::ends(e) ? 63 : 64))
                break;
            r.skip(RunTable::bits(e));
            if (RunTable::ends(e) || next == 64)
                return true;
            k = next;
        }
        if (i == 3)
            continue;
        r.refill();
        const int rs = decodeSymbol(r, acTable, nullptr);
        if (rs < 0)
            return false;
        const int run = rs >> 4;
        const int size = rs & 15;
        if (size) {
            k += run + 1;
            r.skip(size);
        } else {
            if (run != 15)
                return true;
            k += 16;
        }
        if (k >= 64)
            return true;
    }
}

int bitLength(uint64_t v)
{
    int n = 0;
    while (v) {
        ++n;
        v >>= 1;
    }
    return n;
}

// The scan's layout, as libjpeg reads it.
struct ScanLayout
{
    std::array<HuffTable, 3> dc;
    std::array<HuffTable, 3> ac;
    std::array<int, 3> acNumber{}; // the table's number in the file, per component in the scan
    int components = 0;
    std::vector<int> blockComponent; // per block of an MCU: its component in the scan
    std::vector<bool> firstOfComponent;
    int mcusPerRow = 0;
    int mcuRows = 0;
    int mcuHeight = 0;        // in rows of the image
    int outRowsPerMcuRow = 0; // in rows of the reduced output
    size_t dataStart = 0;     // the first byte of the coded data
    size_t heightOffset = 0;  // the frame header's height field
};

bool layoutOf(const jpeg_decompress_struct &c, const QByteArray &bytes, size_t dataStart, ScanLayout &out)
{
    out.dataStart = dataStart;
    for (int i = 0; i < c.comps_in_scan; ++i) {
        const jpeg_component_info *comp = c.cur_comp_info[i];
        if (comp->dc_tbl_no < 0 || comp->dc_tbl_no >= NUM_HUFF_TBLS || comp->ac_tbl_no < 0
            || comp->ac_tbl_no >= NUM_HUFF_TBLS)
            return false;
        if (!out.dc[size_t(i)].build(c.dc_huff_tbl_ptrs[comp->dc_tbl_no], true)
            || !out.ac[size_t(i)].build(c.ac_huff_tbl_ptrs[comp->ac_tbl_no], false))
            return false;
        out.acNumber[size_t(i)] = comp->ac_tbl_no;
        ++out.components;
        for (int b = 0; b < comp->h_samp_factor * comp->v_samp_factor; ++b) {
            out.blockComponent.push_back(i);
            out.firstOfComponent.push_back(b == 0);
        }
    }
    if (out.blockComponent.size() > D_MAX_BLOCKS_IN_MCU)
        return false;
    const unsigned mcuWidth = 8u * unsigned(c.max_h_samp_factor);
    out.mcusPerRow = int((c.image_width + mcuWidth - 1) / mcuWidth);
    out.mcuHeight = 8 * c.max_v_samp_factor;
    out.mcuRows = int((c.image_height + unsigned(out.mcuHeight) - 1) / unsigned(out.mcuHeight));
    out.outRowsPerMcuRow = c.min_DCT_scaled_size * c.max_v_samp_factor;

    // The frame header's height, to be written anew in the copy that starts lower.
    const auto *d = reinterpret_cast<const uint8_t *>(bytes.constData());
    size_t i = 2;
    while (i + 4 <= dataStart) {
        if (d[i] != 0xFF || d[i + 1] == 0xFF) {
            ++i;
            continue;
        }
        const uint8_t marker = d[i + 1];
        if (marker == 0xC0 || marker == 0xC1) {
            out.heightOffset = i + 5;
            return out.heightOffset + 2 <= dataStart && qFromBigEndian<quint16>(d + out.heightOffset) == c.image_height;
        }
        i += 2 + qFromBigEndian<quint16>(d + i + 2);
    }
    return false;
}

// Where the second decoder starts: the file's header with the height of the rows below the cut,
// the first codes of the row written anew, then the file's own bytes from `tail` on.
struct Cut
{
    int row = -1;
    std::array<uint8_t, 2> height{};
    std::vector<uint8_t> prefix;
    size_t tail = 0;
};

// The start of an MCU row is at `offset`/`bit`, with the DC values so far in `dc`. Writes the
// row's first MCU with its DC values stated whole (a decoder starting here starts from zero),
// then the file's bits until both are at a byte boundary together. False when they never are,
// or a DC value has no code in the table.
bool writePrefix(const ScanLayout &layout, const QByteArray &bytes, uint32_t offset, int bit, std::array<int64_t, 3> dc,
                 Cut &cut)
{
    BitReader r(reinterpret_cast<const uint8_t *>(bytes.constData()), offset, size_t(bytes.size()));
    r.refill();
    r.skip(bit);
    BitWriter w;
    for (size_t b = 0; b < layout.blockComponent.size(); ++b) {
        const size_t ci = size_t(layout.blockComponent[b]);
        const HuffTable &table = layout.dc[ci];
        int diff = 0;
        if (layout.firstOfComponent[b]) {
            if (!readDc(r, table, diff, nullptr))
                return false;
            const int64_t value = dc[ci] + diff;
            const uint64_t magnitude = uint64_t(value < 0 ? -value : value);
            const int size = bitLength(magnitude);
            if (size > 15 || table.codeSize[size_t(size)] == 0)
                return false;
            w.put(table.code[size_t(size)], table.codeSize[size_t(size)]);
            w.put(uint32_t(value < 0 ? value + (int64_t(1) << size) - 1 : value), size);
        } else if (!readDc(r, table, diff, &w)) {
            return false;
        }
        dc[ci] += diff;
        if (!readAc(r, layout.ac[ci], &w))
            return false;
    }
    while (r.used() % 8 != 0) {
        if (r.count() < 8)
            r.refill();
        w.put(r.get(1), 1);
    }
    uint32_t tail = 0;
    int tailBit = 0;
    if (!w.aligned() || !r.sound() || !r.position(tail, tailBit))
        return false;
    cut.prefix = w.take();
    cut.tail = tail;
    return true;
}

std::atomic<bool> nextWalkerFails{false}; // see JpegSplit::failNextWalkerForTest

// Walks the codes from the start to the first row at or after `from` where a cut can be made,
// trying at most `tries` rows and leaving at least one row below.
bool findCut(const ScanLayout &layout, const QByteArray &bytes, int from, int tries, const std::atomic<bool> &cancel,
             Cut &cut)
{
    if (nextWalkerFails.exchange(false))
        throw std::bad_alloc();
    // One run table per AC table the scan uses (the two colour components mostly share one).
    std::vector<std::unique_ptr<RunTable>> built;
    std::array<const RunTable *, 3> runs{};
    for (int i = 0; i < layout.components; ++i) {
        const auto same = std::find(layout.acNumber.begin(), layout.acNumber.begin() + i, layout.acNumber[size_t(i)]);
        if (same != layout.acNumber.begin() + i) {
            runs[size_t(i)] = runs[size_t(same - layout.acNumber.begin())];
        } else {
            built.push_back(std::make_unique<RunTable>(layout.ac[size_t(i)]));
            runs[size_t(i)] = built.back().get();
        }
        if (cancel.load(std::memory_order_relaxed))
            return false;
    }
    BitReader r(reinterpret_cast<const uint8_t *>(bytes.constData()), layout.dataStart, size_t(bytes.size()));
    std::array<int64_t, 3> dc{};
    const int last = std::min(layout.mcuRows - 1, from + tries);
    const size_t blocks = layout.blockComponent.size();
    for (int row = 0; row < last; ++row) {
        if (cancel.load(std::memory_order_relaxed) || !r.sound())
            return false;
        uint32_t offset = 0;
        int bit = 0;
        if (row >= from && r.position(offset, bit) && writePrefix(layout, bytes, offset, bit, dc, cut)) {
            cut.row = row;
            const int height = qFromBigEndian<quint16>(bytes.constData() + layout.heightOffset);
            qToBigEndian<quint16>(quint16(height - row * layout.mcuHeight), cut.height.data());
            return true;
        }
        for (int m = 0; m < layout.mcusPerRow; ++m) {
            for (size_t b = 0; b < blocks; ++b) {
                const size_t ci = size_t(layout.blockComponent[b]);
                int diff = 0;
                if (!scanBlock(r, layout.dc[ci], layout.ac[ci], *runs[ci], diff))
                    return false;
                dc[ci] += diff;
            }
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// The two decodes. libjpeg reports errors by longjmp: each call into it sets its own return point.

bool openDecoder(Decoder &d, int scaleNum, std::initializer_list<std::pair<const void *, size_t>> pieces, bool &splittable)
{
    d.cinfo.err = jpeg_std_error(&d.error.pub);
    d.error.pub.error_exit = errorExit;
    d.error.pub.output_message = quietMessage;
    if (setjmp(d.error.jump))
        return false;
    jpeg_create_decompress(&d.cinfo);
    d.created = true;
    for (const auto &[data, size] : pieces) {
        d.source.data[size_t(d.source.count)] = static_cast<const JOCTET *>(data);
        d.source.size[size_t(d.source.count)] = size;
        ++d.source.count;
    }
    attach(d.cinfo, d.source);
    splittable = prepare(d, scaleNum);
    return true;
}

bool startDecoder(Decoder &d)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_start_decompress(&d.cinfo);
    return true;
}

// Where the rows go: the image's pixels, taken once (QImage's own accessors are not for two
// threads at a time).
struct Rows
{
    uchar *bits = nullptr;
    qsizetype stride = 0;
    int width = 0;
    int height = 0;
};

// Decodes output rows until `until`, into the image from row `top` on; at the last row, reads
// to the end of the file as a whole decode does.
bool readRows(Decoder &d, const Rows &image, int top, JDIMENSION until)
{
    if (setjmp(d.error.jump))
        return false;
    jpeg_decompress_struct &c = d.cinfo;
    std::array<JSAMPROW, 16> rows{};
    while (c.output_scanline < until) {
        const JDIMENSION n = std::min<JDIMENSION>(JDIMENSION(rows.size()), until - c.output_scanline);
        for (JDIMENSION i = 0; i < n; ++i)
            rows[i] = image.bits + image.stride * (top + qsizetype(c.output_scanline + i));
        if (jpeg_read_scanlines(&c, rows.data(), n) == 0)
            return false;
    }
    if (c.output_scanline == c.output_height)
        jpeg_finish_decompress(&c);
    return true;
}

// What the two threads share.
struct Handover
{
    std::mutex mutex;
    std::condition_variable changed;
    int row = -1;           // the cut, once known
    bool decided = false;   // the cut is known, or there is none
    bool lowerDone = false; // the rows below the cut are decoded
    std::atomic<bool> cancel{false};

    void decide(int cutRow)
    {
        std::lock_guard lock(mutex);
        if (decided)
            return;
        row = cutRow;
        decided = true;
        changed.notify_all();
    }
    int await()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return decided; });
        return row;
    }
};

void decodeLower(const QByteArray &bytes, int scaleNum, const ScanLayout &layout, int from, int tries, Rows image,
                 Handover &handover)
{
    Cut cut;
    if (!findCut(layout, bytes, from, tries, handover.cancel, cut)) {
        handover.decide(-1);
        return;
    }
    handover.decide(cut.row);
    Decoder lower;
    bool splittable = false;
    const int top = cut.row * layout.outRowsPerMcuRow;
    const char *d = bytes.constData();
    const size_t afterHeight = layout.heightOffset + 2;
    const bool ok = openDecoder(lower, scaleNum,
                                {{d, layout.heightOffset},
                                 {cut.height.data(), cut.height.size()},
                                 {d + afterHeight, layout.dataStart - afterHeight},
                                 {cut.prefix.data(), cut.prefix.size()},
                                 {d + cut.tail, size_t(bytes.size()) - cut.tail}},
                                splittable)
                    && splittable && int(lower.cinfo.output_width) == image.width
                    && int(lower.cinfo.output_height) == image.height - top && startDecoder(lower)
                    && readRows(lower, image, top, lower.cinfo.output_height);
    std::lock_guard lock(handover.mutex);
    handover.lowerDone = ok;
}

// The second thread's task. Whatever it throws (memory running out for its tables) means no
// split: before the cut is known, the first thread decodes every row; after, the rows below are
// not marked done, so the caller decodes in one piece.
void runLower(const QByteArray &bytes, int scaleNum, const ScanLayout &layout, int from, int tries, Rows image,
              Handover &handover) noexcept
{
    try {
        decodeLower(bytes, scaleNum, layout, from, tries, image, handover);
    } catch (...) {
        handover.decide(-1);
    }
}

// The second threads' own pool: the decode that starts one may itself run on a pool thread, and
// waits for it, so a second thread must never wait behind decodes. Second threads wait for
// nothing; there are as many as there are split decodes at once (the decode budget keeps those
// few), so that none waits behind another.
QThreadPool &walkerPool()
{
    struct Pool : QThreadPool
    {
        Pool() { setMaxThreadCount(std::max(8, QThread::idealThreadCount())); }
    };
    static Pool pool;
    return pool;
}

// The share of the rows the first thread decodes: the second walks the codes above its cut
// first, which takes about 0.4 of the time decoding them takes (both are done at about 5/8).
constexpr double kUpperShare = 0.64;
// Rows tried for a cut before the first thread is left to decode everything. Each works with a
// chance of one in eight, so the search starts some rows early.
constexpr int kCutTries = 96;

std::optional<QImage> decodeSplit(const QByteArray &bytes, int scaleNum, int wantRow, int *taken)
{
    if (bytes.size() > qsizetype(UINT32_MAX) - 16)
        return std::nullopt;
    Decoder upper;
    bool splittable = false;
    if (!openDecoder(upper, scaleNum, {{bytes.constData(), size_t(bytes.size())}}, splittable) || !splittable)
        return std::nullopt;
    ScanLayout layout;
    const size_t dataStart = size_t(upper.cinfo.src->next_input_byte - reinterpret_cast<const JOCTET *>(bytes.constData()));
    if (!layoutOf(upper.cinfo, bytes, dataStart, layout) || layout.mcuRows < 3)
        return std::nullopt;
    if (!startDecoder(upper))
        return std::nullopt;
    QImage image(int(upper.cinfo.output_width), int(upper.cinfo.output_height), QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    const int from = wantRow >= 0 ? std::clamp(wantRow, 1, layout.mcuRows - 1)
                                  : std::clamp(int(layout.mcuRows * kUpperShare) - kCutTries / 16, 1, layout.mcuRows - 1);
    const int tries = wantRow >= 0 ? 8 * kCutTries : kCutTries;
    const Rows rows{image.bits(), image.bytesPerLine(), image.width(), image.height()};
    Handover handover;
    QFuture<void> lower;
    try {
        lower = QtConcurrent::run(&walkerPool(), [&bytes, scaleNum, &layout, from, tries, rows, &handover] {
            runLower(bytes, scaleNum, layout, from, tries, rows, handover);
        });
    } catch (...) {
        return std::nullopt; // no task to be had: decoded in one piece
    }
    // The second thread works on what is here: it has finished before any of it goes.
    const auto stopLower = [&] {
        handover.cancel = true;
        lower.waitForFinished();
    };
    const auto stopLowerOnExit = qScopeGuard(stopLower);
    bool ok = readRows(upper, rows, 0, JDIMENSION(from * layout.outRowsPerMcuRow));
    int cut = -1;
    if (ok) {
        cut = handover.await();
        ok = readRows(upper, rows, 0, cut >= 0 ? JDIMENSION(cut * layout.outRowsPerMcuRow) : upper.cinfo.output_height);
    }
    stopLower();
    if (!ok || (cut >= 0 && !handover.lowerDone))
        return std::nullopt;
    if (taken)
        *taken = cut;
    return image;
}

} // namespace

std::optional<QImage> JpegSplit::decode(const QByteArray &bytes, int scaleNum)
{
    return decodeSplit(bytes, scaleNum, -1, nullptr);
}

std::optional<QImage> JpegSplit::decodeAt(const QByteArray &bytes, int scaleNum, int row, int *taken)
{
    return decodeSplit(bytes, scaleNum, std::max(row, 0), taken);
}

void JpegSplit::failNextWalkerForTest()
{
    nextWalkerFails = true;
}

namespace {
thread_local bool t_allowed = true;
} // namespace

void JpegSplit::allowOnThisThread(bool allowed)
{
    t_allowed = allowed;
}

bool JpegSplit::allowedOnThisThread()
{
    return t_allowed;
}

bool JpegSplit::worthIt(qint64 pixels)
{
    return pixels >= (qint64(2) << 20) && QThread::idealThreadCount() >= 2;
}

} // namespace picture
