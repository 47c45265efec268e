#include "app/Main.h"
#include "platform/SharedForm.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvel"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.24"));
    QStringList args = QApplication::arguments();
    args.removeFirst();
    // The whole text is the folder; only a text that is nothing but an option is one.
    const QString text = args.join(QLatin1Char(' '));
    if (text == QLatin1String("--help") || text == QLatin1String("-h")) {
        QTextStream(stdout) << "Usage: quorvel [FOLDER]\n"
                               "Browse the pictures of FOLDER (default: the folder of the last run) and show\n"
                               "them full screen. Options: --help, --version.\n";
        return 0;
    }
    if (text == QLatin1String("--version")) {
        QTextStream(stdout) << "Quorvel 1.0.24\n";
        return 0;
    }
    // The run ends when no window of the program is loaded any more.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::FormBase::SetEndRunWhenNoWindow(true);
    basSlides::Main(text);
    return QApplication::exec();
}
