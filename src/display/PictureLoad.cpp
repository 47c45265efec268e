#include "display/PictureLoad.h"

#include "display/FitGeometry.h"
#include "base/FileSys.h"
#include "picture/PictureLoader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cmath>

#include <sys/stat.h>
#include <unistd.h>

namespace display {

QString FileStamp(const QString &path)
{
    struct stat st {};
    if (::stat(base::EncodePath(path).constData(), &st) != 0)
        return QString();
    return QStringLiteral("%1/%2.%3").arg(qint64(st.st_size)).arg(qint64(st.st_mtim.tv_sec)).arg(qint64(st.st_mtim.tv_nsec));
}

namespace {

// A name that is not valid UTF-8 does not survive Qt's own file functions; a link with a plain
// name in a private folder reaches the file all the same. Gone again once the picture is read.
class PlainNameLink
{
public:
    explicit PlainNameLink(const QString &path)
        : m_path(path)
    {
        const QByteArray bytes = base::EncodePath(path);
        if (bytes == path.toUtf8())
            return;
        static std::atomic<int> counter{0};
        const QString folder = QDir::tempPath() + QStringLiteral("/quorvel-%1").arg(::getpid());
        QDir().mkpath(folder);
        QString suffix = QFileInfo(path).suffix();
        if (QByteArray(base::EncodePath(suffix)) != suffix.toLatin1())
            suffix.clear();
        m_link = folder + QStringLiteral("/picture-%1.").arg(counter++) + suffix;
        if (::symlink(bytes.constData(), QFile::encodeName(m_link).constData()) == 0)
            m_path = m_link;
        else
            m_link.clear();
    }
    ~PlainNameLink()
    {
        if (m_link.isEmpty())
            return;
        QFile::remove(m_link);
        QDir().rmdir(QFileInfo(m_link).path()); // only when no other link is in use
    }
    PlainNameLink(const PlainNameLink &) = delete;
    PlainNameLink &operator=(const PlainNameLink &) = delete;
    const QString &path() const { return m_path; }

private:
    QString m_path;
    QString m_link;
};

} // namespace

QSize DisplayTarget(const picture::PictureInfo &info, QSize bound, double tppx, double tppy)
{
    const QSizeF natural = info.isMetafile ? info.twips : QSizeF(info.pixels.width() * tppx, info.pixels.height() * tppy);
    const FitRect shown = FitInClient(float(natural.width() / tppx), float(natural.height() / tppy),
                                      float(bound.width()), float(bound.height()));
    return QSize(std::max(1, int(std::ceil(shown.width))), std::max(1, int(std::ceil(shown.height))));
}

namespace {

QSizeF twipsOf(const picture::PictureInfo &info, double tppx, double tppy)
{
    return info.isMetafile ? info.twips : QSizeF(info.pixels.width() * tppx, info.pixels.height() * tppy);
}

} // namespace

LoadedPicture LoadForDisplay(const QString &picture, QSize bound, double tppx, double tppy, bool metafiles)
{
    LoadedPicture out;
    out.stamp = FileStamp(picture);
    const PlainNameLink link(picture);
    // Decoded at the size the show draws it.
    const auto target = [&](const picture::PictureInfo &info) {
        out.target = DisplayTarget(info, bound, tppx, tppy);
        return out.target;
    };
    const auto proceed = [&](const picture::PictureInfo &info) { return metafiles || !info.isMetafile; };
    picture::LoadedImage loaded = picture::LoadPicture(link.path(), target, proceed);
    out.problem = loaded.problem;
    out.info = loaded.info;
    if (loaded.image.isNull())
        return out;
    out.image = std::move(loaded.image);
    out.ok = true;
    out.twips = twipsOf(loaded.info, tppx, tppy);
    return out;
}

namespace {

// The one launch decode of the run. Its screen DPI is not known before Qt is up: it decodes at
// 96 DPI and is taken only where the real DPI gives the same decode size.
struct LaunchDecode
{
    QString path;
    QSize bound;
    std::future<LoadedPicture> future;
};

LaunchDecode &launchDecode()
{
    static LaunchDecode d;
    return d;
}

} // namespace

void StartLaunchDecode(const QString &path, QSize bound)
{
    LaunchDecode &d = launchDecode();
    if (d.future.valid() || bound.isEmpty())
        return;
    d.path = path;
    d.bound = bound;
    d.future = std::async(std::launch::async, [=] { return LoadForDisplay(path, bound, 15.0, 15.0, false); });
}

bool LaunchDecodePending(const QString &path, QSize bound)
{
    const LaunchDecode &d = launchDecode();
    return d.future.valid() && d.path == path && d.bound == bound;
}

bool LaunchDecodeReady(std::chrono::milliseconds wait)
{
    const LaunchDecode &d = launchDecode();
    return !d.future.valid() || d.future.wait_for(wait) == std::future_status::ready;
}

LoadedPicture TakeLaunchDecode(const QString &path, QSize bound, double tppx, double tppy, bool &found)
{
    found = false;
    LaunchDecode &d = launchDecode();
    if (!d.future.valid())
        return {};
    LoadedPicture result = d.future.get();
    found = result.ok && d.path == path && d.bound == bound && !result.info.isMetafile
            && result.target == DisplayTarget(result.info, bound, tppx, tppy) && result.stamp == FileStamp(path);
    d.path.clear();
    if (!found)
        return {};
    result.twips = twipsOf(result.info, tppx, tppy);
    return result;
}

void EndLaunchDecode()
{
    LaunchDecode &d = launchDecode();
    if (d.future.valid())
        d.future.wait();
    d.future = {};
    d.path.clear();
}

AheadDecoder::~AheadDecoder()
{
    if (m_future.valid())
        m_future.wait();
}

void AheadDecoder::Start(const QString &path, QSize bound, double tppx, double tppy)
{
    if (path == m_path && bound == m_bound && m_future.valid())
        return;
    if (m_future.valid())
        m_future.wait(); // at most one picture ahead
    m_path = path;
    m_bound = bound;
    m_future = std::async(std::launch::async, [=] { return LoadForDisplay(path, bound, tppx, tppy); });
}

bool AheadDecoder::Ready() const
{
    return m_future.valid() && m_future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

LoadedPicture AheadDecoder::Take(const QString &path, bool &found)
{
    found = false;
    if (!m_future.valid())
        return {};
    LoadedPicture result = m_future.get();
    // A file deleted or rewritten since it was decoded is read again, so that what the show puts
    // up (or drops) is what is on disk at its turn.
    found = path == m_path && result.stamp == FileStamp(path);
    m_path.clear();
    return found ? result : LoadedPicture{};
}

} // namespace display
