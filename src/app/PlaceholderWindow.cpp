#include "app/PlaceholderWindow.h"

#include "app/basSlides.h"
#include "collection/PictureScan.h"

#include <algorithm>

PlaceholderWindow::PlaceholderWindow(const QString &folder, QWidget *parent)
    : QListWidget(parent)
{
    setWindowTitle(QStringLiteral("Quorvel"));
    QStringList names = basSlides::FileSys().GetFolder(folder).Files();
    names.erase(std::remove_if(names.begin(), names.end(), [](const QString &n) { return !IsPictureName(n); }),
                names.end());
    names.sort(Qt::CaseInsensitive);
    addItems(names);
    resize(480, 360);
}
