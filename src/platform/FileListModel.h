#pragma once

#include <QAbstractListModel>
#include <QSize>
#include <QStringList>

namespace platform {

// The file list's entries: bare names kept in order without regard to letter case (names that
// differ only in case follow the exact character order, so the order is total and the place of
// every name is well defined for a binary search).
class FileListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit FileListModel(QObject *parent = nullptr);

    // The order of the entries.
    static bool lessThan(const QString &a, const QString &b);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    const QStringList &names() const { return m_names; }
    QString name(int row) const;

    // Inserts one name into its sorted place; returns its row.
    int insertSorted(const QString &name);
    // Replaces every entry at once (one model reset); the names are sorted here.
    void setNames(QStringList names);
    void removeAt(int row);
    void clear();

    // Every entry's size (the view lays out equal cells, so one value serves all rows).
    void setItemSize(const QSize &size) { m_itemSize = size; }

private:
    QStringList m_names;
    QSize m_itemSize;
};

} // namespace platform
