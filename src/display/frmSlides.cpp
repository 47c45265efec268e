#include "display/frmSlides.h"

#include "app/Main.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"
#include "dialogs/KeyHelp.h"
#include "display/FitPicture.h"
#include "picture/Requests.h"
#include "display/ShowSequence.h"
#include "forms/Designs.h"
#include "forms/Pointers.h"
#include "forms/ProgramIcon.h"
#include "platform/DisplayProfile.h"
#include "platform/Keys.h"
#include "platform/Screen.h"

#include <QCoreApplication>

#include <cmath>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

namespace {

qint64 monotonicMs()
{
    static QElapsedTimer since;
    if (!since.isValid())
        since.start();
    return since.elapsed();
}

} // namespace

frmSlides::frmSlides()
    : platform::FormBase(this)
{
    namespace design = forms::SlidesDesign;
    setWindowFlag(Qt::FramelessWindowHint);
    setWindowIcon(forms::ProgramIcon());
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, design::Background);
    setPalette(p);
    MouseIcon = forms::InvisibleCursor();
    setCursor(MouseIcon);
    imgSlide = new platform::StretchImage(this);
    imgSlide->hide();
    tmrChange.setInterval(design::tmrChangeInterval);
    connect(&tmrChange, &QTimer::timeout, this, [this] { tmrChange_Timer(); });
    Clock = monotonicMs;
    const auto px = [](const forms::DesignRect &r) { return platform::ToPixelRect(r.left, r.top, r.width, r.height); };
    imgSlide->setGeometry(px(design::imgSlide));
    setGeometry(px(design::Client)); // until Form_Load puts it over the whole screen
    // A new display profile: the picture on screen in its colours, and the next one too.
    connect(&platform::DisplayProfiles::Watch(), &platform::DisplayProfiles::changed, this, [this] {
        if (!isVisible() || m_changing)
            return;
        m_changing = true;
        const struct Done { bool &flag; ~Done() { flag = false; } } done{m_changing};
        if (display::RedecodeColours(picSlide.Tag, picSlide, *this))
            Form_Resize();
        decodeNextAhead();
    });
}

void frmSlides::Form_Load()
{
    // The whole of the browser's monitor: asked of the window manager, and set directly for a
    // desktop without one. Qt makes a window full screen on the screen its geometry is on.
    frmFiles *browser = platform::SharedForm<frmFiles>::IfLoaded();
    const platform::Monitor monitor = browser ? platform::MonitorOf(*browser) : platform::PrimaryMonitor();
    setGeometry(monitor.pixels);
    setWindowState(Qt::WindowFullScreen);
    TimeDelay = app::ReadTimeDelay(app::Get(app::kTimeDelay, QStringLiteral("5")));
}

QString frmSlides::NextPicture(int32_t &Position)
{
    display::ShowState s{basSlides::ShowList, basSlides::PictureList, basSlides::PictureCount, tmrChangeTag,
                         Tag, picSlide.Tag, basSlides::Random()};
    return display::NextPicture(s, Position);
}

bool frmSlides::ChangePicture(bool FromStartup)
{
    if (basSlides::PictureCount == 0)
        return false;
    // The screen keeps painting while a picture decodes, timers included: one change at a time.
    if (m_changing)
        return true;
    m_changing = true;
    const struct Done { bool &flag; ~Done() { flag = false; } } done{m_changing};
    // The picture on screen stays there until the next one is ready.
    for (;;) {
        int32_t Position = 0;
        const QString name = NextPicture(Position);
        float left, top, width, height;
        if (display::FitPicture(name, picSlide, *imgSlide, *this, left, top, width, height)) {
            picSlide.Tag = name;
            Form_Resize();
            imgSlide->show();
            decodeNextAhead();
            return true;
        }
        basSlides::ShowList.RemoveItem(Position);
        --basSlides::PictureCount;
        if (basSlides::PictureCount > 0)
            continue;
        // Nothing left to show: the show ends by itself.
        tmrChange.stop();
        Unload();
        if (FromStartup)
            return false;
        basSlides::HandBackToBrowser();
        return false;
    }
}

void frmSlides::decodeNextAhead()
{
    // The picture the next change will ask for, as far as it can be known now: a random show
    // deals anew at the wrap, so there the next one is not known.
    const int32_t count = basSlides::ShowList.ListCount();
    if (count == 0)
        return;
    int32_t pos = base::ToInt32(base::LeadingNumber(tmrChangeTag) + 1);
    for (int tries = 0; tries < 2; ++tries) {
        if (pos >= count) {
            if (Tag == QLatin1String("Random"))
                return;
            pos = 0;
        }
        const QString name = basSlides::ShowList.List(pos, 0).toString();
        if (basSlides::PictureCount == 1 || name != picSlide.Tag) {
            m_aheadName = name;
            const platform::Monitor monitor = platform::MonitorOf(*this);
            picture::DecodeAhead({name, monitor.pixels.size(), monitor.tppx, monitor.tppy, true,
                                  display::DisplayProfileFor(*this)});
            return;
        }
        ++pos;
    }
}

void frmSlides::Form_Resize()
{
    display::PlacePicture(picSlide, *imgSlide, *this);
    m_shownAt = Clock();
}

void frmSlides::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmSlides::tmrChange_Timer()
{
    if (!isVisible() || TimeDelay == 0)
        return;
    if (Clock() - m_shownAt >= qint64(TimeDelay) * 1000)
        ChangePicture(false);
}

void frmSlides::keyPressEvent(QKeyEvent *event)
{
    if (!event->isAutoRepeat())
        m_pressed.insert(event->key());
}

void frmSlides::keyReleaseEvent(QKeyEvent *event)
{
    // A held key repeats its press and release; it acts once, when it is let go. A release whose
    // press went elsewhere (the Esc or Enter that closed the key help, the Enter that chose the
    // show in the browser's menu) belongs to that window, not to the show.
    if (event->isAutoRepeat() || !m_pressed.remove(event->key()))
        return;
    Form_KeyUp(platform::KeyCodeOf(event), platform::ShiftOf(event));
}

void frmSlides::Form_KeyUp(int KeyCode, int)
{
    switch (KeyCode) {
    case platform::vbKeyEscape:
        endShow();
        break;
    case platform::vbKeyF1:
        // Keys held when the help opens are let go in the help, and not seen here.
        m_pressed.clear();
        platform::SetScreenPointer(platform::vbDefault);
        dialogs::ShowKeyHelp(*this);
        platform::SetScreenPointer(platform::vbCustom, MouseIcon);
        break;
    case platform::vbKeyF12:
        TimeDelay = 0;
        break;
    case platform::vbKeySpace:
    case platform::vbKeyReturn:
        ChangePicture(false);
        break;
    default:
        if (KeyCode >= platform::vbKeyF2 && KeyCode <= platform::vbKeyF10)
            TimeDelay = int16_t(KeyCode - 111);
        break;
    }
}

void frmSlides::endShow()
{
    platform::FormBase::HoldRun hold; // the browser comes back below: the run goes on
    Unload();
    QCoreApplication::processEvents();
    basSlides::HandBackToBrowser(true);
}

void frmSlides::Form_QueryUnload(bool &cancel, int unloadMode)
{
    // The show is left by Esc or by running out of pictures, not by the close box or Alt+F4.
    if (unloadMode == 0)
        cancel = true;
}

void frmSlides::Form_Unload()
{
    platform::SetScreenPointer(platform::vbHourglass);
    tmrChange.stop();
    basSlides::ShowList.Clear();
    app::Save(app::kTimeDelay, app::WriteTimeDelay(TimeDelay));
}
