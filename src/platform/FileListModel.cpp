#include "platform/FileListModel.h"

#include <algorithm>

namespace platform {

FileListModel::FileListModel(QObject *parent)
    : QAbstractListModel(parent)
{
}

bool FileListModel::lessThan(const QString &a, const QString &b)
{
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_names.size());
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_names.size())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return m_names.at(index.row());
    case Qt::SizeHintRole:
        return m_itemSize.isValid() ? QVariant(m_itemSize) : QVariant();
    default:
        return QVariant();
    }
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const
{
    // Selectable and enabled only: names are never edited or dragged from here.
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren
                           : Qt::NoItemFlags;
}

QString FileListModel::name(int row) const
{
    return row >= 0 && row < m_names.size() ? m_names.at(row) : QString();
}

int FileListModel::insertSorted(const QString &name)
{
    // After any equal names, so repeated additions keep their order.
    const auto at = std::upper_bound(m_names.cbegin(), m_names.cend(), name, &FileListModel::lessThan);
    const int row = int(at - m_names.cbegin());
    beginInsertRows(QModelIndex(), row, row);
    m_names.insert(row, name);
    endInsertRows();
    return row;
}

void FileListModel::setNames(QStringList names)
{
    std::stable_sort(names.begin(), names.end(), &FileListModel::lessThan);
    beginResetModel();
    m_names = std::move(names);
    endResetModel();
}

void FileListModel::removeAt(int row)
{
    if (row < 0 || row >= m_names.size())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_names.removeAt(row);
    endRemoveRows();
}

void FileListModel::clear()
{
    if (m_names.isEmpty())
        return;
    beginResetModel();
    m_names.clear();
    endResetModel();
}

} // namespace platform
