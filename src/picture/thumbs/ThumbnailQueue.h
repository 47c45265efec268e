#pragma once

#include "picture/thumbs/ThumbnailCache.h"

#include <QHash>
#include <QImage>
#include <QObject>

#include <functional>
#include <list>
#include <memory>
#include <vector>

// The work behind a view of thumbnails, run on the window thread. The view says which files it
// shows (rows in name order) and which rows are on screen; the queue fetches thumbnails on
// low-priority worker threads, one per core, in this order: the visible rows, then the next
// screenful in the direction of scrolling (nearest first), then, when allowed, the rest of the
// folder in name order. Nothing waits in a queue: each time a worker is free the next row is
// chosen from what is wanted at that moment, so rows that scrolled away are never fetched for
// their old place however far the user scrolls. Fetched thumbnails are kept here, within a bound
// of bytes, for the view to paint.
namespace picture {

class ThumbnailQueue : public QObject
{
    Q_OBJECT
public:
    // Called on a worker: the thumbnail of the file at `path` fitting `box`.
    using Fetch = std::function<ThumbnailCache::Thumbnail(const QString &path, int box)>;
    // Called on the window thread: the file at `row`; empty for one that is not to be read.
    using PathOf = std::function<QString(int row)>;

    enum class Scroll { Down, Up };

    static constexpr qint64 kDefaultKeptBytes = qint64(64) << 20;

    // Fetches through `cache`, on as many workers as there are cores.
    explicit ThumbnailQueue(std::shared_ptr<const ThumbnailCache> cache, QObject *parent = nullptr);
    ThumbnailQueue(Fetch fetch, int workers, QObject *parent = nullptr);
    // Returns at once: fetches in flight finish on their own and their results are dropped.
    ~ThumbnailQueue() override;

    // The files shown, `count` rows. Forgets every thumbnail and row of the files shown before.
    // Call it whenever the rows change (before the window thread goes back to its events):
    // `pathOf` is asked only for rows below `count`, when their turn comes.
    void setFiles(int count, PathOf pathOf);
    // The box thumbnails fit, in device pixels (128 at 1x, 256 at 2x...). Forgets every thumbnail.
    void setBox(int box);
    // Rows first..last are on screen, the user scrolling in `direction`.
    void setVisible(int first, int last, Scroll direction = Scroll::Down);
    // Whether rows off screen are fetched once the visible ones and the next screenful are done.
    void setFillRest(bool fill);
    // The thumbnails kept; rows on screen and the next screenful are kept even beyond it.
    void setKeptBytes(qint64 bytes);

    // The thumbnail of `row` when fetched and still kept, else null. Counts as a use.
    QImage thumbnail(int row);
    // True when no thumbnail could be made of the file at `row`.
    bool failed(int row) const;
    // True when nothing is being fetched and nothing more is wanted.
    bool idle();
    qint64 keptBytes() const { return m_keptBytes; }

signals:
    // thumbnail(row) now has it.
    void ready(int row);
    // No thumbnail can be made of the file at `row`.
    void failedRow(int row);

private:
    enum class State : quint8 { Wanted, InFlight, Done, Failed };
    struct Kept
    {
        QImage image;
        std::list<int>::iterator use;
    };
    struct Link;

    void pump();
    int nextRow(bool take);
    bool protectedRow(int row) const;
    void deliver(quint64 generation, int row, const ThumbnailCache::Thumbnail &thumbnail);
    void keep(int row, const QImage &image);
    void trim();
    void forgetAll();

    Fetch m_fetch;
    int m_workers;
    std::shared_ptr<Link> m_link;
    PathOf m_pathOf;
    int m_count = 0;
    int m_box = 128;
    int m_first = 0;
    int m_last = -1;
    Scroll m_direction = Scroll::Down;
    bool m_fillRest = true;
    int m_restFrom = 0; // the rest of the folder is fetched from here on
    int m_inFlight = 0;
    bool m_pumpPending = false;
    quint64 m_generation = 0;
    std::vector<State> m_state;
    QHash<int, Kept> m_kept;
    std::list<int> m_uses; // most recent first
    qint64 m_keptBytes = 0;
    qint64 m_keptLimit = kDefaultKeptBytes;
};

} // namespace picture
