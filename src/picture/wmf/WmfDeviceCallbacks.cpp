#include "picture/wmf/WmfCanvas.h"

#include "picture/wmf/WmfHeader.h"

namespace picture {

// The functions libwmf calls while playing: each finds the play's canvas and hands it the record.

namespace {

void deviceBegin(wmfAPI *api)
{
    if (WmfCanvas *c = WmfCanvas::of(api))
        c->begin();
}

void deviceEnd(wmfAPI *api)
{
    if (WmfCanvas *c = WmfCanvas::of(api); c && c->painter.isActive())
        c->painter.end();
}

// A drawing record handed to the canvas: each counts as a primitive (see WmfCanvas::drawing()).
template <auto draw, typename Record>
void drawRecord(wmfAPI *api, Record *record)
{
    if (WmfCanvas *c = WmfCanvas::of(api); c && c->drawing())
        (c->*draw)(record);
}

template <WmfCanvas::ArcShape shape>
void drawArc(wmfAPI *api, wmfDrawArc_t *a)
{
    if (WmfCanvas *c = WmfCanvas::of(api); c && c->drawing())
        c->arc(a, shape);
}

void bmpRead(wmfAPI *api, wmfBMP_Read_t *r)
{
    // The file was checked as a whole before playing; this catches a bitmap reached through
    // a record chain that libwmf walks differently. Left unread, the record is skipped.
    if (!r->buffer || r->length <= 0
        || !WmfHeader::plausibleDib(QByteArrayView(r->buffer, qsizetype(r->length))))
        return;
    wmf_ipa_bmp_read(api, r);
}

void bmpFree(wmfAPI *api, wmfBMP *bmp)
{
    if (WmfCanvas *c = WmfCanvas::of(api); c && bmp->data)
        c->patterns.remove(bmp->data);
    wmf_ipa_bmp_free(api, bmp);
}

void regionClip(wmfAPI *api, wmfPolyRectangle_t *r)
{
    WmfCanvas *c = WmfCanvas::of(api);
    if (!c || !c->begun || c->failed || !c->painter.isActive())
        return;
    c->clip(r);
}

} // namespace

void WmfPainterDevice::install(wmfAPI *api)
{
    auto *fr = static_cast<wmfFunctionReference *>(api->function_reference);
    api->device_data = nullptr;
    if (!fr)
        return;
    fr->device_open = [](wmfAPI *) {};
    fr->device_close = [](wmfAPI *) {};
    fr->device_begin = deviceBegin;
    fr->device_end = deviceEnd;
    fr->flood_interior = [](wmfAPI *, wmfFlood_t *) {}; // flood fills are not drawn
    fr->flood_exterior = [](wmfAPI *, wmfFlood_t *) {};
    fr->draw_pixel = drawRecord<&WmfCanvas::pixel>;
    fr->draw_pie = drawArc<WmfCanvas::ArcShape::Pie>;
    fr->draw_chord = drawArc<WmfCanvas::ArcShape::Chord>;
    fr->draw_arc = drawArc<WmfCanvas::ArcShape::Open>;
    fr->draw_ellipse = drawRecord<&WmfCanvas::ellipse>;
    fr->draw_line = drawRecord<&WmfCanvas::line>;
    fr->poly_line = drawRecord<&WmfCanvas::polyline>;
    fr->draw_polygon = drawRecord<&WmfCanvas::polygon>;
    fr->draw_polypolygon = drawRecord<&WmfCanvas::polyPolygon>;
    fr->draw_rectangle = drawRecord<&WmfCanvas::rectangle>;
    fr->rop_draw = drawRecord<&WmfCanvas::rasterOp>;
    fr->bmp_draw = drawRecord<&WmfCanvas::drawBitmap>;
    fr->bmp_read = bmpRead;
    fr->bmp_free = bmpFree;
    fr->draw_text = drawRecord<&WmfCanvas::drawText>;
    fr->udata_init = [](wmfAPI *, wmfUserData_t *) {};
    fr->udata_copy = [](wmfAPI *, wmfUserData_t *) {};
    fr->udata_set = [](wmfAPI *, wmfUserData_t *) {};
    fr->udata_free = [](wmfAPI *, wmfUserData_t *) {};
    fr->region_frame = drawRecord<&WmfCanvas::frameRegion>;
    fr->region_paint = drawRecord<&WmfCanvas::paintRegion>;
    fr->region_clip = regionClip;
}

} // namespace picture
