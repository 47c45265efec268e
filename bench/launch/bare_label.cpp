// The floor of a Qt program that shows a picture: a QLabel with the picture, its window titled
// with the picture's path.

#include <QApplication>
#include <QLabel>
#include <QPixmap>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    QLabel label;
    label.setWindowTitle(path);
    label.setAlignment(Qt::AlignCenter);
    label.setPixmap(QPixmap(path));
    label.show();
    return QApplication::exec();
}
