#include "platform/DriveList.h"

#include "base/FileSys.h"
#include "platform/FolderList.h"

#include <QAbstractItemView>
#include <QDir>
#include <QScopeGuard>
#include <QStyle>

namespace platform {

using namespace base;

namespace {

// An onChange that keeps switching to other volumes would otherwise nest until the stack runs out.
constexpr int kMaxChangeNesting = 32;

bool listable(const QString &folder)
{
    RawFolder raw;
    return !folder.isEmpty() && ReadFolder(EncodePath(folder), raw, false);
}

} // namespace

DriveList::DriveList(QWidget *parent)
    : QComboBox(parent)
{
    // A long volume name must not widen the window's layout; the drop-down shows it in full.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(10);
    // activated comes from the user only, so choosing an entry from code never re-enters here.
    connect(this, &QComboBox::activated, this, &DriveList::userPicked);
    RefreshVolumes();
}

QString DriveList::Drive() const
{
    return CurrentFolderOfVolume(m_root);
}

QString DriveList::CurrentRoot() const
{
    return m_root;
}

bool DriveList::SetDrive(const QString &path)
{
    const QString root = rootOf(path);
    if (root.isEmpty())
        return false;
    if (root == m_root)
        return true;
    if (findData(root) < 0)
        RefreshVolumes(); // mounted since the list was read
    const QString folder = usableFolder(root);
    if (folder.isEmpty() || findData(root) < 0) {
        showChosen();
        return false;
    }
    if (folder != CurrentFolderOfVolume(root))
        RememberFolderOfVolume(folder);
    m_root = root;
    showChosen();
    runOnChange();
    return true;
}

void DriveList::FollowFolder(const QString &folder)
{
    const QString root = rootOf(folder);
    if (root.isEmpty() || root == m_root)
        return;
    m_root = root;
    if (findData(root) < 0)
        RefreshVolumes(); // mounted since the list was read; the chosen volume is there now
    showChosen();
}

void DriveList::RefreshVolumes()
{
    const QList<Volume> volumes = readVolumes();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon, nullptr, this);
    clear();
    for (const Volume &v : volumes) {
        const QString text = v.name.isEmpty() ? v.rootPath : v.rootPath + QStringLiteral("  (") + v.name + u')';
        addItem(icon, text, v.rootPath);
    }
    if (m_root.isEmpty()) {
        // Like a fresh process: the volume of the working folder.
        m_root = rootOf(QDir::currentPath());
        if (m_root.isEmpty() && count() > 0)
            m_root = itemData(0).toString();
        showChosen();
        return;
    }
    if (findData(m_root) >= 0) {
        showChosen();
        return;
    }
    // The chosen volume has gone: fall back to the first one, and let the window follow.
    m_root = count() > 0 ? itemData(0).toString() : QString();
    showChosen();
    runOnChange();
}

void DriveList::showPopup()
{
    RefreshVolumes();
    view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth()
                            + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
    QComboBox::showPopup();
}

QList<Volume> DriveList::readVolumes() const
{
    return FileSys().Volumes();
}

QString DriveList::rootOf(const QString &path) const
{
    // The listed volume with the longest root that holds the path (as FileSys::DriveOf does).
    if (path.isEmpty() || path.contains(QChar(0)) || !QDir::isAbsolutePath(path))
        return QString();
    const QString clean = WithSeparator(QDir::cleanPath(path));
    QString best;
    for (const Volume &v : readVolumes()) {
        if (clean.startsWith(WithSeparator(v.rootPath)) && v.rootPath.size() > best.size())
            best = v.rootPath;
    }
    return best;
}

QString DriveList::usableFolder(const QString &root) const
{
    // The volume's current folder; when that has been removed meanwhile, the nearest folder
    // above it, so that a deleted folder does not lock the user out of the whole volume. A
    // volume whose root cannot be listed (not ready) has none.
    const QString rootWithSeparator = WithSeparator(root);
    QString folder = CurrentFolderOfVolume(root);
    while (folder != root && WithSeparator(folder).startsWith(rootWithSeparator)) {
        if (listable(folder))
            return folder;
        const QString up = QDir::cleanPath(folder + QStringLiteral("/.."));
        if (up == folder)
            break;
        folder = up;
    }
    return listable(root) ? root : QString();
}

void DriveList::userPicked(int row)
{
    if (!SetDrive(itemData(row).toString()))
        showChosen(); // refused: back to the previous entry
}

void DriveList::showChosen()
{
    const int row = findData(m_root);
    if (row >= 0 && row != currentIndex())
        setCurrentIndex(row);
}

void DriveList::runOnChange()
{
    if (!onChange || m_changeDepth >= kMaxChangeNesting)
        return;
    ++m_changeDepth;
    const auto restore = qScopeGuard([this] { --m_changeDepth; });
    const std::function<void()> handler = onChange; // the handler may replace onChange
    handler();
}

} // namespace platform
