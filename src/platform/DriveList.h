#pragma once

#include <QComboBox>

#include <functional>

namespace base {
struct Volume;
}

namespace platform {



// The drive list: one entry per volume (FileSys::Volumes), showing the root path and the
// volume's name. Its Drive is the chosen volume's current folder: the last folder the folder list
// showed on that volume during this run (FolderList records it), else the volume's root; that is
// the text the folder list takes as a path.
class DriveList : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveList(QWidget *parent = nullptr);

    QString Drive() const;
    // Chooses the volume that holds `path` (a root, or any absolute path on it). When that is a
    // different volume, onChange runs before this returns. A volume whose current folder cannot
    // be listed (not ready) is refused: the previous drive stays and false is returned.
    bool SetDrive(const QString &path);
    QString CurrentRoot() const;
    // Shows the volume that holds `folder`, the folder list's new folder, without running
    // onChange: a folder list that walks into a mount point must not leave the old volume named
    // here (choosing that one again would then do nothing).
    void FollowFolder(const QString &folder);

    // drvFiles_Change; also runs when the user picks an entry.
    std::function<void()> onChange;

    // Re-reads the volumes (keeps the chosen one when it is still there).
    void RefreshVolumes();

    // Re-reads the volumes first, so that a volume mounted meanwhile can be picked.
    void showPopup() override;

protected:
    // The volumes to offer (FileSys::Volumes); a test may offer its own.
    virtual QList<base::Volume> readVolumes() const;

private:
    QString rootOf(const QString &path) const;
    QString usableFolder(const QString &root) const;
    void userPicked(int row);
    void showChosen();
    void runOnChange();

    QString m_root;
    int m_changeDepth = 0;
};

} // namespace platform
