#include "picture/Requests.h"

#include "base/FileSys.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <optional>
#include <vector>

#include <sys/stat.h>

namespace picture {

namespace {

// Decodes run here, each on a thread of its own, so that a decode ahead never waits behind the
// one the user is waiting for. The budget keeps what they hold together bounded.
QThreadPool &decodeThreads()
{
    static QThreadPool pool;
    static const bool sized = [] {
        pool.setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
        return true;
    }();
    Q_UNUSED(sized);
    return pool;
}

struct Ahead
{
    Request request;
    QFuture<ShownPicture> future;
};

QMutex &aheadLock()
{
    static QMutex lock;
    return lock;
}

std::deque<Ahead> &aheads()
{
    static std::deque<Ahead> list;
    return list;
}

// The same pixels: a raster picture decodes at the same size whatever the screen's DPI (only its
// natural size in twips follows it); a metafile is checked when it is taken. The colours are
// those of one display profile.
bool sameDecode(const Request &a, const Request &b)
{
    return a.path == b.path && a.bound == b.bound && a.displayProfile == b.displayProfile;
}

QSizeF twipsOf(const PictureInfo &info, double tppx, double tppy)
{
    return info.isMetafile ? info.twips : QSizeF(info.pixels.width() * tppx, info.pixels.height() * tppy);
}

std::atomic<int> g_decodesRun{0};

QFuture<ShownPicture> start(const Request &request)
{
    return QtConcurrent::run(&decodeThreads(), [request] { return LoadShown(request); });
}

} // namespace

QString FileStamp(const QString &path)
{
    struct stat st {};
    if (::stat(base::EncodePath(path).constData(), &st) != 0)
        return QString();
    return QStringLiteral("%1/%2.%3").arg(qint64(st.st_size)).arg(qint64(st.st_mtim.tv_sec)).arg(qint64(st.st_mtim.tv_nsec));
}

QSize ShownSize(const PictureInfo &info, QSize bound, double tppx, double tppy)
{
    // In single precision, as the windows fit pictures.
    const QSizeF natural = twipsOf(info, tppx, tppy);
    float w = float(natural.width() / tppx), h = float(natural.height() / tppy);
    if (!(w > 0) || !(h > 0))
        w = h = 1;
    const float bw = float(bound.width()), bh = float(bound.height());
    float sw = bw, sh = bw * h / w;
    if (sh > bh) {
        sh = bh;
        sw = bh * w / h;
    }
    return QSize(std::max(1, int(std::ceil(sw))), std::max(1, int(std::ceil(sh))));
}

ShownPicture LoadShown(const Request &request)
{
    ++g_decodesRun;
    ShownPicture out;
    out.stamp = FileStamp(request.path);
    const auto target = [&](const PictureInfo &info) { return ShownSize(info, request.bound, request.tppx, request.tppy); };
    const auto proceed = [&](const PictureInfo &info) { return request.metafiles || !info.isMetafile; };
    LoadedImage loaded = LoadPicture(request.path, target, proceed, request.displayProfile);
    out.problem = loaded.problem;
    out.info = loaded.info;
    out.colourNote = loaded.colourNote;
    if (!out.colourNote.isEmpty())
        qInfo("%s: %s", qUtf8Printable(request.path), qUtf8Printable(out.colourNote));
    if (loaded.image.isNull())
        return out;
    out.image = std::move(loaded.image);
    out.ok = true;
    out.twips = twipsOf(loaded.info, request.tppx, request.tppy);
    return out;
}

QFuture<ShownPicture> Decode(const Request &request)
{
    std::optional<Ahead> ahead;
    {
        const QMutexLocker lock(&aheadLock());
        std::deque<Ahead> &list = aheads();
        const auto it = std::find_if(list.begin(), list.end(), [&](const Ahead &a) { return sameDecode(a.request, request); });
        if (it != list.end()) {
            ahead = std::move(*it);
            list.erase(it);
        }
        // One made for another box is never taken now that this file is asked for: its pixels
        // would only sit in memory until pushed out.
        list.erase(std::remove_if(list.begin(), list.end(), [&](const Ahead &a) { return a.request.path == request.path; }),
                   list.end());
    }
    if (!ahead)
        return start(request);
    // A file deleted or rewritten since it was read is read again, so that what is shown (or
    // dropped) is what is on disk now. A metafile is drawn for its own screen.
    const auto settle = [request, made = ahead->request](ShownPicture picture) -> std::optional<ShownPicture> {
        const bool metafile = picture.info.isMetafile;
        if (picture.stamp != FileStamp(request.path)
            || (metafile && (!picture.ok || made.tppx != request.tppx || made.tppy != request.tppy)))
            return std::nullopt;
        if (picture.ok && !metafile)
            picture.twips = twipsOf(picture.info, request.tppx, request.tppy);
        return picture;
    };
    if (ahead->future.isFinished()) { // the usual case: no thread is needed to hand it over
        if (std::optional<ShownPicture> ready = settle(ahead->future.result()))
            return QtFuture::makeReadyFuture(std::move(*ready));
        return start(request);
    }
    return ahead->future.then(&decodeThreads(), [request, settle](const ShownPicture &picture) {
        std::optional<ShownPicture> ready = settle(picture);
        return ready ? std::move(*ready) : LoadShown(request);
    });
}

void DecodeAhead(const Request &request)
{
    const QMutexLocker lock(&aheadLock());
    std::deque<Ahead> &list = aheads();
    if (std::any_of(list.begin(), list.end(), [&](const Ahead &a) { return sameDecode(a.request, request); }))
        return;
    list.push_back({request, start(request)});
    while (list.size() > size_t(kKeptAhead))
        list.pop_front();
}

QStringList DecodingAhead()
{
    const QMutexLocker lock(&aheadLock());
    QStringList paths;
    for (const Ahead &a : aheads())
        paths.append(a.request.path);
    return paths;
}

int DecodesRun()
{
    return g_decodesRun.load();
}

void WaitForDecodesAhead()
{
    std::vector<QFuture<ShownPicture>> pending;
    {
        const QMutexLocker lock(&aheadLock());
        for (const Ahead &a : aheads())
            pending.push_back(a.future);
    }
    for (QFuture<ShownPicture> &f : pending)
        f.waitForFinished();
}

void FinishDecodes()
{
    {
        const QMutexLocker lock(&aheadLock());
        aheads().clear();
    }
    decodeThreads().waitForDone();
}

} // namespace picture
