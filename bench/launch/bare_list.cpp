// The floor of a Qt program that lists a folder: a window with a multi-column list of the
// folder's file names, titled with the folder's path.

#include <QApplication>
#include <QDir>
#include <QListWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    QListWidget list;
    list.setWindowTitle(path);
    list.setFlow(QListView::TopToBottom);
    list.setWrapping(true);
    list.setResizeMode(QListView::Adjust);
    list.setUniformItemSizes(true);
    list.addItems(QDir(path).entryList(QDir::Files, QDir::Name));
    list.resize(400, 230); // about the browser's first window
    list.show();
    return QApplication::exec();
}
