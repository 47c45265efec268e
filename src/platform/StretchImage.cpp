#include "platform/StretchImage.h"

#include <QPainter>

namespace platform {

StretchImage::StretchImage(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void StretchImage::SetPicture(const QImage &picture)
{
    m_picture = picture;
    m_scaled = QPixmap();
    update();
}

void StretchImage::resizeEvent(QResizeEvent *)
{
    m_scaled = QPixmap();
}

void StretchImage::paintEvent(QPaintEvent *)
{
    if (m_picture.isNull() || width() <= 0 || height() <= 0)
        return;
    const QSize target = size() * devicePixelRatioF();
    if (m_scaled.isNull() || m_scaled.size() != target) {
        m_scaled = QPixmap::fromImage(m_picture.size() == target
                                          ? m_picture
                                          : m_picture.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaled.setDevicePixelRatio(devicePixelRatioF());
    }
    QPainter(this).drawPixmap(0, 0, m_scaled);
}

} // namespace platform
