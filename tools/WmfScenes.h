#pragma once

#include <QByteArray>

// The drawings behind the metafile samples, recorded with WmfWriter. Empty on failure.
class WmfScenes
{
public:
    // Placeable, 1440 units per inch, 640x480 at 96 dpi.
    static QByteArray countryside();
    // Placeable, 1440 units per inch, 480x640 at 96 dpi.
    static QByteArray rocket();
    // No placeable header: a 400x300 window extent is all a reader gets.
    static QByteArray geometry();
    // Placeable, 576 units per inch, 500x500 at 96 dpi.
    static QByteArray mandala();
};
