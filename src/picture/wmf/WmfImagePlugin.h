#pragma once

#include <QImageIOPlugin>

namespace picture {

// Makes QImageReader read Windows metafiles (format "wmf"). Built in statically and imported
// by PictureLoader.cpp, so it is there without any plugin path or environment variable.
class WmfImagePlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "wmf.json")

public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override;
    QImageIOHandler *create(QIODevice *device, const QByteArray &format = QByteArray()) const override;
};

} // namespace picture
