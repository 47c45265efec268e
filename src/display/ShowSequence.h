#pragma once

#include "collection/RandomSource.h"
#include "collection/clsLinkList.h"

#include <QString>

#include <cstdint>

namespace display {

// The show's lists and position, as the show window keeps them.
struct ShowState
{
    clsLinkList &showList;
    clsLinkList &pictureList;
    int32_t &pictureCount;
    QString &positionTag;  // decimal position of the picture on screen; "" before the first
    const QString &showMode; // "Random" deals a new order at every wrap
    const QString &onScreen; // full path of the picture on screen
    RandomSource &random;
};

// The next picture of the show and its position: one past the position in the tag, wrapping
// to 0 at the end (dealing a new random order first in random mode), and never the picture on
// screen twice in a row unless it is the only one.
QString NextPicture(ShowState &s, int32_t &Position);

} // namespace display
