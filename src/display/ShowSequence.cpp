#include "display/ShowSequence.h"

#include "app/SettingsRules.h"
#include "collection/PictureScan.h"

namespace display {

QString NextPicture(ShowState &s, int32_t &Position)
{
    if (s.positionTag.isEmpty())
        s.positionTag = QStringLiteral("-1");
    // However the list looks, the search ends: after a full round it takes what it has.
    for (int32_t guard = 0;; ++guard) {
        Position = base::ToInt32(base::LeadingNumber(s.positionTag) + 1);
        if (Position >= s.showList.ListCount()) {
            Position = 0;
            if (s.showMode == QLatin1String("Random")) {
                s.pictureList.MoveFrom(s.showList);
                s.showList.Dims(1);
                s.showList.Sorted(false);
                collection::DealRandomOrder(s.pictureList, s.showList, s.pictureCount, s.random);
            }
        }
        s.positionTag = QString::number(Position);
        const QString name = s.showList.List(Position, 0).toString();
        if (s.pictureCount == 1 || name != s.onScreen || guard > s.showList.ListCount())
            return name;
    }
}

} // namespace display
