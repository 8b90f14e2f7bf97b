#include "tchart.h"

#include <QPainter>

// Placeholder drawing until the engine lands.

void TChartSeries::SetActive(bool a)
{
    if (a == m_active)
        return;
    m_active = a;
    if (m_owner)
        m_owner->Changed();
}

void TChartSeries::AddXY(double x, double y, const QString &label, const QColor &color)
{
    m_x.append(x);
    m_y.append(y);
    m_label.append(label);
    m_color.append(color);
    if (m_owner)
        m_owner->Changed();
}

void TChartSeries::Delete(int i)
{
    m_x.remove(i);
    m_y.remove(i);
    m_label.remove(i);
    m_color.remove(i);
    if (m_owner)
        m_owner->Changed();
}

void TChartSeries::Clear()
{
    m_x.clear();
    m_y.clear();
    m_label.clear();
    m_color.clear();
    if (m_owner)
        m_owner->Changed();
}

TChart::TChart(QWidget *parent) : QWidget(parent)
{
    for (int i = 0; i < SeriesMax; ++i)
        m_series[i].m_owner = this;
}

TChart::~TChart() = default;

int TChart::CountActiveSeries() const
{
    int n = 0;
    for (const TChartSeries &s : m_series)
        n += s.Active() ? 1 : 0;
    return n;
}

void TChart::SetLeftAxisMax(double v) { m_leftMax = v; Changed(); }
void TChart::SetLeftAxisTitle(const QString &t) { m_leftTitle = t; Changed(); }
void TChart::RecalcBottomAxis() { Changed(); }
void TChart::SetView3D(bool on) { m_view3D = on; Changed(); }
void TChart::SetChart3DPercent(int p) { m_depth = p; Changed(); }
void TChart::SetRotation(int d) { m_rotation = d; Changed(); }
void TChart::SetElevation(int d) { m_elevation = d; Changed(); }
void TChart::SetZoom(int p) { m_zoom = p; Changed(); }
void TChart::SetOrthogonal(bool o) { m_orthogonal = o; Changed(); }
void TChart::SetPrintMargins(int l, int t, int r, int b)
{
    m_marginL = l; m_marginT = t; m_marginR = r; m_marginB = b;
}
void TChart::PrintPreview(QWidget *) {}
void TChart::render(QPainter &p, const QRectF &r) { p.fillRect(r, Qt::white); }
void TChart::Changed() { update(); }
void TChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    render(p, rect());
}
