#pragma once

#include "platform/Screen.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;

// The small window of a long scan: what is going on, how many pictures have been found so far,
// and a Cancel button (Esc and the close box too).
class frmScan : public QDialog
{
    Q_OBJECT
public:
    frmScan();

    QLabel *lblMessage = nullptr;
    QLabel *lblCount = nullptr;
    QPushButton *cmdCancel = nullptr;

    void SetCount(int32_t found);
    // Puts the window, frame included, in the middle of the monitor it was opened for.
    void Centre();
    platform::Monitor OpenedOn = platform::PrimaryMonitor();

signals:
    void Cancelled();

protected:
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void reject() override;

private:
    QSize m_centredFrame; // the frame size the last centring knew
};

namespace dialogs {

// How long a scan runs before its window comes up, and how often the count is refreshed.
inline constexpr int kScanWindowDelayMs = 500;
inline constexpr int kScanCountRefreshMs = 100;

// The show's scan (basSlides::ScanPictures) on a thread of the scans' pool while this thread
// keeps the screen alive: no other window takes input meanwhile, and after kScanWindowDelayMs
// the scan's window appears. A cancelled scan leaves the shared lists as a folder without
// pictures does (PictureCount 0, both lists empty) and has ended when this returns, at once;
// only one stuck in the file system (a folder that does not answer) is left to end on its own,
// and it never touches the program's state again.
// `beforeFolder` runs on the scanning thread before each folder is read (tests slow the walk).
void ScanForShow(const QString &folder, bool includeSubDirs, const QString &showMode,
                              std::function<void()> beforeFolder = {}, QWidget *opener = nullptr);

// Called once the run is over, before the program's static state goes: stops every scan and
// waits for it. When one stays stuck in the file system the program leaves at once with
// `exitStatus`, without static destruction under that scan.
void EndScans(int exitStatus);

} // namespace dialogs
