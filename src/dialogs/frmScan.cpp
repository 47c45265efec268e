#include "dialogs/frmScan.h"

#include "app/basSlides.h"
#include "collection/PictureScan.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMoveEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <mutex>
#include <thread>

frmScan::frmScan()
{
    setWindowTitle(QStringLiteral("Quorvel"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    // While it is up the program's other windows take no input.
    setWindowModality(Qt::ApplicationModal);

    lblMessage = new QLabel(QStringLiteral("Looking for pictures…"), this);
    lblCount = new QLabel(this);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setDefault(true);
    connect(cmdCancel, &QPushButton::clicked, this, &frmScan::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 16);
    layout->setSpacing(10);
    layout->addWidget(lblMessage);
    layout->addWidget(lblCount);
    layout->addLayout(buttons);
    SetCount(0);
    // Room for a seven-digit count without the window changing size as it grows.
    lblCount->setMinimumWidth(lblCount->fontMetrics().horizontalAdvance(QStringLiteral("9,999,999 pictures found")));
    setFixedSize(sizeHint());
}

void frmScan::SetCount(int32_t found)
{
    lblCount->setText(found == 1 ? QStringLiteral("1 picture found")
                                 : QStringLiteral("%1 pictures found").arg(QLocale().toString(found)));
}

void frmScan::Centre()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = frameGeometry();
    m_centredFrame = frame.size();
    // move() places the frame's corner.
    move(screen->geometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
}

void frmScan::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Centre(); // again, now that the frame is known
}

void frmScan::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    // The window manager adds its frame after the window is shown: centre it again, frame included.
    if (isVisible() && frameGeometry().size() != m_centredFrame)
        Centre();
}

void frmScan::reject()
{
    emit Cancelled();
}

namespace dialogs {

namespace {

// One scan at a time touches the shared random source: a new scan waits until a cancelled one
// has finished giving up.
std::mutex g_scanning;

// What the scanning thread and the waiting thread share. The scanning thread may outlive the
// wait (after a cancel), so it holds its own reference.
struct ScanJob
{
    collection::ScanProgress progress;
    clsLinkList pictureList;
    clsLinkList showList;
    int32_t count = 0;
    std::mutex mutex;
    QEventLoop *waiting = nullptr; // told when the scan ends; null once nobody waits
    bool done = false;
};

} // namespace

void ScanForShow(const QString &folder, bool includeSubDirs, const QString &showMode,
                              std::function<void()> beforeFolder)
{
    auto job = std::make_shared<ScanJob>();
    job->progress.beforeFolder = std::move(beforeFolder);
    // The lists start in the shared lists' roles, so that handing them over below leaves the
    // shared lists exactly as a scan over them would.
    job->pictureList.Dims(basSlides::PictureList.Dims());
    RandomSource &random = basSlides::Random(); // made here, not on the other thread
    QEventLoop loop;
    job->waiting = &loop;

    std::thread([job, folder, includeSubDirs, showMode, &random] {
        const std::lock_guard<std::mutex> scanning(g_scanning);
        base::FileSys fileSys;
        const int32_t count = collection::BuildShowList(folder, includeSubDirs, showMode, job->pictureList, job->showList,
                                             random, fileSys, &job->progress);
        const std::lock_guard<std::mutex> lock(job->mutex);
        job->count = count;
        job->done = true;
        if (job->waiting)
            QMetaObject::invokeMethod(job->waiting, &QEventLoop::quit, Qt::QueuedConnection);
    }).detach();

    const auto finished = [&job] {
        const std::lock_guard<std::mutex> lock(job->mutex);
        return job->done;
    };

    // A short scan: the screen repaints, but input waits as it did before there was a thread.
    QTimer windowDue;
    windowDue.setSingleShot(true);
    windowDue.setTimerType(Qt::PreciseTimer);
    QObject::connect(&windowDue, &QTimer::timeout, &loop, &QEventLoop::quit);
    windowDue.start(kScanWindowDelayMs);
    if (!finished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    windowDue.stop();

    bool cancelled = false;
    if (!finished()) {
        frmScan window;
        QTimer refresh;
        QObject::connect(&refresh, &QTimer::timeout, &window,
                         [&] { window.SetCount(job->progress.found.load(std::memory_order_relaxed)); });
        QObject::connect(&window, &frmScan::Cancelled, &loop, [&] {
            cancelled = true;
            loop.quit();
        });
        window.SetCount(job->progress.found.load(std::memory_order_relaxed));
        window.Centre();
        window.show();
        refresh.start(kScanCountRefreshMs);
        while (!cancelled && !finished())
            loop.exec();
    }

    {
        const std::lock_guard<std::mutex> lock(job->mutex);
        job->waiting = nullptr;
        if (!job->done)
            cancelled = true;
    }
    basSlides::PictureList.Clear();
    basSlides::PictureList.Sorted(true);
    basSlides::ShowList.Clear();
    basSlides::ShowList.Dims(1);
    basSlides::ShowList.Sorted(false);
    if (cancelled) {
        // The walk stops at its next folder and then gives up; nothing of it is kept.
        job->progress.cancel.store(true);
        basSlides::PictureCount = 0;
        return;
    }
    basSlides::ShowList.MoveFrom(job->showList);
    basSlides::PictureCount = job->count;
}

} // namespace dialogs
