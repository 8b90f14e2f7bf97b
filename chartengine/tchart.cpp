#include "tchart.h"

#include "chartrender.h"

#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {
constexpr double OneSecond = 1.0 / 86400.0;
constexpr int ZoomAnimationMs = 200;
constexpr int MinDragPx = 4; // a shorter drag is a click, not a zoom

[[noreturn]] void IndexError(int i)
{
    throw std::out_of_range("List index out of bounds (" + std::to_string(i) + ")");
}
} // namespace

// ---- series ----

int TChartSeries::Checked(int i) const
{
    if (i < 0 || i >= Count())
        IndexError(i);
    return i;
}

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
    // A point without a place on the axes would spoil the order and the ranges of all.
    if (!std::isfinite(x) || !std::isfinite(y))
        throw std::invalid_argument("Invalid point value");
    if (m_x.isEmpty() || x >= m_x.last()) {
        m_x.append(x);
        m_y.append(y);
        m_label.append(label);
        m_color.append(color);
        m_rgb.append(color.rgba());
    } else {
        const qsizetype i = std::upper_bound(m_x.begin(), m_x.end(), x) - m_x.begin();
        m_x.insert(i, x);
        m_y.insert(i, y);
        m_label.insert(i, label);
        m_color.insert(i, color);
        m_rgb.insert(i, color.rgba());
    }
    if (m_owner)
        m_owner->SeriesChanged(*this);
}

void TChartSeries::Delete(int i)
{
    Checked(i);
    m_x.remove(i);
    m_y.remove(i);
    m_label.remove(i);
    m_color.remove(i);
    m_rgb.remove(i);
    if (m_owner)
        m_owner->SeriesChanged(*this);
}

void TChartSeries::Clear()
{
    if (m_x.isEmpty())
        return;
    m_x.clear();
    m_y.clear();
    m_label.clear();
    m_color.clear();
    m_rgb.clear();
    if (m_owner)
        m_owner->SeriesChanged(*this);
}

// ---- chart ----

TChart::TChart(QWidget *parent)
    : QWidget(parent), m_labels(std::make_unique<ChartRender::TLabelCache>())
{
    for (int i = 0; i < SeriesMax; ++i)
        m_series[i].m_owner = this;
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    setMinimumSize(120, 120);
}

TChart::~TChart() = default;

int TChart::CheckedSeries(int index)
{
    if (index < 0 || index >= SeriesMax)
        IndexError(index);
    return index;
}

int TChart::CountActiveSeries() const
{
    int n = 0;
    for (const TChartSeries &s : m_series)
        n += s.Active() ? 1 : 0;
    return n;
}

void TChart::SetLeftAxisMax(double v)
{
    if (v == m_leftMax || !std::isfinite(v))
        return;
    m_leftMax = v;
    RequestRepaint();
}

void TChart::SetLeftAxisTitle(const QString &t)
{
    if (t == m_leftTitle)
        return;
    m_leftTitle = t;
    RequestRepaint();
}

void TChart::RecalcBottomAxis()
{
    UpdateBottomRange();
    RequestRepaint();
}

void TChart::SetView3D(bool on)
{
    if (on == m_view3D)
        return;
    m_view3D = on;
    RequestRepaint();
}

namespace {
// Stores a clamped setting; true when it changed.
bool Store(int &field, int value, int lo, int hi)
{
    value = std::clamp(value, lo, hi);
    if (value == field)
        return false;
    field = value;
    return true;
}
} // namespace

void TChart::SetChart3DPercent(int p)
{
    if (Store(m_depth, p, 1, 100) && m_view3D)
        RequestRepaint();
}

void TChart::SetRotation(int d)
{
    if (Store(m_rotation, d, 270, 360) && m_view3D)
        RequestRepaint();
}

void TChart::SetElevation(int d)
{
    if (Store(m_elevation, d, 270, 360) && m_view3D)
        RequestRepaint();
}

void TChart::SetZoom(int p)
{
    if (Store(m_zoom, p, 25, 500) && m_view3D)
        RequestRepaint();
}

void TChart::SetOrthogonal(bool o)
{
    if (o == m_orthogonal)
        return;
    m_orthogonal = o;
    if (m_view3D)
        RequestRepaint();
}

void TChart::SetPrintMargins(int l, int t, int r, int b)
{
    m_marginL = std::clamp(l, 0, 45);
    m_marginT = std::clamp(t, 0, 45);
    m_marginR = std::clamp(r, 0, 45);
    m_marginB = std::clamp(b, 0, 45);
}

void TChart::Changed()
{
    UpdateBottomRange();
    RequestRepaint();
}

void TChart::SeriesChanged(const TChartSeries &s)
{
    // Points of a hidden series change nothing on the screen.
    if (s.Active())
        Changed();
}

void TChart::UpdateBottomRange()
{
    bool any = false;
    double lo = 0, hi = 0;
    for (const TChartSeries &s : m_series) {
        if (!s.Active() || s.m_x.isEmpty())
            continue;
        const double a = s.m_x.first(), b = s.m_x.last();
        lo = any ? std::min(lo, a) : a;
        hi = any ? std::max(hi, b) : b;
        any = true;
    }
    m_hasBottom = any;
    m_bottomMin = lo;
    m_bottomMax = hi;
}

void TChart::RequestRepaint()
{
    m_frameValid = false;
    // Many points arrive in one tick; one update() per batch is enough.
    if (m_repaintPending)
        return;
    m_repaintPending = true;
    update();
}

TChartRange TChart::ViewRange() const
{
    if (m_zoomed)
        return m_zoomRange;
    TChartRange r;
    if (m_hasBottom) {
        r.xMin = m_bottomMin;
        r.xMax = m_bottomMax;
        if (r.xMax - r.xMin < OneSecond) {
            const double mid = (r.xMin + r.xMax) / 2;
            r.xMin = mid - OneSecond / 2;
            r.xMax = mid + OneSecond / 2;
        }
    }
    r.yMin = m_leftMin;
    // An axis maximum at or below the minimum would leave no room to draw in.
    r.yMax = m_leftMax > m_leftMin ? m_leftMax : m_leftMin + 1;
    return r;
}

void TChart::ZoomTo(const TChartRange &range)
{
    TChartRange r = range;
    if (r.xMin > r.xMax)
        std::swap(r.xMin, r.xMax);
    if (r.yMin > r.yMax)
        std::swap(r.yMin, r.yMax);
    // Keep a range the axis maths can divide by.
    if (!(r.xMax - r.xMin > OneSecond / 1000) || !(r.yMax - r.yMin > 1e-9))
        return;
    AnimateTo(r, true);
}

void TChart::UndoZoom()
{
    if (!m_zoomed)
        return;
    // Back to the automatic ranges as they are now, with the points added meanwhile.
    m_zoomed = false;
    const TChartRange target = ViewRange();
    m_zoomed = true;
    AnimateTo(target, false);
}

void TChart::AnimateTo(const TChartRange &target, bool zoomedAfter)
{
    const TChartRange from = ViewRange();
    if (m_anim)
        m_anim->stop();
    if (!m_animatedZoom) {
        m_zoomRange = target;
        m_zoomed = zoomedAfter;
        RequestRepaint();
        return;
    }
    if (!m_anim) {
        m_anim = new QVariantAnimation(this);
        m_anim->setDuration(ZoomAnimationMs);
        m_anim->setEasingCurve(QEasingCurve::OutCubic);
    }
    m_anim->disconnect(this);
    // Interpolated as a rectangle: x..x+w over the days, y..y+h over the volts.
    m_anim->setStartValue(
        QRectF(from.xMin, from.yMin, from.xMax - from.xMin, from.yMax - from.yMin));
    m_anim->setEndValue(
        QRectF(target.xMin, target.yMin, target.xMax - target.xMin, target.yMax - target.yMin));
    m_zoomed = true;
    connect(m_anim, &QVariantAnimation::valueChanged, this, [this](const QVariant &v) {
        const QRectF r = v.toRectF();
        m_zoomRange = {r.left(), r.right(), r.top(), r.bottom()};
        RequestRepaint();
    });
    connect(m_anim, &QVariantAnimation::finished, this, [this, target, zoomedAfter] {
        m_zoomRange = target;
        m_zoomed = zoomedAfter;
        RequestRepaint();
    });
    m_anim->start();
}

bool TChart::ScreenToData(const QPointF &pos, double &x, double &y)
{
    const ChartRender::TLayout l = ChartRender::Compute(*this, this, QRectF(rect()));
    bool ok = false;
    const QTransform inv = l.proj.FrontPlane().inverted(&ok);
    if (!ok)
        return false;
    const QPointF m = inv.map(pos);
    x = l.range.xMin + m.x() / l.proj.Width() * (l.range.xMax - l.range.xMin);
    y = l.range.yMin + m.y() / l.proj.Height() * (l.range.yMax - l.range.yMin);
    return std::isfinite(x) && std::isfinite(y);
}

void TChart::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(e);
    m_dragging = true;
    m_dragStart = m_dragEnd = e->position().toPoint();
}

void TChart::mouseMoveEvent(QMouseEvent *e)
{
    if (!m_dragging)
        return QWidget::mouseMoveEvent(e);
    m_dragEnd = e->position().toPoint();
    update();
}

void TChart::mouseReleaseEvent(QMouseEvent *e)
{
    if (!m_dragging || e->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(e);
    m_dragging = false;
    m_dragEnd = e->position().toPoint();
    update();
    const QPoint d = m_dragEnd - m_dragStart;
    if (std::abs(d.x()) < MinDragPx && std::abs(d.y()) < MinDragPx)
        return;
    // Towards the lower right zooms in; any other direction goes back, as operators of
    // classic chart components expect.
    if (d.x() < MinDragPx || d.y() < MinDragPx) {
        UndoZoom();
        return;
    }
    double x0, y0, x1, y1;
    if (!ScreenToData(m_dragStart, x0, y0) || !ScreenToData(m_dragEnd, x1, y1))
        return;
    ZoomTo({std::min(x0, x1), std::max(x0, x1), std::min(y0, y1), std::max(y0, y1)});
}

void TChart::render(QPainter &p, const QRectF &r)
{
    if (m_renderObserver)
        m_renderObserver(r);
    const ChartRender::TLayout l = ChartRender::Compute(*this, p.device(), r);
    ChartRender::Draw(*this, l, p, m_labels.get());
}

void TChart::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::FontChange || e->type() == QEvent::StyleChange)
        RequestRepaint();
    QWidget::changeEvent(e);
}

void TChart::paintEvent(QPaintEvent *)
{
    m_repaintPending = false;
    const qreal dpr = devicePixelRatioF();
    const QSize px = (QSizeF(size()) * dpr).toSize();
    if (!m_frameValid || m_frame.size() != px) {
        if (m_frame.size() != px)
            m_frame = QImage(px, QImage::Format_ARGB32_Premultiplied);
        m_frame.setDevicePixelRatio(dpr);
        QPainter fp(&m_frame);
        render(fp, QRectF(rect()));
        m_frameValid = true;
    }
    QPainter p(this);
    p.drawImage(0, 0, m_frame);
    if (m_dragging) {
        const QRect band = QRect(m_dragStart, m_dragEnd).normalized();
        p.setPen(QPen(Qt::black, 1, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(band);
    }
}

QRectF TChart::PrintArea(const QRectF &page, const QMargins &percent, bool proportional,
                         const QSizeF &screenSize)
{
    QRectF area = page.adjusted(
        page.width() * percent.left() / 100.0, page.height() * percent.top() / 100.0,
        -page.width() * percent.right() / 100.0, -page.height() * percent.bottom() / 100.0);
    if (proportional && screenSize.width() > 0 && screenSize.height() > 0 && area.isValid()) {
        const QSizeF fit = screenSize.scaled(area.size(), Qt::KeepAspectRatio);
        area = QRectF(area.left() + (area.width() - fit.width()) / 2,
                      area.top() + (area.height() - fit.height()) / 2, fit.width(), fit.height());
    }
    return area;
}

QRectF TChart::Print(QPrinter &printer)
{
    QPainter p;
    if (!p.begin(&printer))
        throw std::runtime_error("The printer could not be started");
    const QRectF page(0, 0, printer.width(), printer.height());
    const QRectF area = PrintArea(page, PrintMargins(), m_printProportional, QSizeF(size()));
    render(p, area);
    p.end();
    return area;
}

void TChart::PrintPreview(QWidget *owner)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintPreviewDialog dialog(&printer, owner);
    // An exception must not unwind through the dialog's own code: the failure is shown
    // here, where the operator pressed print.
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this, &dialog](QPrinter *pr) {
        try {
            Print(*pr);
        } catch (const std::exception &e) {
            QMessageBox::warning(&dialog, dialog.windowTitle(), QString::fromLocal8Bit(e.what()));
        }
    });
    dialog.exec();
}
