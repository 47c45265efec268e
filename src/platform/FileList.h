#pragma once

#include <QListView>
#include <QStringList>

#include <functional>

namespace platform {

class FileListModel;

// The file list: bare file names kept in order without regard to letter case, laid out in
// columns: entries flow top to bottom, then into the next column; each column is the list's
// width divided by the column count; the list scrolls sideways. Every row has the same size, so
// 100,000 entries lay out at once.
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
    int rowHeight() const;
    void selectionChangedByUser(const QItemSelection &selected);
    void runOnClick();
    FileListModel *m_model = nullptr;
    int m_columns = 1;
    QString m_tag;
    bool m_settingIndex = false;
    int m_clickDepth = 0;
};

} // namespace platform
