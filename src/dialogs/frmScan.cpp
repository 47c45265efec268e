#include "dialogs/frmScan.h"

#include "app/basSlides.h"
#include "collection/PictureScan.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMoveEvent>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

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
    const QRect frame = frameGeometry();
    m_centredFrame = frame.size();
    // move() places the frame's corner.
    move(OpenedOn.pixels.center() - QPoint(frame.width() / 2, frame.height() / 2));
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

// How long a cancelled scan that is not drawing is waited for before it is left to itself: it
// stops within one folder entry unless the file system does not answer (a hung network share).
constexpr int kScanStopWaitMs = 250;
// How long the program's end waits for such scans.
constexpr int kScanEndWaitMs = 1000;

// What the scanning thread and the waiting thread share; the task holds it too, so a scan given
// up while stuck in the file system still has it when it gets out.
struct ScanJob
{
    collection::ScanProgress progress;
    clsLinkList pictureList;
    clsLinkList showList;
};

// The scans' own threads, and every scan not yet known to have ended.
struct ScanOwner
{
    QThreadPool pool;
    std::vector<std::pair<std::shared_ptr<ScanJob>, QFuture<int32_t>>> scans;

    void forgetEnded()
    {
        std::erase_if(scans, [](const auto &scan) { return scan.second.isFinished(); });
    }
};

ScanOwner &owner()
{
    static ScanOwner scans;
    return scans;
}

QFuture<int32_t> startScan(const std::shared_ptr<ScanJob> &job, const QString &folder, bool includeSubDirs,
                           const QString &showMode, RandomSource &random)
{
    ScanOwner &scans = owner();
    scans.forgetEnded();
    auto promise = std::make_shared<QPromise<int32_t>>();
    QFuture<int32_t> future = promise->future();
    promise->start();
    scans.scans.emplace_back(job, future);
    // A thread of its own now, even when an earlier scan is still stuck in a folder.
    scans.pool.reserveThread();
    RandomSource *source = &random;
    scans.pool.startOnReservedThread([promise, job, folder, includeSubDirs, showMode, source] {
        base::FileSys fileSys;
        promise->addResult(collection::BuildShowList(folder, includeSubDirs, showMode, job->pictureList,
                                                     job->showList, *source, fileSys, &job->progress));
        promise->finish();
    });
    return future;
}

// Runs this thread's events (no input) until the scan ends or `ms` have passed (never when < 0).
void waitForScan(const QFuture<int32_t> &future, int ms, QEventLoop &loop)
{
    if (future.isFinished())
        return;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    giveUp.setTimerType(Qt::PreciseTimer);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (ms >= 0)
        giveUp.start(ms);
    while (!future.isFinished() && (ms < 0 || giveUp.isActive()))
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

void ScanForShow(const QString &folder, bool includeSubDirs, const QString &showMode,
                              std::function<void()> beforeFolder, QWidget *opener)
{
    auto job = std::make_shared<ScanJob>();
    job->progress.beforeFolder = std::move(beforeFolder);
    // The lists start in the shared lists' roles, so that handing them over below leaves the
    // shared lists exactly as a scan over them would.
    job->pictureList.Dims(basSlides::PictureList.Dims());
    RandomSource &random = basSlides::Random(); // made here, not on the other thread
    QEventLoop loop;
    const QFuture<int32_t> future = startScan(job, folder, includeSubDirs, showMode, random);
    QFutureWatcher<int32_t> watcher;
    QObject::connect(&watcher, &QFutureWatcher<int32_t>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);

    // A short scan: the screen repaints, but input waits as it did before there was a thread.
    QTimer windowDue;
    windowDue.setSingleShot(true);
    windowDue.setTimerType(Qt::PreciseTimer);
    QObject::connect(&windowDue, &QTimer::timeout, &loop, &QEventLoop::quit);
    windowDue.start(kScanWindowDelayMs);
    if (!future.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    windowDue.stop();

    bool cancelled = false;
    if (!future.isFinished()) {
        frmScan window;
        QTimer refresh;
        QObject::connect(&refresh, &QTimer::timeout, &window,
                         [&] { window.SetCount(job->progress.found.load(std::memory_order_relaxed)); });
        QObject::connect(&window, &frmScan::Cancelled, &loop, [&] {
            cancelled = true;
            loop.quit();
        });
        window.SetCount(job->progress.found.load(std::memory_order_relaxed));
        if (opener)
            window.OpenedOn = platform::MonitorOf(*opener);
        window.Centre();
        window.show();
        refresh.start(kScanCountRefreshMs);
        while (!cancelled && !future.isFinished())
            loop.exec();
        refresh.stop();
        window.hide();
    }

    if (!future.isFinished()) {
        cancelled = true;
        // A scan that has begun its random deal ends within one draw, and must: the random source
        // is the program's. One still walking never draws once told to stop, so it may be left to
        // itself when the file system keeps it (it holds nothing of the program's but its task).
        const bool drawing = job->progress.Stop();
        waitForScan(future, drawing ? -1 : kScanStopWaitMs, loop);
    }
    QObject::disconnect(&watcher, nullptr, &loop, nullptr);
    owner().forgetEnded();

    basSlides::PictureList.Clear();
    basSlides::PictureList.Sorted(true);
    basSlides::ShowList.Clear();
    basSlides::ShowList.Dims(1);
    basSlides::ShowList.Sorted(false);
    if (cancelled) {
        basSlides::PictureCount = 0;
        return;
    }
    // The result is taken first: it is handed over under the future's lock, and so are the lists.
    const int32_t count = future.result();
    basSlides::ShowList.MoveFrom(job->showList);
    basSlides::PictureCount = count;
}

void EndScans(int exitStatus)
{
    ScanOwner &scans = owner();
    for (auto &scan : scans.scans)
        scan.first->progress.Stop();
    if (scans.pool.waitForDone(kScanEndWaitMs)) {
        scans.scans.clear();
        return;
    }
    // A scan is stuck in the file system (a folder that never answers). Everything the user asked
    // for is saved by now; the program leaves without freeing what that thread may still touch.
    std::fflush(nullptr);
    std::_Exit(exitStatus);
}

} // namespace dialogs
