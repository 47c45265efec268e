#pragma once

#include <QVariant>

#include <cstdint>
#include <vector>

// The program's ordered list: rows of variant cells, optionally kept in order of column 0.
//
// Positions and columns out of range are never errors: reads give the empty text "", the cursor
// members give an empty (invalid) QVariant for a bad column, writes and removals do nothing.
// The cursor is never clamped. Dims and Sorted change only while the list is empty.
//
// A sorted AddItem puts the value at the first row whose column 0 is >= the value (so it goes in
// front of equal values). While column 0 is known to be in order that row is found by binary
// search; once a List() store may have broken the order, the linear search from the front is used
// until the list is empty again, which gives the same row as the linear rule in every case.
class clsLinkList
{
public:
    clsLinkList() = default;            // Class_Initialize: Dims 1, empty, unsorted
    ~clsLinkList() { Clear(); }          // Class_Terminate
    clsLinkList(const clsLinkList &) = delete;
    clsLinkList &operator=(const clsLinkList &) = delete;

    QVariant GetFirst(int16_t Dimension);
    QVariant GetPrev(int16_t Dimension);
    QVariant GetNext(int16_t Dimension);
    QVariant GetLast(int16_t Dimension);

    QVariant List(int32_t Index, int16_t Dimension) const;
    void List(int32_t Index, int16_t Dimension, const QVariant &vData);

    void RemoveItem(int32_t Index);
    void AddItem(const QVariant &vData);

    // Same result as calling AddItem for each value in turn (NewIndex included), in
    // O(n log n) for a one-column list instead of one table shift per value.
    void AddItems(std::vector<QVariant> values);

    int16_t Dims() const { return m_dims; }
    void Dims(int16_t value);
    bool Sorted() const { return m_sorted; }
    void Sorted(bool value);
    int32_t ListCount() const { return m_count; }
    int32_t NewIndex() const { return m_newIndex; }

    void Clear();
    void CopyFrom(const clsLinkList &source);
    void MoveFrom(clsLinkList &source);

    // Variant ">=" of the list: texts compare by UTF-16 code units (binary, case-sensitive).
    static int Compare(const QVariant &a, const QVariant &b);

    // Bulk access for the random deal: column 0 of every row in row order, and the removal of
    // many rows at once (the same end state as RemoveItem of each, in one pass).
    std::vector<QVariant> Column0() const;
    void RetainRows(const std::vector<bool> &keep);
    // Column 0 of every row, moved out; the list is left empty as if each row were removed.
    std::vector<QVariant> TakeColumn0();

private:
    QVariant cursorRead(int16_t Dimension, int32_t newCursor);
    QVariant &cell(int32_t row, int16_t col) { return m_cells[size_t(row) * size_t(m_dims) + size_t(col)]; }
    const QVariant &cell(int32_t row, int16_t col) const { return m_cells[size_t(row) * size_t(m_dims) + size_t(col)]; }
    int32_t insertPosition(const QVariant &vData) const;
    void assignFrom(const clsLinkList &source);
    void markEmpty();
    void recheckOrder();

    std::vector<QVariant> m_cells; // row-major: m_count rows of m_dims cells; released when empty
    int32_t m_count = 0;
    bool m_sorted = false;
    int32_t m_newIndex = 0;
    int32_t m_cursor = 0;
    int16_t m_dims = 1;
    bool m_ordered = true; // column 0 known to be non-decreasing
};
