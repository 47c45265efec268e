#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace platform {

// The image control: draws its picture stretched to its own size, smoothly. The scaled copy is
// made once per picture and size, not on every paint.
class StretchImage : public QWidget
{
    Q_OBJECT
public:
    explicit StretchImage(QWidget *parent = nullptr);

    void SetPicture(const QImage &picture);
    const QImage &Picture() const { return m_picture; }
    QString Tag;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QImage m_picture;
    QPixmap m_scaled;
};

} // namespace platform
