#pragma once

#include "picture/thumbs/ThumbnailQueue.h"
#include "platform/FileList.h"

#include <QObject>

#include <memory>

namespace browser {

// The pictures of the file list's grid: thumbnails from the desktop's shared cache, made on
// workers when missing, the rows on screen first. A file that is no picture gets the generic
// file mark without being read.
class ThumbnailCells : public QObject, public platform::CellPictures
{
    Q_OBJECT
public:
    // `box`: the thumbnails' size in device pixels (128 at 1x, 256 at 2x).
    ThumbnailCells(platform::FileList &list, int box);

    Kind Cell(int row, QImage &image) override;
    void FilesChanged(int count) override;
    void Shown(int first, int last, bool down) override;

    picture::ThumbnailQueue &Queue() { return m_queue; }

private:
    bool isPicture(int row) const;
    void settled(int row);
    void traceProgress();

    platform::FileList &m_list;
    picture::ThumbnailQueue m_queue;
    int m_box;
    int m_first = 0;
    int m_last = -1;
    int m_count = 0;
    // For the benchmarks' trace: what has been told of the current folder.
    bool m_toldScreenful = false;
    bool m_toldAll = false;
};

// The thumbnails' size in device pixels for a window of that device pixel ratio.
int ThumbnailBox(double devicePixelRatio);

} // namespace browser
