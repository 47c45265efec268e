#include "picture/thumbs/ThumbnailQueue.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <exception>

#include <sys/resource.h>
#include <unistd.h>

namespace picture {

namespace {

// Workers run this much nicer than the window thread, so that scrolling stays smooth while every
// core decodes.
constexpr int kWorkerNiceness = 5;

QThreadPool &thumbnailThreads()
{
    static QThreadPool pool;
    static const bool sized = [] {
        pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
        return true;
    }();
    Q_UNUSED(sized);
    return pool;
}

void lowerThisThread()
{
    thread_local const bool lowered = [] {
        const pid_t self = ::gettid();
        const int now = ::getpriority(PRIO_PROCESS, id_t(self));
        return ::setpriority(PRIO_PROCESS, id_t(self), std::min(19, now + kWorkerNiceness)) == 0;
    }();
    Q_UNUSED(lowered);
}

} // namespace

// What a worker reaches the queue through; cut when the queue goes.
struct ThumbnailQueue::Link
{
    QMutex lock;
    ThumbnailQueue *queue = nullptr;
};

ThumbnailQueue::ThumbnailQueue(std::shared_ptr<const ThumbnailCache> cache, QObject *parent)
    : ThumbnailQueue([cache](const QString &path, int box) { return cache->Fetch(path, box); },
                     QThread::idealThreadCount(), parent)
{
}

ThumbnailQueue::ThumbnailQueue(Fetch fetch, int workers, QObject *parent)
    : QObject(parent), m_fetch(std::move(fetch)), m_workers(std::max(1, workers)), m_link(std::make_shared<Link>())
{
    m_link->queue = this;
}

ThumbnailQueue::~ThumbnailQueue()
{
    const QMutexLocker lock(&m_link->lock);
    m_link->queue = nullptr;
}

void ThumbnailQueue::setFiles(int count, PathOf pathOf)
{
    m_count = std::max(0, count);
    m_pathOf = std::move(pathOf);
    forgetAll();
}

void ThumbnailQueue::setBox(int box)
{
    if (box == m_box || box <= 0)
        return;
    m_box = box;
    forgetAll();
}

void ThumbnailQueue::setVisible(int first, int last, Scroll direction)
{
    m_first = first;
    m_last = last;
    m_direction = direction;
    // Called once a window thread's turn at most: the view may set its files and rows together.
    if (!m_pumpPending) {
        m_pumpPending = true;
        QMetaObject::invokeMethod(this, [this] { m_pumpPending = false; pump(); }, Qt::QueuedConnection);
    }
}

void ThumbnailQueue::setFillRest(bool fill)
{
    m_fillRest = fill;
    setVisible(m_first, m_last, m_direction);
}

void ThumbnailQueue::setKeptBytes(qint64 bytes)
{
    m_keptLimit = bytes;
    trim();
}

QImage ThumbnailQueue::thumbnail(int row)
{
    const auto it = m_kept.find(row);
    if (it == m_kept.end())
        return QImage();
    m_uses.splice(m_uses.begin(), m_uses, it->use);
    return it->image;
}

bool ThumbnailQueue::failed(int row) const
{
    return row >= 0 && row < m_count && m_state[size_t(row)] == State::Failed;
}

bool ThumbnailQueue::idle()
{
    return m_inFlight == 0 && !m_pumpPending && nextRow(false) < 0;
}

void ThumbnailQueue::forgetAll()
{
    ++m_generation;
    m_state.assign(size_t(m_count), State::Wanted);
    m_kept.clear();
    m_uses.clear();
    m_keptBytes = 0;
    m_restFrom = 0;
    setVisible(m_first, m_last, m_direction);
}

int ThumbnailQueue::nextRow(bool take)
{
    const auto wanted = [this](int row) { return m_state[size_t(row)] == State::Wanted; };
    const int first = std::max(m_first, 0), last = std::min(m_last, m_count - 1);
    for (int row = first; row <= last; ++row)
        if (wanted(row))
            return row;
    const int screen = m_last - m_first + 1;
    if (screen > 0 && m_direction == Scroll::Down) {
        for (int row = std::max(m_last + 1, 0), end = std::min(m_last + screen, m_count - 1); row <= end; ++row)
            if (wanted(row))
                return row;
    } else if (screen > 0) {
        for (int row = std::min(m_first - 1, m_count - 1), end = std::max(m_first - screen, 0); row >= end; --row)
            if (wanted(row))
                return row;
    }
    if (!m_fillRest)
        return -1;
    while (m_restFrom < m_count && !wanted(m_restFrom))
        ++m_restFrom;
    // Passed once taken: dropped later to stay within the bound, it is not fetched again for the
    // rest of the folder (only when it comes back into view).
    if (m_restFrom >= m_count)
        return -1;
    return take ? m_restFrom++ : m_restFrom;
}

void ThumbnailQueue::pump()
{
    while (m_inFlight < m_workers) {
        const int row = nextRow(true);
        if (row < 0)
            return;
        QString path = m_pathOf(row);
        if (path.isEmpty()) { // nothing to read there
            m_state[size_t(row)] = State::Failed;
            continue;
        }
        m_state[size_t(row)] = State::InFlight;
        ++m_inFlight;
        thumbnailThreads().start([link = m_link, fetch = m_fetch, path = std::move(path), box = m_box,
                                  generation = m_generation, row] {
            lowerThisThread();
            ThumbnailCache::Thumbnail thumbnail;
            try {
                thumbnail = fetch(path, box);
            } catch (const std::exception &) {
                thumbnail = {}; // out of memory on the way: no thumbnail, and the queue goes on
            }
            const QMutexLocker lock(&link->lock);
            if (ThumbnailQueue *queue = link->queue)
                QMetaObject::invokeMethod(queue, [queue, generation, row, thumbnail] {
                    queue->deliver(generation, row, thumbnail);
                }, Qt::QueuedConnection);
        });
    }
}

void ThumbnailQueue::deliver(quint64 generation, int row, const ThumbnailCache::Thumbnail &thumbnail)
{
    --m_inFlight;
    if (generation == m_generation && row < m_count) {
        if (thumbnail.image.isNull()) {
            m_state[size_t(row)] = State::Failed;
            emit failedRow(row);
        } else {
            m_state[size_t(row)] = State::Done;
            keep(row, thumbnail.image);
            emit ready(row);
        }
    }
    pump();
}

bool ThumbnailQueue::protectedRow(int row) const
{
    const int screen = m_last - m_first + 1;
    if (screen <= 0)
        return false;
    const int from = m_direction == Scroll::Down ? m_first : m_first - screen;
    const int to = m_direction == Scroll::Down ? m_last + screen : m_last;
    return row >= from && row <= to;
}

void ThumbnailQueue::keep(int row, const QImage &image)
{
    m_uses.push_front(row);
    m_kept.insert(row, Kept{image, m_uses.begin()});
    m_keptBytes += image.sizeInBytes();
    trim();
}

void ThumbnailQueue::trim()
{
    // Least recently used first; what is on screen or next stays, or the view would fetch it
    // again and again.
    auto it = m_uses.end();
    while (m_keptBytes > m_keptLimit && it != m_uses.begin()) {
        --it;
        const int row = *it;
        if (protectedRow(row))
            continue;
        const auto kept = m_kept.find(row);
        m_keptBytes -= kept->image.sizeInBytes();
        m_kept.erase(kept);
        it = m_uses.erase(it);
        if (m_state[size_t(row)] == State::Done)
            m_state[size_t(row)] = State::Wanted;
    }
}

} // namespace picture
