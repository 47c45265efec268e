#pragma once

#include "browser/BrowserLayout.h"
#include "platform/DriveList.h"
#include "platform/FileList.h"
#include "platform/FolderList.h"
#include "platform/Screen.h"
#include "platform/SharedForm.h"

#include <QMainWindow>
#include <QTimer>

#include <cstdint>

class QAction;
class QMenu;

class BrowserClient;
namespace browser {
class ThumbnailCells;
}

// The browser: drive list over folder list on the left, the file list in columns on the right,
// a splitter strip between them, and the menus.
class frmFiles : public QMainWindow, public platform::FormBase
{
    Q_OBJECT
public:
    frmFiles();
    ~frmFiles() override;

    platform::DriveList *drvFiles = nullptr;
    platform::FolderList *dirFiles = nullptr;
    platform::FileList *lstFiles = nullptr;
    QTimer tmrUpdate;

    QMenu *mnuFile = nullptr;
    QAction *mnuRefresh = nullptr;
    QAction *mnuDelete = nullptr;
    QAction *mnuExit = nullptr;
    QMenu *mnuView = nullptr;
    QAction *mnuShowPicture = nullptr;
    QAction *mnuThumbnails = nullptr;
    QAction *mnuShowAll = nullptr;
    QMenu *mnuQuorvel = nullptr;
    QAction *mnuSlideS = nullptr;
    QAction *mnuRandom = nullptr;
    QAction *mnuSubShow = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuKeyHelp = nullptr;
    QAction *mnuAbout = nullptr;

    int32_t FileCount = -1;

    void Form_Load() override;
    void Form_Unload() override;
    void Form_Resize();
    void Form_MouseDown(int Button, int Shift, double X, double Y);
    void Form_MouseMove(int Button, int Shift, double X, double Y);
    void Form_MouseUp(int Button, int Shift, double X, double Y);
    void tmrUpdate_Timer();

    void drvFiles_Change();
    void dirFiles_Change();
    void dirFiles_MouseDown(int Button, int Shift, double X, double Y);
    void lstFiles_Click();
    void Form_KeyDown(int KeyCode, int Shift);

    void mnuRefresh_Click();
    void mnuDelete_Click();
    void mnuExit_Click();
    void mnuShowPicture_Click();
    void mnuThumbnails_Click();
    // The monitor the browser opens on: the one its stored place is on, else the primary one.
    static platform::Monitor StoredMonitor();
    void mnuShowAll_Click();
    void mnuSlides_Click();
    void mnuRandom_Click();
    void mnuSubShow_Click();
    void mnuKeyHelp_Click();
    void mnuAbout_Click();

    // Client area in twips (below the menu bar).
    double ScaleWidth() const;
    double ScaleHeight() const;
    // The splitter line's ends, in twips.
    double lneX1 = 2340, lneY1 = 3300, lneX2 = 2340, lneY2 = 0;
    // The left column's width and the drive list's height, in twips.
    double DriveWidth() const { return m_driveWidth; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void StartShow();
    void buildMenus();
    void placeOuter(const QRect &outerPixels);
    void refitForFrame();
    void applyRect(QWidget *w, const browser::TwipRect &r);

    BrowserClient *m_client = nullptr;
    double m_driveWidth = 2292;
    QRect m_wantedOuter;      // where Form_Load put the frame, re-applied once the frame is known
    bool m_everShown = false;
    bool m_placedWithFrame = false;
    QMargins m_placedFrame;   // the frame counted when it was placed
    QTimer m_frameWatch;      // until the window manager has framed the window
    browser::ThumbnailCells *m_cells = nullptr; // the grid's pictures, while it shows
    int m_frameWatchTicks = 0;
    static float s_lastDragX; // kept between drags, as the drag handler always has
};
