#pragma once

#include <QListView>

#include <functional>

class QStandardItemModel;

namespace platform {

// The folder list: the chain from "/" down to the open folder, then the open folder's subfolders
// (names starting with "." left out, case-insensitive name order), each row one folder, indented
// by its depth, with a folder icon (an open one for the chain). Every row has the same height:
// the font's height plus 2 pixels, so that row = Y / row height from the top of the viewport.
//
// Entries are indexed relative to the open folder: -1 the open folder, -2 its parent, ... up to
// the root; 0, 1, ... its subfolders. List(i) is that folder's full path, "" outside the entries.
class FolderList : public QListView
{
    Q_OBJECT
public:
    explicit FolderList(QWidget *parent = nullptr);

    // The open folder, without a trailing separator except at the root ("/").
    QString Path() const;
    // Opens `path` (made absolute and clean; a trailing separator is dropped). When the path
    // differs from the open one, onChange runs before this returns. A folder that does not exist
    // or cannot be listed is refused: the previous folder stays and false is returned.
    // Records the folder as its volume's current folder for the drive list.
    bool SetPath(const QString &path);

    QString List(int index) const;
    int ListCount() const;  // number of subfolders (entries 0..ListCount-1)
    int ListIndex() const;  // the highlighted entry (-1 = the open folder)
    int TopIndex() const;   // rows scrolled out above the top row
    void SetTopIndex(int rows);
    int RowHeightPixels() const;
    // The entry under a point `yPixels` below the viewport's top (as onMouseDown reports it):
    // floor(y / RowHeightPixels()) + TopIndex() is a row, and rows count from the root, so this
    // is that row minus the number of folders in the chain. Below the last row (or above the
    // first) it is ListCount(), whose List() is "".
    int IndexAt(double yPixels) const;
    void Refresh();         // re-reads the open folder's subfolders

    // dirFiles_Change: runs inside SetPath when the path changes (also on double-click or Enter).
    std::function<void()> onChange;
    // dirFiles_MouseDown(Button, Shift, X, Y): any press on the viewport, before the list reacts.
    // X and Y in pixels from the viewport's top-left; Button 1 left, 2 right, 4 middle; Shift 1,2,4.
    std::function<void(int button, int shift, double xPixels, double yPixels)> onMouseDown;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;

private:
    void open(const QString &path, const QStringList &subFolderNames);
    void rebuildRows(const QStringList &subFolderNames);
    void showOpenFolder();
    void fitOpenFolder();
    int indentPixels() const;
    int chainCount() const { return int(m_chain.size()); }
    int rowOfIndex(int index) const { return index + chainCount(); }
    void runOnChange();

    class RowDelegate;
    QStandardItemModel *m_model = nullptr;
    RowDelegate *m_delegate = nullptr;
    QString m_path;
    QStringList m_chain;        // "/" down to the open folder
    QStringList m_subFolders;   // full paths, in list order
    int m_contentWidth = 0;     // the widest row's needs, in pixels
    quint64 m_generation = 0;   // counts row rebuilds, to notice them across a callback
    bool m_pressChangedRows = false;
    bool m_fitPending = false;  // scroll to the open folder once the list is shown
    int m_changeDepth = 0;
};

// The last folder shown on each volume during this run (like a per-drive current folder).
QString CurrentFolderOfVolume(const QString &volumeRoot);
void RememberFolderOfVolume(const QString &folder);

} // namespace platform
