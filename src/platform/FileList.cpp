#include "platform/FileList.h"

#include "platform/FileListModel.h"
#include "platform/Trace.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPainter>
#include <QStyledItemDelegate>
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

// A grid cell: the picture (or its placeholder or mark) centred in a square, the name under it.
class CellDelegate : public QStyledItemDelegate
{
public:
    CellDelegate(FileList *list, CellPictures *pictures, int box)
        : QStyledItemDelegate(list), m_pictures(pictures), m_box(box)
    {
    }

    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem o = option;
        initStyleOption(&o, index);
        const QWidget *w = o.widget;
        QStyle *style = w ? w->style() : QApplication::style();
        // The selection shows as the cell's background, as in the list.
        o.text.clear();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &o, p, w);
        const QRect cell = option.rect;
        const QRect square(cell.x() + (cell.width() - m_box) / 2, cell.y() + kCellMargin, m_box, m_box);
        QImage image;
        const CellPictures::Kind kind = m_pictures->Cell(index.row(), image);
        switch (kind) {
        case CellPictures::Kind::Picture: {
            const QSize size = (QSizeF(image.size()) / image.devicePixelRatio()).toSize().boundedTo(square.size());
            const QRect target(QPoint(square.x() + (square.width() - size.width()) / 2,
                                      square.y() + (square.height() - size.height()) / 2), size);
            p->drawImage(target, image);
            break;
        }
        case CellPictures::Kind::Waiting:
            p->fillRect(square, o.palette.color(QPalette::Midlight));
            break;
        case CellPictures::Kind::Cannot:
        case CellPictures::Kind::NotAPicture:
            paintMark(p, square, kind == CellPictures::Kind::Cannot, o.palette);
            break;
        }
        const QRect text(cell.x() + 2, square.bottom() + 1 + kCellMargin / 2, cell.width() - 4,
                         cell.bottom() - square.bottom() - kCellMargin / 2);
        const bool selected = option.state & QStyle::State_Selected;
        p->setPen(o.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        p->setFont(o.font);
        p->drawText(text, Qt::AlignHCenter | Qt::AlignTop,
                    o.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, text.width()));
    }

    static constexpr int kCellMargin = 6;

private:
    // A small mark in the middle of the square: a crossed frame for a picture that cannot be
    // shown, a page with a folded corner for a file that is no picture.
    static void paintMark(QPainter *p, const QRect &square, bool cannot, const QPalette &palette)
    {
        const int side = std::max(8, square.width() / 4);
        const QRect mark(square.center() - QPoint(side / 2, side / 2), QSize(side, side));
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->setPen(QPen(palette.color(QPalette::Mid), 2));
        if (cannot) {
            p->drawRect(mark);
            p->drawLine(mark.topLeft(), mark.bottomRight());
            p->drawLine(mark.topRight(), mark.bottomLeft());
        } else {
            const int fold = side / 3;
            const QPoint pts[] = {mark.topLeft(), mark.topRight() - QPoint(fold, 0), mark.topRight() + QPoint(0, fold),
                                  mark.bottomRight(), mark.bottomLeft()};
            p->drawPolygon(pts, 5);
        }
        p->restore();
    }

    CellPictures *m_pictures;
    int m_box;
};

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
    filesChanged();
}

void FileList::AddItem(const QString &name)
{
    const bool was = std::exchange(m_settingIndex, true);
    m_model->insertSorted(name);
    m_settingIndex = was;
    filesChanged();
}

void FileList::SetItems(QStringList names)
{
    const bool was = std::exchange(m_settingIndex, true);
    m_model->setNames(std::move(names));
    selectionModel()->clear();
    m_settingIndex = was;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    filesChanged();
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
    filesChanged();
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

void FileList::SetThumbnails(CellPictures *pictures, int box)
{
    if (pictures == m_pictures && box == m_box)
        return;
    const int current = ListIndex();
    m_pictures = pictures;
    m_box = std::max(16, box);
    QAbstractItemDelegate *old = itemDelegate();
    if (pictures) {
        setItemDelegate(new CellDelegate(this, pictures, m_box));
        setFlow(LeftToRight);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollMode(ScrollPerPixel);
    } else {
        setItemDelegate(new QStyledItemDelegate(this));
        setFlow(TopToBottom);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    if (old && old->parent() == this)
        old->deleteLater();
    updateGrid();
    filesChanged();
    if (current >= 0)
        scrollTo(m_model->index(current));
}

void FileList::UpdateCell(int row)
{
    if (row >= 0 && row < m_model->rowCount())
        update(m_model->index(row));
}

void FileList::filesChanged()
{
    traceShown(true);
    if (!m_pictures)
        return;
    m_pictures->FilesChanged(m_model->rowCount());
    reportShown();
}

void FileList::traceShown(bool filled)
{
    if (!Tracing() || m_model->rowCount() == 0)
        return;
    // After the layout and the paint this turn of the event loop brings.
    QMetaObject::invokeMethod(this, [this, filled] {
        if (filled && isVisible())
            Trace("list-shown");
        const int last = m_model->rowCount() - 1;
        if (last >= 0 && viewport()->rect().intersects(visualRect(m_model->index(last))))
            Trace("last-visible");
    }, Qt::QueuedConnection);
}

void FileList::scrollContentsBy(int dx, int dy)
{
    QListView::scrollContentsBy(dx, dy);
    traceShown(false);
    if (!m_pictures)
        return;
    const int now = verticalScrollBar()->value();
    if (now != m_lastScroll)
        m_scrolledDown = now > m_lastScroll;
    m_lastScroll = now;
    reportShown();
}

void FileList::reportShown()
{
    // Once per turn of the event loop: a scroll and a resize together, or every step of a held
    // key, are told once, after the layout has settled.
    if (!m_pictures || m_shownPending)
        return;
    m_shownPending = true;
    QMetaObject::invokeMethod(this, [this] {
        m_shownPending = false;
        if (!m_pictures)
            return;
        const int count = m_model->rowCount();
        const QSize cell = gridSize();
        if (count == 0 || cell.isEmpty()) {
            m_pictures->Shown(0, -1, m_scrolledDown);
            return;
        }
        // Equal cells in rows from the top: the rows on screen follow from the scroll position.
        const int columns = std::max(1, viewport()->width() / cell.width());
        const int top = verticalScrollBar()->value();
        const int firstRow = top / cell.height();
        const int lastRow = (top + viewport()->height() - 1) / cell.height();
        const int first = std::min(count - 1, firstRow * columns);
        const int last = std::min(count - 1, (lastRow + 1) * columns - 1);
        m_pictures->Shown(first, last, m_scrolledDown);
    }, Qt::QueuedConnection);
}

void FileList::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    updateGrid();
    reportShown();
}

void FileList::changeEvent(QEvent *event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        updateGrid();
}

void FileList::wheelEvent(QWheelEvent *event)
{
    if (m_pictures) { // the grid scrolls down, as wheels do
        QListView::wheelEvent(event);
        return;
    }
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
    // A cell of the grid: the square, margins, one line of the name.
    const QSize cell = m_pictures ? QSize(m_box + 2 * CellDelegate::kCellMargin,
                                          m_box + 2 * CellDelegate::kCellMargin + rowHeight())
                                  : QSize(std::max(1, viewport()->width() / m_columns), rowHeight());
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
