#pragma once

// Layout and drawing of a TChart on any paint device. The same code serves the screen and
// the printer: sizes are given in screen pixels and scaled by the device's resolution.

#include "projection.h"
#include "tchart.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QVector>

class QPaintDevice;

namespace ChartRender {

struct TLayout
{
    QRectF frame;       // the whole chart
    QRectF plot;        // room for the axis box (the 3D box is fitted into it)
    double unit = 1;    // device pixels per screen pixel
    double lineH = 12;  // label line height
    double pad = 4;     // gap between labels and lines
    double tickLen = 4; // axis tick marks
    double yLabelW = 0; // widest value label
    double dateLen = 0; // length of a turned date-time label
    QFont font;
    TChartRange range;
    bool hasX = false; // false while there is nothing to put on the bottom axis
    ChartMath::TProjection proj;
    QVector<double> xTicks, yTicks;
    int yDecimals = 0;
};

// Turned labels drawn once as images: the painter draws turned text glyph by glyph as
// outlines, which costs more than the whole trace drawing. Screen only; the printer gets
// real text.
class TLabelCache
{
public:
    // text laid out in a box of the given size (screen units) with alignment, then turned
    // by 90 degrees to read upwards.
    QImage Turned(const QString &text, const QFont &font, const QSizeF &box, int align, qreal dpr);

private:
    QHash<QString, QImage> m_images;
    QString m_fontKey;
    qreal m_dpr = 0;
};

TLayout Compute(const TChart &chart, const QPaintDevice *device, const QRectF &r);
// cache may be null.
void Draw(const TChart &chart, const TLayout &layout, QPainter &p, TLabelCache *cache);

// Model coordinates of a data point (x in days, y in volts) inside the layout's box.
QPointF ToModel(const TLayout &layout, double x, double y);

} // namespace ChartRender
