#pragma once

// What the window tests share: real pictures on disk, and letting unloaded windows go.

#include "platform/FileList.h"
#include "platform/FileSys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>

#include <cstdio>

namespace guitest {

// Windows unloaded by code are destroyed later; this is "later".
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A plain picture, JPEG for .jpg names, else BMP; the path may hold any bytes (EncodePath).
inline bool writePicture(const QString &path, int w = 60, int h = 40, QColor color = Qt::darkCyan)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    QDir().mkpath(QFileInfo(path).absolutePath());
    FILE *raw = std::fopen(platform::EncodePath(path).constData(), "wb");
    QFile f;
    if (!raw || !f.open(raw, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        return false;
    return image.save(&f, QFileInfo(path).suffix().toLower() == QLatin1String("jpg") ? "JPEG" : "BMP");
}

// The same for a path given as the file system's bytes (names that are not UTF-8).
inline bool writePicture(const QByteArray &raw)
{
    return writePicture(platform::DecodeName(raw.constData(), size_t(raw.size())));
}

inline QStringList entries(const platform::FileList *l)
{
    QStringList out;
    for (int i = 0; i < l->ListCount(); ++i)
        out << l->List(i);
    return out;
}

} // namespace guitest
