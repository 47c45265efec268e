// Feeds arbitrary bytes through the program's picture loading, as a file of each kind.
// The first byte picks the extension; the rest is the file.

#include "platform/picture/PictureLoader.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace {

QString scratchFile(uint8_t kind)
{
    static const char *const extensions[] = {".bmp", ".jpg", ".jpeg", ".gif", ".ico", ".cur", ".wmf"};
    static const QString dir = QDir::tempPath() + QStringLiteral("/quorvel-fuzz-%1").arg(::getpid());
    QDir().mkpath(dir);
    return dir + "/input" + QString::fromLatin1(extensions[kind % 7]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qt.gui.imageio*=false"); // a complaint per input only slows it down
    static QGuiApplication app(*argc, *argv); // text in metafiles needs fonts
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QString path = scratchFile(data[0]);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    f.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
    f.close();
    // A small target keeps each run short; the size rules are the same at any target.
    platform::ReadPictureInfo(path);
    platform::DecodePicture(path, QSize(256, 192));
    return 0;
}
