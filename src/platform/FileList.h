#pragma once

#include <QImage>
#include <QListView>
#include <QStringList>

#include <functional>

namespace platform {

class FileListModel;

// What the cells of the thumbnail grid show above their names: the program supplies it.
class CellPictures
{
public:
    virtual ~CellPictures() = default;
    enum class Kind { Waiting, Picture, Cannot, NotAPicture };
    // Row `row`'s picture, called while painting: `image` is set for Kind::Picture.
    virtual Kind Cell(int row, QImage &image) = 0;
    // The entries changed (a new folder, a delete...): `count` rows now.
    virtual void FilesChanged(int count) = 0;
    // Rows first..last are on screen; `down` when the user last scrolled towards the end.
    virtual void Shown(int first, int last, bool down) = 0;
};

// The file list: bare file names kept in order without regard to letter case, laid out in
// columns: entries flow top to bottom, then into the next column; each column is the list's
// width divided by the column count; the list scrolls sideways. Every row has the same size, so
// 100,000 entries lay out at once. As a grid of thumbnails the same entries flow left to right
// in equal cells, a picture above each name, and the list scrolls down.
class FileList : public QListView
{
    Q_OBJECT
public:
    explicit FileList(QWidget *parent = nullptr);
    ~FileList() override;

    void Clear();
    void AddItem(const QString &name);          // one entry, into its sorted place
    void SetItems(QStringList names);           // replaces all entries in one batch (sorted once)
    void RemoveItem(int index);
    QString List(int index) const;              // "" outside the entries
    int ListCount() const;

    int ListIndex() const;                      // -1 when nothing is selected
    // Selects an entry (and scrolls to it); onClick runs before this returns, as a user's click
    // would. -1 (or any index outside the entries) clears the selection and runs nothing.
    void SetListIndex(int index);

    int Columns() const { return m_columns; }
    void SetColumns(int columns);               // at least 1

    // A grid of thumbnails (`pictures` paints them, each `box` logical pixels square) instead
    // of the columns of names; null brings the names back. The entries, the selection and the
    // keys stay as they are.
    void SetThumbnails(CellPictures *pictures, int box = 128);
    bool Thumbnails() const { return m_pictures != nullptr; }
    // Repaints row `row`'s cell (its picture came).
    void UpdateCell(int row);

    QString Tag() const { return m_tag; }
    void SetTag(const QString &tag) { m_tag = tag; }

    // lstFiles_Click: runs when the selection is set to an entry, by the user (mouse or keys)
    // or by SetListIndex.
    std::function<void()> onClick;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    void updateGrid();
    void filesChanged();
    void reportShown();
    void traceShown(bool filled);
    void scrollContentsBy(int dx, int dy) override;
    int rowHeight() const;
    void selectionChangedByUser(const QItemSelection &selected);
    void runOnClick();
    FileListModel *m_model = nullptr;
    int m_columns = 1;
    QString m_tag;
    bool m_settingIndex = false;
    int m_clickDepth = 0;
    CellPictures *m_pictures = nullptr;
    int m_box = 128;
    int m_lastScroll = 0;
    bool m_scrolledDown = true;
    bool m_shownPending = false;
};

} // namespace platform
