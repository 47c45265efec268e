#include "app/CommandLine.h"

#include <QDir>

namespace app {

namespace {

const char kUsage[] = "Usage: quorvel [FOLDER | PICTURE]\n";

} // namespace

QByteArray ArgumentText(int argc, const char *const argv[])
{
    QByteArray text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            text += ' ';
        text += argv[i];
    }
    return text;
}

OptionAnswer AnswerOption(const QByteArray &text, const std::function<bool(const QByteArray &)> &pathExists)
{
    OptionAnswer answer;
    if (text == "--help" || text == "-h") {
        answer.exitStatus = 0;
        answer.out = QByteArray(kUsage)
                     + "Browse the pictures of FOLDER (default: the folder of the last run, else your Pictures\n"
                       "folder, else your home folder) and show them full screen; a PICTURE opens its folder\n"
                       "and shows it. Options: --help, --version.\n";
    } else if (text == "--version") {
        answer.exitStatus = 0;
        answer.out = "Quorvel " QUORVEL_VERSION "\n";
    } else if (text.startsWith('-') && !pathExists(text)) {
        // One line whatever the text holds: a control character would break it or drive the terminal.
        QByteArray shown = text;
        for (char &c : shown) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = '?';
        }
        answer.exitStatus = 2;
        answer.err = "quorvel: unknown option: " + shown + '\n' + kUsage;
    }
    return answer;
}

QString ArgumentPath(const QString &text, const QString &workingFolder)
{
    const QString absolute = QDir::isAbsolutePath(text) ? text : workingFolder + QLatin1Char('/') + text;
    QString clean = QDir::cleanPath(absolute);
    // Above the root is the root, as the kernel has it; cleanPath keeps the "..".
    while (clean.startsWith(QLatin1String("/..")) && (clean.size() == 3 || clean.at(3) == QLatin1Char('/')))
        clean.remove(0, 3);
    return clean.isEmpty() ? QStringLiteral("/") : clean;
}

QString DefaultStartFolder(const QString &pictures, const QString &home,
                           const std::function<bool(const QString &)> &folderExists)
{
    return !pictures.isEmpty() && folderExists(pictures) ? pictures : home;
}

} // namespace app
