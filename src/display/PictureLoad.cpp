#include "display/PictureLoad.h"

#include "display/FitGeometry.h"
#include "platform/picture/PictureLoader.h"

#include <cmath>

namespace display {

LoadedPicture LoadForDisplay(const QString &path, QSize bound, double tppx, double tppy)
{
    LoadedPicture out;
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

LoadedPicture AheadDecoder::Take(const QString &path, bool &found)
{
    found = false;
    if (!m_future.valid())
        return {};
    LoadedPicture result = m_future.get();
    found = path == m_path;
    m_path.clear();
    return found ? result : LoadedPicture{};
}

} // namespace display
