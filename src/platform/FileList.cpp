#include "platform/FileList.h"

#include "platform/FileListModel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace platform {

namespace {

// A click handler that keeps selecting other entries, each selection running the handler again,
// would otherwise nest until the stack runs out.
constexpr int kMaxClickNesting = 32;

} // namespace

FileList::FileList(QWidget *parent)
    : QListView(parent)
    , m_model(new FileListModel(this))
{
    setModel(m_model);
    setViewMode(ListMode);
    setFlow(TopToBottom);
    setWrapping(true);
    setResizeMode(Adjust);
    // Equal cells make a full layout a simple pass over the rows, so one pass is fast enough even
    // for 100,000 entries, and scrolling to any entry works at once.
    setLayoutMode(SinglePass);
    setUniformItemSizes(true);
    setMovement(Static);
    setSpacing(0);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setEditTriggers(NoEditTriggers);
    setDragEnabled(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(ScrollPerPixel);
    // Columns fill the height; the list only ever scrolls sideways.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection &selected, const QItemSelection &) { selectionChangedByUser(selected); });
    updateGrid();
}

FileList::~FileList() = default;

void FileList::Clear()
{
    const bool was = std::exchange(m_settingIndex, true);
    m_model->clear();
    selectionModel()->clear();
    m_settingIndex = was;
    horizontalScrollBar()->setValue(0);
}

void FileList::AddItem(const QString &name)
{
    const bool was = std::exchange(m_settingIndex, true);
    m_model->insertSorted(name);
    m_settingIndex = was;
}

void FileList::SetItems(QStringList names)
{
    const bool was = std::exchange(m_settingIndex, true);
    m_model->setNames(std::move(names));
    selectionModel()->clear();
    m_settingIndex = was;
    horizontalScrollBar()->setValue(0);
}

void FileList::RemoveItem(int index)
{
    if (index < 0 || index >= m_model->rowCount())
        return;
    // Removing the selected row makes the view select a neighbour; the caller chooses the next
    // entry itself, so neither that nor the clearing below counts as a click.
    const bool was = std::exchange(m_settingIndex, true);
    m_model->removeAt(index);
    selectionModel()->clear();
    m_settingIndex = was;
}

QString FileList::List(int index) const
{
    return m_model->name(index);
}

int FileList::ListCount() const
{
    return m_model->rowCount();
}

int FileList::ListIndex() const
{
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void FileList::SetListIndex(int index)
{
    const bool was = std::exchange(m_settingIndex, true);
    if (index < 0 || index >= m_model->rowCount()) {
        selectionModel()->clear();
        m_settingIndex = was;
        return;
    }
    const QModelIndex item = m_model->index(index);
    selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
    m_settingIndex = was;
    scrollTo(item);
    runOnClick();
}

void FileList::SetColumns(int columns)
{
    m_columns = std::max(1, columns);
    updateGrid();
}

void FileList::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    updateGrid();
}

void FileList::changeEvent(QEvent *event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateGrid();
}

void FileList::wheelEvent(QWheelEvent *event)
{
    // The list has no vertical extent to scroll: an ordinary wheel turns the columns instead.
    const QPoint delta = event->angleDelta();
    if (std::abs(delta.y()) >= std::abs(delta.x()) && horizontalScrollBar()->maximum() > 0) {
        QCoreApplication::sendEvent(horizontalScrollBar(), event);
        return;
    }
    QListView::wheelEvent(event);
}

void FileList::keyPressEvent(QKeyEvent *event)
{
    // Space and Enter step to the next entry, as the browser's keys do from its other controls
    // (the browser leaves the keys to the list while the list has the focus).
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const int index = ListIndex();
        if (index < ListCount() - 1)
            SetListIndex(index + 1);
        event->accept();
        return;
    }
    // With nothing selected, the first move selects the first entry. The view's current row may
    // sit on an entry it never selected (the focus puts it there), and a move from it would pass
    // over that entry.
    static const int firstMoves[] = {Qt::Key_Down, Qt::Key_Up, Qt::Key_Left, Qt::Key_Right, Qt::Key_Home, Qt::Key_PageUp};
    if (ListIndex() == -1 && ListCount() > 0 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier
        && std::find(std::begin(firstMoves), std::end(firstMoves), event->key()) != std::end(firstMoves)) {
        SetListIndex(0);
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void FileList::mousePressEvent(QMouseEvent *event)
{
    // A click on the entry that is already selected changes no selection, yet it is a choice all
    // the same: the file is shown again (the viewer may have been closed since).
    const QModelIndex hit = indexAt(event->position().toPoint());
    const bool again = event->button() == Qt::LeftButton && hit.isValid() && hit.row() == ListIndex();
    QListView::mousePressEvent(event);
    if (again && ListIndex() == hit.row())
        runOnClick();
}

QItemSelectionModel::SelectionFlags FileList::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    // Like a classic list box: a click on empty space or a Ctrl+click on the selected entry does
    // not leave the list without a selection.
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags flags = QListView::selectionCommand(index, event);
    return flags.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate : flags;
}

int FileList::rowHeight() const
{
    return fontMetrics().height() + 2;
}

void FileList::updateGrid()
{
    const QSize cell(std::max(1, viewport()->width() / m_columns), rowHeight());
    // The model's size hint and the grid agree, so items neither overlap nor leave gaps; text
    // wider than its column is elided by the delegate.
    m_model->setItemSize(cell);
    if (gridSize() != cell)
        setGridSize(cell);
}

void FileList::selectionChangedByUser(const QItemSelection &selected)
{
    if (m_settingIndex || selected.isEmpty())
        return;
    runOnClick();
}

void FileList::runOnClick()
{
    if (!onClick || m_clickDepth >= kMaxClickNesting)
        return;
    ++m_clickDepth;
    const auto restore = qScopeGuard([this] { --m_clickDepth; });
    // A copy: the handler may replace onClick while it runs.
    const std::function<void()> handler = onClick;
    handler();
}

} // namespace platform
