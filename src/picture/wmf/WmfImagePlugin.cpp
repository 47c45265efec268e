#include "picture/wmf/WmfImagePlugin.h"

#include "picture/wmf/WmfImageHandler.h"

namespace picture {

QImageIOPlugin::Capabilities WmfImagePlugin::capabilities(QIODevice *device, const QByteArray &format) const
{
    if (format == "wmf")
        return CanRead;
    if (!format.isEmpty() || !device || !device->isOpen())
        return {};
    return WmfImageHandler::canRead(device) ? Capabilities(CanRead) : Capabilities();
}

QImageIOHandler *WmfImagePlugin::create(QIODevice *device, const QByteArray &format) const
{
    auto *handler = new WmfImageHandler;
    handler->setDevice(device);
    handler->setFormat(format.isEmpty() ? QByteArray("wmf") : format);
    return handler;
}

} // namespace picture
