#include "app/PlaceholderWindow.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    const QString text = args.join(QLatin1Char(' '));
    if (text == QLatin1String("--help") || text == QLatin1String("-h")) {
        QTextStream(stdout) << "Usage: quorvel [FOLDER]\n"
                               "Browse the pictures of FOLDER (default: the last folder) and show them full screen.\n";
        return 0;
    }
    if (text == QLatin1String("--version")) {
        QTextStream(stdout) << "Quorvel 1.0.24\n";
        return 0;
    }
    basSlides::InitSharedState();
    QString start = text.isEmpty() ? settings::Get(settings::kPathName, QCoreApplication::applicationDirPath())
                                   : (QDir::isAbsolutePath(text) ? text : QDir::current().absoluteFilePath(text));
    basSlides::CurrentPath = platform::WithSeparator(start);
    PlaceholderWindow window(basSlides::CurrentPath);
    window.show();
    return app.exec();
}
