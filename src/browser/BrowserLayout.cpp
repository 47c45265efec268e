#include "browser/BrowserLayout.h"

#include "app/SettingsRules.h"

namespace browser {

int16_t ColumnCount(double listWidth)
{
    const int16_t n = base::ToInt16(listWidth / 1800.0);
    return n < 1 ? int16_t(1) : n;
}

Layout ComputeLayout(const LayoutInput &in)
{
    Layout out;
    out.drive = {0, 0, in.drive.width, in.drive.height};

    const TwipRect folder{0, in.drive.height, in.drive.width, in.scaleHeight - in.drive.height};
    out.folderMoved = folder.width >= 0 && folder.height >= 0;
    if (out.folderMoved)
        out.folder = folder;

    const double strip = 5 * in.tppx;
    const TwipRect list{in.drive.width + strip, 0, in.scaleWidth - out.drive.left - in.drive.width - strip,
                        in.scaleHeight};
    out.listMoved = list.width >= 0 && list.height >= 0;
    if (out.listMoved)
        out.list = list;

    out.lineX1 = out.drive.left + in.drive.width + 2 * in.tppx;
    out.lineX2 = out.lineX1;
    out.lineY1 = 0;
    out.lineY2 = in.scaleHeight;

    out.columns = ColumnCount(out.listMoved ? list.width : in.listWidth);
    return out;
}

double SplitterWidth(double x, double scaleWidth, double tppx)
{
    // Single precision, as the drag has always computed it.
    float w = float(x - tppx);
    if (float(scaleWidth / 10) > w)
        w = float(scaleWidth / 10);
    if (float(scaleWidth * 9 / 10) < w)
        w = float(scaleWidth * 9 / 10);
    return w;
}

} // namespace browser
