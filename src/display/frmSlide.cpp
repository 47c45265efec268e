#include "display/frmSlide.h"

#include "browser/frmFiles.h"
#include "display/FitPicture.h"
#include "forms/Designs.h"
#include "platform/DisplayProfile.h"
#include "platform/Keys.h"
#include "platform/FrameExtents.h"
#include "platform/Screen.h"

#include <QKeyEvent>

#include <cmath>

frmSlide::frmSlide()
    : platform::FormBase(this)
{
    namespace design = forms::SlideDesign;
    // The viewer belongs to the browser (a transient window of it): the window manager keeps it
    // above the browser while the browser has the keys. It stays an ordinary window of its own.
    frmFiles *browser = platform::SharedForm<frmFiles>::IfLoaded();
    if (browser)
        setParent(browser, Qt::Window);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, design::Background);
    setPalette(p);
    imgSlide = new platform::StretchImage(this);
    imgSlide->hide();
    const auto px = [](const forms::DesignRect &r) { return platform::ToPixelRect(r.left, r.top, r.width, r.height); };
    imgSlide->setGeometry(px(forms::SlideDesign::imgSlide));
    lblCannot = new QLabel(this);
    lblCannot->setAlignment(Qt::AlignCenter);
    QPalette text = lblCannot->palette();
    text.setColor(QPalette::WindowText, Qt::white); // on the black background
    lblCannot->setPalette(text);
    lblCannot->hide();
    // Opens on the browser's monitor (where it will open, when the viewer comes first), at its
    // design place there.
    const platform::Monitor monitor = browser ? platform::MonitorOf(*browser) : frmFiles::StoredMonitor();
    setGeometry(px(design::Client).translated(monitor.pixels.topLeft()));
    // Made now rather than at the first show, so that the window manager can tell its frame
    // before the first fit.
    winId();
    // A new display profile: the picture again, in its colours, where it is.
    connect(&platform::DisplayProfiles::Watch(), &platform::DisplayProfiles::changed, this, [this] {
        if (isVisible() && display::RedecodeColours(m_shown, picSlide, *this))
            Form_Resize();
    });
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
    picture::PictureProblem problem = picture::PictureProblem::None;
    m_shown.clear();
    if (display::FitPicture(PictureName, picSlide, *imgSlide, *this, left, top, width, height, &problem)) {
        m_shown = PictureName;
        lblCannot->hide();
        const platform::Monitor monitor = platform::MonitorOf(*this); // the one the fit used
        const double tppx = monitor.tppx, tppy = monitor.tppy;
        // The client inside the fitted outer rectangle, placed by its own corner: that holds
        // whether or not Qt knows the frame yet.
        const QMargins frame = platform::FrameMargins(*this);
        QRect client = QRect(int(std::lround(left / tppx)), int(std::lround(top / tppy)), int(std::lround(width / tppx)),
                             int(std::lround(height / tppy)))
                           .marginsRemoved(frame);
        client.setSize(client.size().expandedTo(QSize(1, 1)));
        setGeometry(client);
        Form_Resize();
    } else {
        // Never the previous picture under the new name: the black background alone.
        picSlide = display::PictureBox();
        imgSlide->hide();
        imgSlide->SetPicture(QImage());
        lblCannot->setText(display::CannotShowText(problem));
        lblCannot->setGeometry(rect());
        lblCannot->show();
    }
    setWindowTitle(PictureName);
    show();
    if (frmFiles *browser = platform::SharedForm<frmFiles>::IfLoaded()) {
        platform::SetTransientFor(*this, *browser);
        browser->activateWindow();
    }
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
    lblCannot->setGeometry(rect());
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
