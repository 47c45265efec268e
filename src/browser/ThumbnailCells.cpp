#include "browser/ThumbnailCells.h"

#include "collection/PictureScan.h"
#include "platform/Trace.h"

#include <QFileInfo>
#include <QImageReader>
#include <QSet>

#include <cmath>

namespace browser {

namespace {

std::shared_ptr<const picture::ThumbnailCache> sharedCache()
{
    static const std::shared_ptr<const picture::ThumbnailCache> cache = std::make_shared<picture::ThumbnailCache>();
    return cache;
}

bool qtReads(const QString &name)
{
    static const QSet<QByteArray> formats = [] {
        QSet<QByteArray> set;
        for (const QByteArray &f : QImageReader::supportedImageFormats())
            set.insert(f.toLower());
        return set;
    }();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 && formats.contains(name.mid(dot + 1).toLower().toUtf8());
}

} // namespace

int ThumbnailBox(double devicePixelRatio)
{
    return devicePixelRatio > 1.5 ? 256 : 128;
}

ThumbnailCells::ThumbnailCells(platform::FileList &list, int box)
    : QObject(&list), m_list(list), m_queue(sharedCache(), this), m_box(box)
{
    m_queue.setBox(box);
    connect(&m_queue, &picture::ThumbnailQueue::ready, this, &ThumbnailCells::settled);
    connect(&m_queue, &picture::ThumbnailQueue::failedRow, this, &ThumbnailCells::settled);
}

bool ThumbnailCells::isPicture(int row) const
{
    const QString name = m_list.List(row);
    return collection::IsPictureName(name) || qtReads(name);
}

platform::CellPictures::Kind ThumbnailCells::Cell(int row, QImage &image)
{
    if (!isPicture(row))
        return Kind::NotAPicture;
    if (m_queue.failed(row))
        return Kind::Cannot;
    image = m_queue.thumbnail(row);
    if (image.isNull())
        return Kind::Waiting;
    image.setDevicePixelRatio(m_box / 128.0);
    return Kind::Picture;
}

void ThumbnailCells::FilesChanged(int count)
{
    m_count = count;
    m_toldScreenful = m_toldAll = false;
    // The path is asked for when a worker is about to take the row: the folder is the list's by
    // then. A file that is no picture is never read (an empty path).
    m_queue.setFiles(count, [this](int row) {
        return isPicture(row) ? m_list.Tag() + m_list.List(row) : QString();
    });
}

void ThumbnailCells::Shown(int first, int last, bool down)
{
    m_first = first;
    m_last = last;
    m_queue.setVisible(first, last, down ? picture::ThumbnailQueue::Scroll::Down : picture::ThumbnailQueue::Scroll::Up);
    traceProgress();
}

void ThumbnailCells::settled(int row)
{
    m_list.UpdateCell(row);
    traceProgress();
}

void ThumbnailCells::traceProgress()
{
    if (!platform::Tracing() || m_count == 0)
        return;
    QImage image;
    if (!m_toldScreenful) {
        bool all = true;
        for (int row = m_first; row <= m_last && all; ++row)
            all = Cell(row, image) != Kind::Waiting;
        if (all && m_last >= m_first) {
            m_toldScreenful = true;
            m_list.viewport()->repaint(); // drawn, not only ready
            platform::Trace("screenful-drawn");
        }
    }
    if (!m_toldAll && m_queue.idle()) {
        m_toldAll = true;
        platform::Trace("all-drawn");
    }
}

} // namespace browser
