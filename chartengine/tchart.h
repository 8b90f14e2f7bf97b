#pragma once

// The chart engine: up to 50 line series over a date-time axis (days since 30 December
// 1899, time of day as the fraction) and a voltage axis, each point carrying the colour of
// the segment that leads to it; 2D or 3D view; printing through a preview.
// It knows nothing of sources, lines or settings.
//
// The bottom axis always spans all points of the active series (no paging); a rectangle
// dragged with the left button towards the lower right zooms into it, a drag towards the
// upper left returns to the automatic ranges.

#include <QColor>
#include <QImage>
#include <QMargins>
#include <QString>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class QVariantAnimation;
namespace ChartRender {
class TLabelCache;
}

class TChartSeries
{
public:
    bool Active() const { return m_active; }
    void SetActive(bool a);
    QString Title() const { return m_title; }
    void SetTitle(const QString &t) { m_title = t; }

    int Count() const { return int(m_x.size()); }
    // Point accessors and Delete throw std::out_of_range for an index outside 0..Count()-1.
    double XValue(int i) const { return m_x.at(Checked(i)); }
    double YValue(int i) const { return m_y.at(Checked(i)); }
    QColor PointColor(int i) const { return m_color.at(Checked(i)); }
    QString PointLabel(int i) const { return m_label.at(Checked(i)); }
    // All points at once, for drawing and export loops.
    const QVector<double> &XValues() const { return m_x; }
    const QVector<double> &YValues() const { return m_y; }
    const QVector<QColor> &PointColors() const { return m_color; }
    const QVector<QRgb> &PointRgbs() const { return m_rgb; }
    // Adds a point in X order: appended when x is not below the last X (the usual case),
    // otherwise inserted after the points with X not above x. Throws std::invalid_argument
    // for an X or Y that is not a finite number.
    void AddXY(double x, double y, const QString &label, const QColor &color);
    void Delete(int i);
    void Clear();

private:
    friend class TChart;
    int Checked(int i) const;
    class TChart *m_owner = nullptr;
    bool m_active = false;
    QString m_title;
    QVector<double> m_x, m_y;
    QVector<QColor> m_color;
    QVector<QRgb> m_rgb; // the colours ready for drawing
    QVector<QString> m_label;
};

// Visible data ranges: X in days, Y in volts.
struct TChartRange
{
    double xMin = 0, xMax = 1, yMin = 0, yMax = 1;
};

class TChart : public QWidget
{
    Q_OBJECT
public:
    static constexpr int SeriesMax = 50;

    explicit TChart(QWidget *parent = nullptr);
    ~TChart() override;

    int SeriesCount() const { return SeriesMax; }
    // Throw std::out_of_range for an index outside 0..49.
    TChartSeries *Series(int index) { return &m_series[CheckedSeries(index)]; }
    const TChartSeries *Series(int index) const { return &m_series[CheckedSeries(index)]; }
    int CountActiveSeries() const;

    double LeftAxisMin() const { return m_leftMin; }
    double LeftAxisMax() const { return m_leftMax; }
    void SetLeftAxisMax(double v);
    QString LeftAxisTitle() const { return m_leftTitle; }
    void SetLeftAxisTitle(const QString &t);
    // Bottom axis range as currently computed (automatic from the active series): the first
    // and the last X of all active series; both 0 while no active series has a point.
    double BottomAxisMin() const { return m_bottomMin; }
    double BottomAxisMax() const { return m_bottomMax; }
    bool HasBottomRange() const { return m_hasBottom; }
    void RecalcBottomAxis();

    bool View3D() const { return m_view3D; }
    void SetView3D(bool on);
    int Chart3DPercent() const { return m_depth; }
    void SetChart3DPercent(int p); // 1..100
    int Rotation() const { return m_rotation; }
    void SetRotation(int degrees); // 270..360
    int Elevation() const { return m_elevation; }
    void SetElevation(int degrees); // 270..360
    int Zoom() const { return m_zoom; }
    void SetZoom(int percent); // 25..500
    bool Orthogonal() const { return m_orthogonal; }
    void SetOrthogonal(bool o);

    // Mouse zoom. ViewRange is what is drawn: the zoomed ranges, or the automatic bottom
    // range (widened to one second around a lone point) and the fixed left axis range.
    TChartRange ViewRange() const;
    bool Zoomed() const { return m_zoomed; }
    void ZoomTo(const TChartRange &range);
    void UndoZoom();
    bool AnimatedZoom() const { return m_animatedZoom; }
    void SetAnimatedZoom(bool on) { m_animatedZoom = on; }

    // Margins in percent of the printable page (0..45 each).
    void SetPrintMargins(int left, int top, int right, int bottom);
    QMargins PrintMargins() const { return QMargins(m_marginL, m_marginT, m_marginR, m_marginB); }
    void SetPrintProportional(bool p) { m_printProportional = p; }
    bool PrintProportional() const { return m_printProportional; }
    // Opens the modal print preview (printer choice, print, close).
    void PrintPreview(QWidget *owner);
    // Prints one page on printer at its resolution; returns the rectangle the chart took.
    // Throws std::runtime_error when the printer cannot be started.
    QRectF Print(QPrinter &printer);
    // Where the chart goes on a page: inside the margins (percent of the page), filling
    // them, or with the proportions of screenSize and centred when proportional.
    static QRectF PrintArea(const QRectF &page, const QMargins &percent, bool proportional,
                            const QSizeF &screenSize);

    // Draws the whole chart into r; serves both the screen and the printer.
    void render(QPainter &p, const QRectF &r);
    // Called with the target rectangle of every render (for checks of the print layout).
    void SetRenderObserver(std::function<void(const QRectF &)> observer)
    {
        m_renderObserver = std::move(observer);
    }

    // Called by the series when their points change; schedules one repaint.
    void Changed();

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    friend class TChartSeries;
    static int CheckedSeries(int index);
    void SeriesChanged(const TChartSeries &s);
    void UpdateBottomRange();
    void RequestRepaint();
    void AnimateTo(const TChartRange &target, bool zoomedAfter);
    bool ScreenToData(const QPointF &pos, double &x, double &y);

    TChartSeries m_series[SeriesMax];
    double m_leftMin = 0, m_leftMax = 300;
    QString m_leftTitle;
    double m_bottomMin = 0, m_bottomMax = 0;
    bool m_hasBottom = false;
    bool m_view3D = false;
    int m_depth = 20, m_rotation = 345, m_elevation = 345, m_zoom = 100;
    bool m_orthogonal = true;
    int m_marginL = 3, m_marginT = 3, m_marginR = 3, m_marginB = 3;
    bool m_printProportional = true;

    bool m_repaintPending = false;
    // The last drawn frame, shown again while only the zoom rectangle moves.
    QImage m_frame;
    bool m_frameValid = false;
    std::unique_ptr<ChartRender::TLabelCache> m_labels;
    bool m_zoomed = false;
    TChartRange m_zoomRange;
    bool m_animatedZoom = true;
    QVariantAnimation *m_anim = nullptr;
    bool m_dragging = false;
    QPoint m_dragStart, m_dragEnd;
    std::function<void(const QRectF &)> m_renderObserver;
};
