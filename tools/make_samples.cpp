// Writes the sample pictures a new user browses first, into the folder given on the command
// line. Same bytes on every run: no clock, fixed seeds, no text (so no fonts needed).

#include "SampleSet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

void printError(const QString &message)
{
    std::fprintf(stderr, "make_samples: %s\n", qPrintable(message));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    // Written beside the target and renamed over it, so a failed run never leaves a
    // half-written picture. No fsync: the samples can always be made again.
    const QFileInfo target(path);
    const QString part = target.dir().filePath(QLatin1Char('.') + target.fileName() + QStringLiteral(".part"));
    QFile file(part);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    QString error = file.errorString();
    file.close();
    ok = ok && file.error() == QFileDevice::NoError;
    if (ok) {
        std::error_code ec;
        std::filesystem::rename(part.toStdU16String(), path.toStdU16String(), ec);
        ok = !ec;
        if (ec)
            error = QString::fromStdString(ec.message());
    }
    if (!ok) {
        QFile::remove(part);
        printError(QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), error));
    }
    return ok;
}

const char usage[] =
    "Usage: make_samples [--force] FOLDER\n"
    "Writes the sample pictures into FOLDER, creating it if needed.\n"
    "A folder that already holds other files is refused unless it was written by\n"
    "make_samples before, or --force is given; only the sample files are replaced.\n";

} // namespace

int main(int argc, char *argv[])
{
    // Builds run without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QStringList args = app.arguments().mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(usage, stdout);
        return 0;
    }
    const bool force = args.removeAll(QStringLiteral("--force")) > 0;
    if (args.size() != 1 || args.first().isEmpty() || args.first().startsWith(QLatin1Char('-'))) {
        std::fputs(usage, stderr);
        return 2;
    }

    const QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(args.first()));
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
        printError(QStringLiteral("%1 exists and is not a folder").arg(QDir::toNativeSeparators(folder)));
        return 2;
    }
    QDir dir(folder);
    if (info.exists()) {
        const bool empty = dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        if (!empty && !dir.exists(SampleSet::markerName()) && !force) {
            // Someone's own folder: writing "Sunset.JPG" there could replace their picture.
            printError(QStringLiteral("%1 already holds files that make_samples did not write; "
                                      "choose an empty or new folder, or pass --force")
                           .arg(QDir::toNativeSeparators(folder)));
            return 2;
        }
    } else if (!QDir().mkpath(folder)) {
        printError(QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(folder)));
        return 1;
    }

    if (!writeFile(dir.filePath(SampleSet::markerName()),
                   "Written by make_samples. Running it again replaces the sample files in this folder.\n")) {
        return 1;
    }

    QElapsedTimer timer;
    timer.start();
    int written = 0;
    int failed = 0;
    for (const SampleSet::Entry &entry : SampleSet::entries()) {
        const QString path = dir.filePath(entry.path);
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
            printError(QStringLiteral("cannot create the folder for %1").arg(entry.path));
            ++failed;
            continue;
        }
        const QByteArray bytes = entry.bytes();
        if (bytes.isEmpty()) {
            printError(QStringLiteral("could not encode %1").arg(entry.path));
            ++failed;
            continue;
        }
        if (writeFile(path, bytes))
            ++written;
        else
            ++failed;
    }
    std::printf("make_samples: wrote %d files to %s in %lld ms\n", written, qPrintable(QDir::toNativeSeparators(folder)),
                static_cast<long long>(timer.elapsed()));
    return failed == 0 ? 0 : 1;
}
