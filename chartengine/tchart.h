#pragma once

// The chart engine: up to 50 line series over a date-time axis (days since 30 December
// 1899, time of day as the fraction) and a voltage axis, each point carrying the colour of
// the segment that leads to it; 2D or 3D view; printing through a preview.
// It knows nothing of sources, lines or settings.

#include <QColor>
#include <QString>
#include <QVector>
#include <QWidget>

class QPainter;

class TChartSeries
{
public:
    bool Active() const { return m_active; }
    void SetActive(bool a);
    QString Title() const { return m_title; }
    void SetTitle(const QString &t) { m_title = t; }

    int Count() const { return int(m_x.size()); }
    double XValue(int i) const { return m_x.at(i); }
    double YValue(int i) const { return m_y.at(i); }
    QColor PointColor(int i) const { return m_color.at(i); }
    QString PointLabel(int i) const { return m_label.at(i); }
    // Appends a point; X values are expected in ascending order.
    void AddXY(double x, double y, const QString &label, const QColor &color);
    void Delete(int i);
    void Clear();

private:
    friend class TChart;
    class TChart *m_owner = nullptr;
    bool m_active = false;
    QString m_title;
    QVector<double> m_x, m_y;
    QVector<QColor> m_color;
    QVector<QString> m_label;
};

class TChart : public QWidget
{
    Q_OBJECT
public:
    static constexpr int SeriesMax = 50;

    explicit TChart(QWidget *parent = nullptr);
    ~TChart() override;

    int SeriesCount() const { return SeriesMax; }
    TChartSeries *Series(int index) { return &m_series[index]; }
    const TChartSeries *Series(int index) const { return &m_series[index]; }
    int CountActiveSeries() const;

    double LeftAxisMin() const { return m_leftMin; }
    double LeftAxisMax() const { return m_leftMax; }
    void SetLeftAxisMax(double v);
    QString LeftAxisTitle() const { return m_leftTitle; }
    void SetLeftAxisTitle(const QString &t);
    // Bottom axis range as currently computed (automatic from the active series).
    double BottomAxisMin() const { return m_bottomMin; }
    double BottomAxisMax() const { return m_bottomMax; }
    void RecalcBottomAxis();

    bool View3D() const { return m_view3D; }
    void SetView3D(bool on);
    int Chart3DPercent() const { return m_depth; }
    void SetChart3DPercent(int p);
    int Rotation() const { return m_rotation; }
    void SetRotation(int degrees);
    int Elevation() const { return m_elevation; }
    void SetElevation(int degrees);
    int Zoom() const { return m_zoom; }
    void SetZoom(int percent);
    bool Orthogonal() const { return m_orthogonal; }
    void SetOrthogonal(bool o);

    void SetPrintMargins(int left, int top, int right, int bottom);
    void SetPrintProportional(bool p) { m_printProportional = p; }
    bool PrintProportional() const { return m_printProportional; }
    // Opens the modal print preview (printer choice, print, close).
    void PrintPreview(QWidget *owner);

    // Draws the whole chart into r; serves both the screen and the printer.
    void render(QPainter &p, const QRectF &r);

    // Called by the series when their points change; schedules one repaint.
    void Changed();

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    TChartSeries m_series[SeriesMax];
    double m_leftMin = 0, m_leftMax = 300;
    QString m_leftTitle;
    double m_bottomMin = 0, m_bottomMax = 1;
    bool m_view3D = false;
    int m_depth = 20, m_rotation = 345, m_elevation = 345, m_zoom = 100;
    bool m_orthogonal = true;
    int m_marginL = 3, m_marginT = 3, m_marginR = 3, m_marginB = 3;
    bool m_printProportional = true;
};
