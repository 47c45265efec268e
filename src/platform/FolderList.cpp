#include "platform/FolderList.h"

#include "base/FileSys.h"

#include <QDir>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cmath>
#include <utility>

namespace platform {

using namespace base;

namespace {

constexpr int kDepthRole = Qt::UserRole + 1;

// An onChange that keeps opening other folders, each opening running it again, would otherwise
// nest until the stack runs out.
constexpr int kMaxChangeNesting = 32;

bool folderNameLess(const QString &a, const QString &b)
{
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

// The absolute, clean form of a path the user or the program gave; "" for text that names no
// folder at all.
QString absoluteFolder(const QString &path)
{
    if (path.isEmpty() || path.contains(QChar(0)))
        return QString();
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
}

// Lists the folder's visible subfolders; false when it cannot be listed.
bool readSubFolders(const QString &folder, QStringList &names)
{
    names.clear();
    RawFolder raw;
    if (!ReadFolder(EncodePath(folder), raw, true))
        return false;
    names.reserve(qsizetype(raw.subFolders.size()));
    for (const RawFolder::SubFolder &s : raw.subFolders)
        names.append(DecodeName(s.name.data(), s.name.size()));
    return true;
}

QStringList chainOf(const QString &path)
{
    QStringList chain{QStringLiteral("/")};
    QString sofar;
    for (const QString &part : path.split(kSeparator, Qt::SkipEmptyParts)) {
        sofar += kSeparator + part;
        chain.append(sofar);
    }
    return chain;
}

QHash<QString, QString> &folderOfVolume()
{
    static QHash<QString, QString> folders;
    return folders;
}

} // namespace

// Every row has the list's row height (so the row under a point is a division away), and is
// painted indented by its depth.
class FolderList::RowDelegate : public QStyledItemDelegate
{
public:
    explicit RowDelegate(FolderList *list)
        : QStyledItemDelegate(list)
        , m_list(list)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        // As wide as the viewport so the highlight spans the row; wider when a name needs it.
        return QSize(std::max(m_list->m_contentWidth, m_list->viewport()->width()), m_list->RowHeightPixels());
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + index.data(kDepthRole).toInt() * m_list->indentPixels());
        QStyledItemDelegate::paint(painter, indented, index);
    }

private:
    FolderList *m_list;
};

FolderList::FolderList(QWidget *parent)
    : QListView(parent)
    , m_model(new QStandardItemModel(this))
    , m_delegate(new RowDelegate(this))
{
    setModel(m_model);
    setItemDelegate(m_delegate);
    setViewMode(ListMode);
    setFlow(TopToBottom);
    setWrapping(false);
    setMovement(Static);
    setResizeMode(Adjust);
    setUniformItemSizes(true);
    setSpacing(0);
    // One scroll step per row keeps TopIndex a whole number of rows.
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollMode(ScrollPerPixel);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setEditTriggers(NoEditTriggers);
    setDragEnabled(false);
    setTextElideMode(Qt::ElideRight);
    const int icon = std::min(16, RowHeightPixels() - 2);
    setIconSize(QSize(icon, icon));

    // Like a fresh process: the working folder, or the nearest folder above it that can be listed.
    QString start = absoluteFolder(QDir::currentPath());
    QStringList names;
    while (!start.isEmpty() && !readSubFolders(start, names)) {
        const QString up = QDir::cleanPath(start + QStringLiteral("/.."));
        start = up == start ? QString() : up;
    }
    open(start.isEmpty() ? QStringLiteral("/") : start, names);
}

QString FolderList::Path() const
{
    return m_path;
}

bool FolderList::SetPath(const QString &path)
{
    const QString folder = absoluteFolder(path);
    QStringList names;
    if (folder.isEmpty() || !readSubFolders(folder, names))
        return false;
    if (folder == m_path)
        return true;
    open(folder, names);
    runOnChange();
    return true;
}

QString FolderList::List(int index) const
{
    const int row = rowOfIndex(index);
    if (row < 0 || index >= int(m_subFolders.size()))
        return QString();
    return index < 0 ? m_chain.at(row) : m_subFolders.at(index);
}

int FolderList::ListCount() const
{
    return int(m_subFolders.size());
}

int FolderList::ListIndex() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() - chainCount() : -1;
}

int FolderList::TopIndex() const
{
    return verticalScrollBar()->value();
}

void FolderList::SetTopIndex(int rows)
{
    m_fitPending = false; // an explicit position wins over the one chosen on opening
    // The scroll range is only right once the rows are laid out.
    executeDelayedItemsLayout();
    verticalScrollBar()->setValue(rows);
}

int FolderList::RowHeightPixels() const
{
    return fontMetrics().height() + 2;
}

int FolderList::IndexAt(double yPixels) const
{
    if (!(yPixels >= 0))
        return ListCount();
    const int row = int(std::floor(yPixels / RowHeightPixels())) + TopIndex();
    return row < m_model->rowCount() ? row - chainCount() : ListCount();
}

void FolderList::Refresh()
{
    QStringList names;
    readSubFolders(m_path, names); // a folder gone meanwhile shows no subfolders
    const QString highlighted = List(ListIndex());
    const int top = TopIndex();
    const int left = horizontalScrollBar()->value();
    rebuildRows(names);
    int row = chainCount() - 1;
    if (const int at = int(m_subFolders.indexOf(highlighted)); at >= 0)
        row = rowOfIndex(at);
    else if (const int up = int(m_chain.indexOf(highlighted)); up >= 0)
        row = up;
    setCurrentIndex(m_model->index(row, 0));
    if (!m_fitPending) {
        SetTopIndex(top);
        horizontalScrollBar()->setValue(left);
    }
}

void FolderList::mousePressEvent(QMouseEvent *event)
{
    int button = 0;
    switch (event->button()) {
    case Qt::LeftButton: button = 1; break;
    case Qt::RightButton: button = 2; break;
    case Qt::MiddleButton: button = 4; break;
    default: break;
    }
    const Qt::KeyboardModifiers mods = event->modifiers();
    const int shift = (mods & Qt::ShiftModifier ? 1 : 0) | (mods & Qt::ControlModifier ? 2 : 0)
                      | (mods & Qt::AltModifier ? 4 : 0);

    const quint64 before = m_generation;
    if (button != 0 && onMouseDown) {
        const QPointer<FolderList> alive(this);
        const auto handler = onMouseDown; // the handler may replace onMouseDown while it runs
        handler(button, shift, event->position().x(), event->position().y());
        if (!alive)
            return;
    }
    // When the handler opened another folder (or re-read this one), the row under the pointer is
    // not the one that was pressed: the press has been dealt with.
    m_pressChangedRows = m_generation != before;
    if (m_pressChangedRows) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void FolderList::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The base class would treat a double-click off the rows as another press; the press has
    // already been reported.
    event->accept();
    if (std::exchange(m_pressChangedRows, false) || event->button() != Qt::LeftButton)
        return;
    const QModelIndex row = indexAt(event->position().toPoint());
    if (row.isValid())
        SetPath(List(row.row() - chainCount()));
}

void FolderList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const QModelIndex current = currentIndex();
        if (current.isValid())
            SetPath(List(current.row() - chainCount()));
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

bool FolderList::viewportEvent(QEvent *event)
{
    // Rows are as wide as the viewport, which also narrows when the vertical scroll bar appears.
    if (event->type() == QEvent::Resize) {
        const auto *resize = static_cast<QResizeEvent *>(event);
        if (resize->size().width() != resize->oldSize().width())
            scheduleDelayedItemsLayout();
    }
    return QListView::viewportEvent(event);
}

QItemSelectionModel::SelectionFlags FolderList::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    // A click on empty space or a Ctrl+click keeps the highlight where it is.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
    return flags.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate : flags;
}

void FolderList::open(const QString &path, const QStringList &subFolderNames)
{
    m_path = path;
    m_chain = chainOf(path);
    rebuildRows(subFolderNames);
    RememberFolderOfVolume(path);
    showOpenFolder();
}

void FolderList::rebuildRows(const QStringList &subFolderNames)
{
    QStringList names = subFolderNames;
    std::sort(names.begin(), names.end(), folderNameLess);
    const QString base = WithSeparator(m_path);
    m_subFolders.clear();
    m_subFolders.reserve(names.size());
    for (const QString &name : std::as_const(names))
        m_subFolders.append(base + name);

    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon, nullptr, this);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon, nullptr, this);
    const QFontMetrics metrics = fontMetrics();
    const int indent = indentPixels();
    // Icon, the delegate's margins around icon and text, and a little air.
    const int fixedWidth = iconSize().width() + 4 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
    m_contentWidth = 0;

    QList<QStandardItem *> rows;
    rows.reserve(m_chain.size() + names.size());
    const auto addRow = [&](const QString &text, const QString &fullPath, int depth, const QIcon &icon) {
        auto *item = new QStandardItem(icon, text);
        item->setData(depth, kDepthRole);
        item->setToolTip(fullPath);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
        rows.append(item);
        m_contentWidth = std::max(m_contentWidth, depth * indent + fixedWidth + metrics.horizontalAdvance(text));
    };
    for (int depth = 0; depth < m_chain.size(); ++depth) {
        const QString &folder = m_chain.at(depth);
        addRow(depth == 0 ? folder : folder.section(kSeparator, -1), folder, depth, openIcon);
    }
    for (int i = 0; i < names.size(); ++i)
        addRow(names.at(i), m_subFolders.at(i), int(m_chain.size()), closedIcon);

    m_model->clear();
    m_model->invisibleRootItem()->appendRows(rows);
    ++m_generation;
}

void FolderList::showOpenFolder()
{
    setCurrentIndex(m_model->index(chainCount() - 1, 0));
    // Where to scroll depends on the viewport's final size, which a hidden list does not have yet.
    if (isVisible())
        fitOpenFolder();
    else
        m_fitPending = true;
}

void FolderList::fitOpenFolder()
{
    m_fitPending = false;
    executeDelayedItemsLayout();
    const int openRow = chainCount() - 1;
    // The open folder in sight, from the root down when that fits; a long chain gives way so
    // that subfolders fill at least half of the view below the open folder.
    const int visibleRows = std::max(1, viewport()->height() / RowHeightPixels());
    const int below = std::min(int(m_subFolders.size()), visibleRows / 2);
    verticalScrollBar()->setValue(std::clamp(openRow + below + 1 - visibleRows, 0, openRow));
    // Deep folders are indented past the right edge: bring the names in, up to the open folder's icon.
    horizontalScrollBar()->setValue(std::clamp(m_contentWidth - viewport()->width(), 0, openRow * indentPixels()));
}

void FolderList::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    if (m_fitPending)
        fitOpenFolder();
}

int FolderList::indentPixels() const
{
    return std::max(8, iconSize().width() * 3 / 4);
}

void FolderList::runOnChange()
{
    if (!onChange || m_changeDepth >= kMaxChangeNesting)
        return;
    ++m_changeDepth;
    const auto restore = qScopeGuard([this] { --m_changeDepth; });
    const std::function<void()> handler = onChange; // the handler may replace onChange
    handler();
}

QString CurrentFolderOfVolume(const QString &volumeRoot)
{
    if (volumeRoot.isEmpty())
        return QString();
    const QString root = QDir::cleanPath(volumeRoot);
    return folderOfVolume().value(root, root);
}

void RememberFolderOfVolume(const QString &folder)
{
    const QString clean = absoluteFolder(folder);
    if (clean.isEmpty())
        return;
    const QString root = FileSys().DriveOf(clean);
    if (!root.isEmpty())
        folderOfVolume().insert(root, clean);
}

} // namespace platform
