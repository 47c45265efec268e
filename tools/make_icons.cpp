// Writes the program's icon as a freedesktop icon theme tree into the folder given on the
// command line: hicolor/NxN/apps/quorvel.png for each size and hicolor/scalable/apps/quorvel.svg.
// The renditions are the ones the program shows, so the desktop and the window agree.

#include "forms/ProgramIcon.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

namespace {

void printError(const QString &message)
{
    std::fprintf(stderr, "make_icons: %s\n", qPrintable(message));
}

// QSaveFile writes beside the target and renames over it: a failed run leaves no half icon.
bool writeFile(const QString &path, const QByteArray &bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        printError(QStringLiteral("cannot make the folder of %1").arg(QDir::toNativeSeparators(path)));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        printError(QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

bool writePng(const QString &path, const QImage &image)
{
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (image.isNull() || !image.save(&buffer, "PNG")) {
            printError(QStringLiteral("cannot encode %1").arg(QDir::toNativeSeparators(path)));
            return false;
        }
    }
    return writeFile(path, bytes);
}

const char usage[] = "Usage: make_icons FOLDER\n"
                     "Writes the program icon into FOLDER/hicolor/{16x16,...,256x256,scalable}/apps/.\n";

} // namespace

int main(int argc, char *argv[])
{
    // Builds run without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments().mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (args.size() != 1 || args.first().isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fputs(usage, stderr);
        return 2;
    }

    const QDir root(QDir::cleanPath(QDir::current().absoluteFilePath(args.first())) + QStringLiteral("/hicolor"));
    bool ok = true;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        ok = writePng(root.filePath(QStringLiteral("%1x%1/apps/quorvel.png").arg(size)), forms::ProgramIconImage(size)) && ok;
    }
    ok = writeFile(root.filePath(QStringLiteral("scalable/apps/quorvel.svg")), forms::ProgramIconSvg()) && ok;
    return ok ? 0 : 1;
}
