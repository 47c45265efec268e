#include "display/frmSlide.h"

#include "browser/frmFiles.h"
#include "display/FitPicture.h"
#include "forms/Designs.h"
#include "platform/Keys.h"
#include "platform/Screen.h"

#include <QKeyEvent>

#include <cmath>

frmSlide::frmSlide()
    : platform::FormBase(this)
{
    namespace design = forms::SlideDesign;
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, design::Background);
    setPalette(p);
    imgSlide = new platform::StretchImage(this);
    imgSlide->hide();
    const auto px = [](const forms::DesignRect &r) { return platform::ToPixelRect(r.left, r.top, r.width, r.height); };
    imgSlide->setGeometry(px(forms::SlideDesign::imgSlide));
    setGeometry(px(design::Client));
    // Made now rather than at the first show, so that the frame counts in the first fit too.
    winId();
}

void frmSlide::Form_Load()
{
    setWindowState(Qt::WindowNoState);
}

void frmSlide::ChangePicture(const QString &PictureName)
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        setWindowState(Qt::WindowNoState);
    float left, top, width, height;
    if (display::FitPicture(PictureName, picSlide, *imgSlide, *this, left, top, width, height)) {
        const double tppx = platform::TwipsPerPixelX(), tppy = platform::TwipsPerPixelY();
        const QSize frame = frameGeometry().size() - geometry().size();
        move(int(std::lround(left / tppx)), int(std::lround(top / tppy)));
        resize(std::max(1, int(std::lround(width / tppx)) - frame.width()),
               std::max(1, int(std::lround(height / tppy)) - frame.height()));
        Form_Resize();
    } else {
        // Never the previous picture under the new name: the black background alone.
        picSlide = display::PictureBox();
        imgSlide->hide();
        imgSlide->SetPicture(QImage());
    }
    setWindowTitle(PictureName);
    show();
    if (frmFiles *browser = platform::SharedForm<frmFiles>::IfLoaded())
        browser->activateWindow();
}

void frmSlide::Form_Resize()
{
    if (picSlide.Picture.isNull())
        return;
    display::PlacePicture(picSlide, *imgSlide, *this);
}

void frmSlide::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmSlide::keyPressEvent(QKeyEvent *event)
{
    Form_KeyDown(platform::KeyCodeOf(event), platform::ShiftOf(event));
}

void frmSlide::Form_KeyDown(int KeyCode, int Shift)
{
    if (KeyCode == platform::vbKeyEscape) {
        Unload();
        return;
    }
    if (frmFiles *browser = platform::SharedForm<frmFiles>::IfLoaded())
        browser->Form_KeyDown(KeyCode, Shift);
    activateWindow();
}
