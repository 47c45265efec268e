#include "browser/frmFiles.h"

#include "browser/ThumbnailCells.h"
#include "app/Settings.h"
#include "app/SettingsRules.h"
#include "app/basSlides.h"
#include "collection/PictureScan.h"
#include "dialogs/KeyHelp.h"
#include "dialogs/frmSplash.h"
#include "dialogs/frmScan.h"
#include "display/frmSlide.h"
#include "display/frmSlides.h"
#include "app/Main.h"
#include "forms/Designs.h"
#include "forms/Pointers.h"
#include "forms/ProgramIcon.h"
#include "platform/FrameExtents.h"
#include "platform/Keys.h"
#include "platform/Screen.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>

#include <cmath>

using platform::TwipsPerPixelX;
using platform::TwipsPerPixelY;

float frmFiles::s_lastDragX = 0;

namespace {

int buttonsOf(Qt::MouseButtons b)
{
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0);
}

int shiftOf(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

} // namespace

// The window's own background under the menu bar: the splitter strip and the line live here.
class BrowserClient : public QWidget
{
public:
    explicit BrowserClient(frmFiles *form) : QWidget(form), m_form(form) {}

protected:
    void resizeEvent(QResizeEvent *) override { m_form->Form_Resize(); }

    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        QPen pen(palette().color(QPalette::Highlight));
        pen.setWidth(forms::FilesDesign::lneFilesWidthPixels);
        p.setPen(pen);
        const double x = m_form->lneX1 / TwipsPerPixelX();
        p.drawLine(QPointF(x, m_form->lneY1 / TwipsPerPixelY()), QPointF(m_form->lneX2 / TwipsPerPixelX(),
                                                                          m_form->lneY2 / TwipsPerPixelY()));
    }

    void mousePressEvent(QMouseEvent *e) override
    {
        m_form->Form_MouseDown(buttonsOf(e->button()), shiftOf(e->modifiers()), twipsX(e), twipsY(e));
    }
    void mouseMoveEvent(QMouseEvent *e) override
    {
        m_form->Form_MouseMove(buttonsOf(e->buttons()), shiftOf(e->modifiers()), twipsX(e), twipsY(e));
    }
    void mouseReleaseEvent(QMouseEvent *e) override
    {
        m_form->Form_MouseUp(buttonsOf(e->button()), shiftOf(e->modifiers()), twipsX(e), twipsY(e));
    }

private:
    static double twipsX(QMouseEvent *e) { return e->position().x() * TwipsPerPixelX(); }
    static double twipsY(QMouseEvent *e) { return e->position().y() * TwipsPerPixelY(); }
    frmFiles *m_form;
};

frmFiles::frmFiles()
    : platform::FormBase(this)
{
    setWindowTitle(QStringLiteral("Quorvel"));
    setAccessibleName(QStringLiteral("Quorvel"));
    setWindowIcon(forms::ProgramIcon());
    // The browser sizes itself from the settings; it has no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    m_client = new BrowserClient(this);
    setCentralWidget(m_client);
    // Tab order follows the design: the file list first, then the drive list, then the folders.
    lstFiles = new platform::FileList(m_client);
    drvFiles = new platform::DriveList(m_client);
    dirFiles = new platform::FolderList(m_client);
    lstFiles->setAccessibleName(QStringLiteral("Files"));
    drvFiles->setAccessibleName(QStringLiteral("Drives"));
    dirFiles->setAccessibleName(QStringLiteral("Folders"));
    setTabOrder(lstFiles, drvFiles);
    setTabOrder(drvFiles, dirFiles);

    drvFiles->onChange = [this] { drvFiles_Change(); };
    dirFiles->onChange = [this] {
        // The drive list names the volume of the open folder, also after a walk into a mount point.
        drvFiles->FollowFolder(dirFiles->Path());
        dirFiles_Change();
    };
    dirFiles->onMouseDown = [this](int button, int shift, double x, double y) {
        dirFiles_MouseDown(button, shift, x * TwipsPerPixelX(), y * TwipsPerPixelY());
    };
    lstFiles->onClick = [this] { lstFiles_Click(); };

    tmrUpdate.setInterval(forms::FilesDesign::tmrUpdateInterval);
    connect(&tmrUpdate, &QTimer::timeout, this, [this] { tmrUpdate_Timer(); });
    m_frameWatch.setInterval(100);
    connect(&m_frameWatch, &QTimer::timeout, this, [this] {
        if (++m_frameWatchTicks > 300)
            m_frameWatch.stop();
        refitForFrame();
    });

    buildMenus();

    // Design places; Form_Load moves the window to its saved place and the layout takes over.
    namespace design = forms::FilesDesign;
    const double tppx = TwipsPerPixelX(), tppy = TwipsPerPixelY();
    const auto place = [](QWidget *w, const forms::DesignRect &r, int height = -1) {
        QRect px = platform::ToPixelRect(r.left, r.top, r.width, r.height);
        if (height >= 0)
            px.setHeight(height);
        w->setGeometry(px);
    };
    setGeometry(int(std::lround(design::Client.left / tppx)), int(std::lround(design::Client.top / tppy)),
                int(std::lround(design::Client.width / tppx)),
                int(std::lround(design::Client.height / tppy)) + menuBar()->sizeHint().height());
    m_driveWidth = design::drvFiles.width;
    place(lstFiles, design::lstFiles);
    // The drive list is as high as its font needs, as a drop-down list always is.
    place(drvFiles, design::drvFiles, drvFiles->sizeHint().height());
    place(dirFiles, design::dirFiles);
    // No minimum size: not even the one the menu bar's layout would impose.
    layout()->setSizeConstraint(QLayout::SetNoConstraint);
    lneX1 = design::lneFiles.x1;
    lneY1 = design::lneFiles.y1;
    lneX2 = design::lneFiles.x2;
    lneY2 = design::lneFiles.y2;

    // Key preview: the window sees every key before the control that has the focus.
    qApp->installEventFilter(this);
}

frmFiles::~frmFiles()
{
    qApp->removeEventFilter(this);
}

void frmFiles::buildMenus()
{
    // A checkable item flips its own check before its handler runs; the handlers here set the
    // checks themselves, so the flip is undone first (connections run in order).
    const auto add = [this](QMenu *menu, const QString &caption, void (frmFiles::*handler)(), bool checkable = false) {
        QAction *a = menu->addAction(caption);
        if (checkable) {
            a->setCheckable(true);
            connect(a, &QAction::triggered, this, [a](bool checked) { a->setChecked(!checked); });
        }
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        // The window's shortcuts win over a focused list's (Ctrl+A is "All files", not select-all).
        a->setShortcutContext(Qt::WindowShortcut);
        return a;
    };
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuRefresh = add(mnuFile, QStringLiteral("&Refresh files list"), &frmFiles::mnuRefresh_Click);
    mnuRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    mnuFile->addSeparator();
    mnuDelete = add(mnuFile, QStringLiteral("&Delete current file"), &frmFiles::mnuDelete_Click);
    mnuDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    mnuFile->addSeparator();
    mnuExit = add(mnuFile, QStringLiteral("E&xit"), &frmFiles::mnuExit_Click);

    mnuView = menuBar()->addMenu(QStringLiteral("&View"));
    mnuShowPicture = add(mnuView, QStringLiteral("&Picture files"), &frmFiles::mnuShowPicture_Click, true);
    mnuShowPicture->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    mnuShowPicture->setChecked(true);
    mnuShowAll = add(mnuView, QStringLiteral("&All files"), &frmFiles::mnuShowAll_Click, true);
    mnuShowAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    mnuView->addSeparator();
    mnuThumbnails = add(mnuView, QStringLiteral("&Thumbnails"), &frmFiles::mnuThumbnails_Click, true);
    mnuThumbnails->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));

    mnuQuorvel = menuBar()->addMenu(QStringLiteral("&Quorvel"));
    mnuSlideS = add(mnuQuorvel, QStringLiteral("Show files in &name order"), &frmFiles::mnuSlides_Click);
    mnuSlideS->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    mnuRandom = add(mnuQuorvel, QStringLiteral("Show files in &random order"), &frmFiles::mnuRandom_Click);
    mnuRandom->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuQuorvel->addSeparator();
    mnuSubShow = add(mnuQuorvel, QStringLiteral("Show files in &subdirectories"), &frmFiles::mnuSubShow_Click, true);

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuKeyHelp = add(mnuHelp, QStringLiteral("&Keyboard help"), &frmFiles::mnuKeyHelp_Click);
    mnuKeyHelp->setShortcut(QKeySequence(Qt::Key_F1));
    mnuHelp->addSeparator();
    mnuAbout = add(mnuHelp, QStringLiteral("&About..."), &frmFiles::mnuAbout_Click);
}

double frmFiles::ScaleWidth() const
{
    return m_client->width() * TwipsPerPixelX();
}

double frmFiles::ScaleHeight() const
{
    return m_client->height() * TwipsPerPixelY();
}

void frmFiles::placeOuter(const QRect &outer)
{
    // The client inside the outer rectangle, placed by its own corner: right whether or not Qt
    // knows the frame yet (before the first show the window manager is asked for it).
    m_placedFrame = platform::FrameMargins(*this);
    QRect client = outer.marginsRemoved(m_placedFrame);
    // A window of no size is never mapped; a pixel of client keeps its frame on screen.
    client.setSize(client.size().expandedTo(QSize(1, 1)));
    setGeometry(client);
}

namespace {

std::vector<app::MonitorTwips> monitorTwips(const std::vector<platform::Monitor> &monitors)
{
    std::vector<app::MonitorTwips> twips;
    for (const platform::Monitor &m : monitors)
        twips.push_back({m.Left(), m.Top(), m.Width(), m.Height()});
    return twips;
}

} // namespace

platform::Monitor frmFiles::StoredMonitor()
{
    size_t primary = 0;
    const std::vector<platform::Monitor> monitors = platform::Monitors(&primary);
    return monitors[app::MonitorOfPlace(app::Get(app::kWindowPosition, QString()), monitorTwips(monitors), primary)];
}

void frmFiles::Form_Load()
{
    FileCount = -1;
    const platform::Monitor on = StoredMonitor();
    size_t primary = 0;
    const app::WindowPlacement p = app::ReadWindowPosition(app::Get(app::kWindowPosition, QString()),
                                                           monitorTwips(platform::Monitors(&primary)), primary);
    const double tppx = on.tppx, tppy = on.tppy;
    m_wantedOuter = QRect(int(std::lround(p.left / tppx)), int(std::lround(p.top / tppy)),
                          int(std::lround(p.width / tppx)), int(std::lround(p.height / tppy)));
    placeOuter(m_wantedOuter);
    mnuSubShow->setChecked(app::ReadIncludeSubDirs(app::Get(app::kIncludeSubDirs, QStringLiteral("0"))));
    // The same reading as the subfolder switch: "1" is on, anything else (or nothing) off.
    if (app::ReadIncludeSubDirs(app::Get(app::kThumbnails, QStringLiteral("0"))))
        mnuThumbnails_Click();
}

void frmFiles::refitForFrame()
{
    // Placed once more when the window manager framed the window later than it was asked (a busy
    // one), so that the outer rectangle is the one the settings gave, not a title bar lower. A
    // window placed with its real frame is left alone: the user may be moving it already.
    if (m_placedWithFrame || frameGeometry() == geometry())
        return;
    m_placedWithFrame = true;
    m_frameWatch.stop();
    if (platform::FrameMargins(*this) != m_placedFrame)
        placeOuter(m_wantedOuter);
}

void frmFiles::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    m_everShown = true;
    refitForFrame();
    // Qt gets no event of its own when the frame comes: look now and then until it is there (a
    // desktop without a window manager never frames it; the looking stops after half a minute).
    if (!m_placedWithFrame && !m_frameWatch.isActive()) {
        m_frameWatchTicks = 0;
        m_frameWatch.start();
    }
}

void frmFiles::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    if (isVisible())
        refitForFrame();
}

void frmFiles::applyRect(QWidget *w, const browser::TwipRect &r)
{
    w->setGeometry(platform::ToPixelRect(r.left, r.top, r.width, r.height));
}

void frmFiles::Form_Resize()
{
    if (!m_client)
        return;
    const double tppx = TwipsPerPixelX(), tppy = TwipsPerPixelY();
    browser::LayoutInput in;
    in.scaleWidth = ScaleWidth();
    in.scaleHeight = ScaleHeight();
    in.drive = {drvFiles->x() * tppx, drvFiles->y() * tppy, m_driveWidth, drvFiles->height() * tppy};
    in.listWidth = lstFiles->width() * tppx;
    in.tppx = tppx;
    const browser::Layout l = browser::ComputeLayout(in);
    applyRect(drvFiles, l.drive);
    if (l.folderMoved)
        applyRect(dirFiles, l.folder);
    if (l.listMoved)
        applyRect(lstFiles, l.list);
    lneX1 = l.lineX1;
    lneX2 = l.lineX2;
    lneY1 = l.lineY1;
    lneY2 = l.lineY2;
    lstFiles->SetColumns(l.columns);
    m_client->update();
}

void frmFiles::Form_MouseDown(int Button, int, double, double)
{
    if (Button == 1)
        m_client->setCursor(forms::SplitterCursor());
}

void frmFiles::Form_MouseMove(int Button, int, double X, double)
{
    if (Button != 1 || float(X) == s_lastDragX)
        return;
    s_lastDragX = float(X);
    m_driveWidth = browser::SplitterWidth(X, ScaleWidth(), TwipsPerPixelX());
    Form_Resize();
}

void frmFiles::Form_MouseUp(int, int, double, double)
{
    m_client->unsetCursor();
}

void frmFiles::tmrUpdate_Timer()
{
    const QString p = base::WithSeparator(dirFiles->Path());
    base::FileSys &fs = basSlides::FileSys();
    if (!fs.FolderExists(p))
        return;
    const int32_t n = int32_t(fs.GetFolder(p).FileCount());
    if (n == FileCount)
        return;
    FileCount = n;
    int i = lstFiles->ListIndex();
    dirFiles_Change();
    if (i >= lstFiles->ListCount())
        i = lstFiles->ListCount() - 1;
    lstFiles->SetListIndex(i);
}

void frmFiles::Form_Unload()
{
    if (platform::SharedForm<frmSlide>::IsLoaded())
        platform::SharedForm<frmSlide>::Unload();
    // A browser loaded but never shown (the session ending during a show) is saved where it
    // would have opened.
    const QRect outer = m_everShown ? frameGeometry() : m_wantedOuter;
    const platform::Monitor on = platform::MonitorOf(*this);
    const double tppx = on.tppx, tppy = on.tppy;
    app::Save(app::kWindowPosition,
                   app::WriteWindowPosition({base::ToInt32(outer.x() * tppx), base::ToInt32(outer.y() * tppy),
                                                  base::ToInt32(outer.width() * tppx),
                                                  base::ToInt32(outer.height() * tppy)}));
    app::Save(app::kPathName, basSlides::CurrentPath);
    app::Save(app::kIncludeSubDirs, app::WriteIncludeSubDirs(mnuSubShow->isChecked()));
    app::Save(app::kThumbnails, app::WriteIncludeSubDirs(mnuThumbnails->isChecked()));
}

void frmFiles::closeEvent(QCloseEvent *event)
{
    HandleClose(event);
}

void frmFiles::drvFiles_Change()
{
    dirFiles->SetPath(drvFiles->Drive());
}

void frmFiles::dirFiles_Change()
{
    {
        const platform::WaitPointer wait;
        if (!basSlides::RestoringPath)
            basSlides::CurrentPath = base::WithSeparator(dirFiles->Path());
        lstFiles->Clear();
        base::FileSys &fs = basSlides::FileSys();
        if (fs.FolderExists(basSlides::CurrentPath)) {
            QStringList names = fs.GetFolder(basSlides::CurrentPath).Files();
            if (mnuShowPicture->isChecked())
                names.removeIf([](const QString &name) { return !collection::IsPictureName(name); });
            lstFiles->SetItems(std::move(names));
        }
    }
    lstFiles->SetTag(basSlides::CurrentPath);
    if (lstFiles->isVisible())
        lstFiles->setFocus();
}

void frmFiles::dirFiles_MouseDown(int, int, double, double Y)
{
    // A row is the height of its text plus two pixels: the row under the pointer opens at once.
    setFont(dirFiles->font());
    const double h = QFontMetrics(font()).height() * TwipsPerPixelY() + 2 * TwipsPerPixelY();
    const int row = int(std::floor(Y / h));
    int i = -1;
    while (!dirFiles->List(i).isEmpty())
        --i;
    const int root = i + 1;
    const int k = dirFiles->TopIndex() + root + row;
    const QString target = dirFiles->List(k);
    if (!target.isEmpty()) {
        dirFiles->SetPath(target);
        dirFiles->Refresh();
    }
}

void frmFiles::lstFiles_Click()
{
    const platform::WaitPointer wait;
    platform::SharedForm<frmSlide>::Get().ChangePicture(lstFiles->Tag() + lstFiles->List(lstFiles->ListIndex()));
}

void frmFiles::Form_KeyDown(int KeyCode, int)
{
    const int count = lstFiles->ListCount();
    const bool listHasFocus = QApplication::focusWidget() == lstFiles;
    if (count < 1 || listHasFocus)
        return;
    const int index = lstFiles->ListIndex();
    if (KeyCode == platform::vbKeyUp) {
        if (index > 0)
            lstFiles->SetListIndex(index - 1);
    } else if (KeyCode == platform::vbKeyDown || KeyCode == platform::vbKeySpace || KeyCode == platform::vbKeyReturn) {
        if (index < count - 1)
            lstFiles->SetListIndex(index + 1);
    }
}

bool frmFiles::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        QWidget *w = static_cast<QWidget *>(watched);
        // Once per key: at the focused control (or the window itself when nothing has the
        // focus), not again as the key travels up to the parents.
        const QWidget *focus = QApplication::focusWidget();
        if (w->window() == this && (w == focus || (!focus && w == this))) {
            const auto *key = static_cast<QKeyEvent *>(event);
            Form_KeyDown(platform::KeyCodeOf(key), platform::ShiftOf(key));
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmFiles::mnuRefresh_Click()
{
    FileCount = -1;
    tmrUpdate_Timer();
}

void frmFiles::mnuDelete_Click()
{
    int i = lstFiles->ListIndex();
    if (i == -1)
        return;
    // Removed for good, as asked; a file that cannot go (read-only, gone, a folder the user may
    // not write to) stays, and so does everything on screen.
    if (!base::DeleteFile(lstFiles->Tag() + lstFiles->List(i)))
        return;
    if (frmSlide *viewer = platform::SharedForm<frmSlide>::IfLoaded())
        viewer->hide();
    lstFiles->RemoveItem(i);
    if (i >= lstFiles->ListCount())
        i = lstFiles->ListCount() - 1;
    lstFiles->SetListIndex(i);
}

void frmFiles::mnuExit_Click()
{
    Unload();
}

void frmFiles::mnuShowPicture_Click()
{
    mnuShowPicture->setChecked(true);
    mnuShowAll->setChecked(false);
    dirFiles_Change();
}

void frmFiles::mnuShowAll_Click()
{
    mnuShowPicture->setChecked(false);
    mnuShowAll->setChecked(true);
    dirFiles_Change();
}

void frmFiles::mnuThumbnails_Click()
{
    const bool on = !mnuThumbnails->isChecked();
    mnuThumbnails->setChecked(on);
    if (on) {
        const int box = browser::ThumbnailBox(devicePixelRatioF());
        m_cells = new browser::ThumbnailCells(*lstFiles, box);
        lstFiles->SetThumbnails(m_cells, 128);
    } else {
        lstFiles->SetThumbnails(nullptr);
        delete m_cells; // fetches in flight finish on their own, unheard
        m_cells = nullptr;
    }
}

void frmFiles::mnuSubShow_Click()
{
    mnuSubShow->setChecked(!mnuSubShow->isChecked());
}

void frmFiles::mnuSlides_Click()
{
    platform::SharedForm<frmSlides>::Get().Tag = QStringLiteral("Normal");
    StartShow();
}

void frmFiles::mnuRandom_Click()
{
    platform::SharedForm<frmSlides>::Get().Tag = QStringLiteral("Random");
    StartShow();
}

void frmFiles::mnuKeyHelp_Click()
{
    dialogs::ShowKeyHelp(*this);
}

void frmFiles::mnuAbout_Click()
{
    frmSplash &about = platform::SharedForm<frmSplash>::Get();
    about.cmdOK->setText(QStringLiteral("OK"));
    about.CentreOn(platform::MonitorOf(*this));
    about.exec();
    platform::SharedForm<frmSplash>::Unload();
}

void frmFiles::StartShow()
{
    // The scan and the first decode let events run while no window is visible: the run goes on.
    platform::FormBase::HoldRun hold;
    // The viewer goes with the browser, and comes back as it was when no show starts.
    frmSlide *viewer = platform::SharedForm<frmSlide>::IfLoaded();
    const bool viewerShown = viewer && viewer->isVisible();
    if (viewerShown)
        viewer->hide();
    hide();
    const QString folder = dirFiles->Path();
    frmSlides &show = platform::SharedForm<frmSlides>::Get();
    bool started = false;
    {
        const platform::WaitPointer wait;
        dialogs::ScanForShow(folder, mnuSubShow->isChecked(), show.Tag, {}, this);
        started = basSlides::PictureCount >= 1 && show.ChangePicture(true);
    }
    if (started) {
        Unload(); // saves the browser's settings; the show is the only window now
        platform::SetScreenPointer(platform::vbCustom, show.MouseIcon);
        show.tmrChange.start();
        show.show();
        show.raise();
        show.activateWindow();
        return;
    }
    if (basSlides::PictureCount < 1)
        this->show();
    else
        basSlides::HandBackToBrowser(); // none of the pictures could be shown
    if (viewerShown) {
        viewer->show();
        platform::SetTransientFor(*viewer, *this); // mapping again clears the mark
        activateWindow();
    }
}
