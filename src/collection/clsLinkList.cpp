#include "collection/clsLinkList.h"

#include <algorithm>
#include <limits>

namespace {

bool isText(const QVariant &v)
{
    return v.typeId() == QMetaType::QString;
}

const QString &textOf(const QVariant &v)
{
    return *static_cast<const QString *>(v.constData());
}

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Bool:
        return true;
    default:
        return false;
    }
}

} // namespace

int clsLinkList::Compare(const QVariant &a, const QVariant &b)
{
    if (isText(a) && isText(b))
        return QString::compare(textOf(a), textOf(b), Qt::CaseSensitive);
    if (isNumber(a) && isNumber(b)) {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    // Anything else (never stored by the program) compares as its text; empty is "".
    return QString::compare(a.toString(), b.toString(), Qt::CaseSensitive);
}

QVariant clsLinkList::cursorRead(int16_t Dimension, int32_t newCursor)
{
    if (Dimension < 0 || Dimension >= m_dims)
        return QVariant();
    m_cursor = newCursor;
    return List(m_cursor, Dimension);
}

QVariant clsLinkList::GetFirst(int16_t Dimension)
{
    return cursorRead(Dimension, 0);
}

QVariant clsLinkList::GetPrev(int16_t Dimension)
{
    // Saturate rather than overflow: the cursor is never clamped to the rows, only to its type.
    const int32_t c = m_cursor == std::numeric_limits<int32_t>::min() ? m_cursor : m_cursor - 1;
    return cursorRead(Dimension, c);
}

QVariant clsLinkList::GetNext(int16_t Dimension)
{
    const int32_t c = m_cursor == std::numeric_limits<int32_t>::max() ? m_cursor : m_cursor + 1;
    return cursorRead(Dimension, c);
}

QVariant clsLinkList::GetLast(int16_t Dimension)
{
    return cursorRead(Dimension, m_count - 1);
}

QVariant clsLinkList::List(int32_t Index, int16_t Dimension) const
{
    if (Index < 0 || Index >= m_count || Dimension < 0 || Dimension >= m_dims)
        return QVariant(QString(""));
    return cell(Index, Dimension);
}

void clsLinkList::List(int32_t Index, int16_t Dimension, const QVariant &vData)
{
    if (Index < 0 || Index >= m_count || Dimension < 0 || Dimension >= m_dims)
        return;
    cell(Index, Dimension) = vData;
    if (Dimension == 0 && m_sorted && m_ordered) {
        // The store is not re-sorted; if it breaks the order, binary search is no longer valid.
        const bool fitsBefore = Index == 0 || Compare(cell(Index - 1, 0), vData) <= 0;
        const bool fitsAfter = Index == m_count - 1 || Compare(vData, cell(Index + 1, 0)) <= 0;
        if (!isText(vData) || !fitsBefore || !fitsAfter)
            m_ordered = false;
    }
}

void clsLinkList::RemoveItem(int32_t Index)
{
    if (Index < 0 || Index >= m_count)
        return;
    const auto first = m_cells.begin() + ptrdiff_t(Index) * m_dims;
    m_cells.erase(first, first + m_dims);
    if (--m_count == 0)
        markEmpty();
}

int32_t clsLinkList::insertPosition(const QVariant &vData) const
{
    if (m_ordered && isText(vData)) {
        int32_t lo = 0, hi = m_count;
        while (lo < hi) {
            const int32_t mid = lo + (hi - lo) / 2;
            if (Compare(cell(mid, 0), vData) >= 0)
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    }
    for (int32_t i = 0; i < m_count; ++i) {
        if (Compare(cell(i, 0), vData) >= 0)
            return i;
    }
    return m_count;
}

void clsLinkList::AddItem(const QVariant &vData)
{
    if (m_count == std::numeric_limits<int32_t>::max())
        return;
    if (!m_sorted) {
        m_cells.resize(m_cells.size() + size_t(m_dims));
        ++m_count;
        m_newIndex = m_count - 1;
        cell(m_newIndex, 0) = vData;
        return;
    }
    const int32_t pos = insertPosition(vData);
    if (!isText(vData))
        m_ordered = false;
    const auto at = m_cells.begin() + ptrdiff_t(pos) * m_dims;
    if (pos < m_count) {
        // The rows from pos move down one; the row at pos keeps its other columns (the cells
        // it held before the shift) and takes the new value in column 0.
        std::vector<QVariant> copy(at, at + m_dims);
        m_cells.insert(at, copy.begin(), copy.end());
    } else {
        m_cells.insert(at, size_t(m_dims), QVariant());
    }
    ++m_count;
    m_newIndex = pos;
    cell(pos, 0) = vData;
}

void clsLinkList::AddItems(std::vector<QVariant> values)
{
    if (values.empty())
        return;
    const bool allText = std::all_of(values.begin(), values.end(), isText);
    const bool bulkSorted = m_sorted && m_ordered && m_dims == 1 && allText;
    if (m_sorted && !bulkSorted) {
        for (const QVariant &v : values)
            AddItem(v);
        return;
    }
    const size_t room = size_t(std::numeric_limits<int32_t>::max() - m_count);
    if (values.size() > room)
        values.resize(room);
    if (values.empty())
        return;
    if (!m_sorted) {
        const size_t base = m_cells.size();
        m_cells.resize(base + values.size() * size_t(m_dims));
        for (size_t i = 0; i < values.size(); ++i)
            m_cells[base + i * size_t(m_dims)] = std::move(values[i]);
        m_count += int32_t(values.size());
        m_newIndex = m_count - 1;
        return;
    }
    const auto less = [](const QVariant &a, const QVariant &b) { return Compare(a, b) < 0; };
    // Values already in strictly rising order after every row: they simply follow (a scan adds
    // its sorted pictures so).
    if ((m_count == 0 || less(m_cells.back(), values.front()))
        && std::adjacent_find(values.begin(), values.end(), [&](const QVariant &a, const QVariant &b) {
               return !less(a, b);
           }) == values.end()) {
        m_cells.insert(m_cells.end(), std::make_move_iterator(values.begin()), std::make_move_iterator(values.end()));
        m_count = int32_t(m_cells.size());
        m_newIndex = m_count - 1;
        return;
    }
    // One-column sorted list: each value goes in front of the equal values already there, so a
    // later value goes in front of an earlier equal one. A stable sort of the values in reverse
    // order of adding, merged in front of equal old rows, gives exactly that list.
    const QVariant last = values.back();
    std::reverse(values.begin(), values.end());
    std::stable_sort(values.begin(), values.end(), less);
    std::vector<QVariant> merged;
    merged.reserve(m_cells.size() + values.size());
    std::merge(std::make_move_iterator(values.begin()), std::make_move_iterator(values.end()),
               std::make_move_iterator(m_cells.begin()), std::make_move_iterator(m_cells.end()),
               std::back_inserter(merged), less);
    m_cells = std::move(merged);
    m_count = int32_t(m_cells.size());
    m_newIndex = int32_t(std::lower_bound(m_cells.begin(), m_cells.end(), last, less) - m_cells.begin());
}

void clsLinkList::Dims(int16_t value)
{
    // A row needs a cell for column 0; a width below 1 could hold nothing and is ignored.
    if (m_count == 0 && value >= 1)
        m_dims = value;
}

void clsLinkList::Sorted(bool value)
{
    if (m_count == 0)
        m_sorted = value;
}

void clsLinkList::markEmpty()
{
    m_count = 0;
    std::vector<QVariant>().swap(m_cells);
    m_ordered = true;
}

void clsLinkList::Clear()
{
    markEmpty();
}

void clsLinkList::assignFrom(const clsLinkList &source)
{
    Dims(source.m_dims);
    Sorted(source.m_sorted);
    if (source.m_count == 0) {
        markEmpty();
        return;
    }
    std::vector<QVariant> table(size_t(source.m_count) * size_t(m_dims));
    const int16_t cols = std::min(m_dims, source.m_dims);
    for (int32_t i = 0; i < source.m_count; ++i)
        for (int16_t k = 0; k < cols; ++k)
            table[size_t(i) * size_t(m_dims) + size_t(k)] = source.cell(i, k);
    m_cells = std::move(table);
    m_count = source.m_count;
}

void clsLinkList::recheckOrder()
{
    m_ordered = true;
    for (int32_t i = 0; i < m_count && m_ordered; ++i)
        m_ordered = isText(cell(i, 0)) && (i == 0 || Compare(cell(i - 1, 0), cell(i, 0)) <= 0);
}

void clsLinkList::CopyFrom(const clsLinkList &source)
{
    if (&source == this)
        return;
    assignFrom(source);
    m_ordered = source.m_sorted && source.m_ordered;
    if (m_sorted && !m_ordered)
        recheckOrder();
}

void clsLinkList::MoveFrom(clsLinkList &source)
{
    // Moving a list onto itself would empty it: keep the rows instead.
    if (&source == this)
        return;
    if (source.m_count > 0 && (m_count == 0 || m_dims == source.m_dims)) {
        Dims(source.m_dims);
        Sorted(source.m_sorted);
        const bool sourceOrdered = source.m_sorted && source.m_ordered;
        m_cells = std::move(source.m_cells);
        m_count = source.m_count;
        source.markEmpty();
        m_ordered = sourceOrdered;
        if (m_sorted && !m_ordered)
            recheckOrder();
        return;
    }
    CopyFrom(source);
    if (source.m_count > 0)
        source.Clear();
}

std::vector<QVariant> clsLinkList::Column0() const
{
    std::vector<QVariant> out;
    out.reserve(size_t(m_count));
    for (int32_t i = 0; i < m_count; ++i)
        out.push_back(cell(i, 0));
    return out;
}

std::vector<QVariant> clsLinkList::TakeColumn0()
{
    std::vector<QVariant> out;
    if (m_dims == 1) {
        out = std::move(m_cells);
    } else {
        out.reserve(size_t(m_count));
        for (int32_t i = 0; i < m_count; ++i)
            out.push_back(std::move(cell(i, 0)));
    }
    markEmpty();
    return out;
}

void clsLinkList::RetainRows(const std::vector<bool> &keep)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < m_count; ++i) {
        if (size_t(i) < keep.size() && !keep[size_t(i)])
            continue;
        if (kept != i)
            std::move(m_cells.begin() + ptrdiff_t(i) * m_dims, m_cells.begin() + ptrdiff_t(i + 1) * m_dims,
                      m_cells.begin() + ptrdiff_t(kept) * m_dims);
        ++kept;
    }
    if (kept == 0) {
        markEmpty();
        return;
    }
    m_cells.resize(size_t(kept) * size_t(m_dims));
    m_count = kept;
}
