#include "display/PictureLoad.h"

#include "display/FitGeometry.h"
#include "platform/picture/PictureLoader.h"

#include <QDateTime>
#include <QFileInfo>

#include <cmath>

namespace display {

QString FileStamp(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QStringLiteral("%1/%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

LoadedPicture LoadForDisplay(const QString &path, QSize bound, double tppx, double tppy)
{
    LoadedPicture out;
    out.stamp = FileStamp(path);
    const std::optional<platform::PictureInfo> info = platform::ReadPictureInfo(path);
    if (!info)
        return out;
    const QSizeF natural = info->isMetafile ? info->twips : QSizeF(info->pixels.width() * tppx, info->pixels.height() * tppy);
    // Decoded at the size the show draws it: fitted into the screen, kept sharp, never wasted.
    const FitRect shown = FitInClient(float(natural.width() / tppx), float(natural.height() / tppy),
                                      float(bound.width()), float(bound.height()));
    const QSize target(std::max(1, int(std::ceil(shown.width))), std::max(1, int(std::ceil(shown.height))));
    out.image = platform::DecodePicture(path, target);
    if (out.image.isNull())
        return out;
    out.ok = true;
    out.twips = natural;
    return out;
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
