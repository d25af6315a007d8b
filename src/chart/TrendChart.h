#pragma once

#include "chart/ChartEnlargeRule.h"
#include "chart/ChartPaging.h"
#include "chart/ChartSeriesStore.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <optional>

class QCheckBox;
class QFontMetrics;
class QLineEdit;
class QPushButton;
class QToolButton;

// The trend chart Chtshow: every reading as a point, drawn as a filled area (Series2) or as a line
// (Series1), paged by the points-per-page box, with its paging, fill, new and save controls on its top
// edge. The main window places it, owns the "Graphic" menu and shows any message; the chart only
// reports through return values and signals.
//
// Both series receive every point, so they always hold the same points: one store serves both, and a
// series is just its drawing style and its active flag. A point's X is its index in the store (the
// number of points held before it). Every point carries the label kPointLabel and the colour
// kPointColor; as those never vary they are constants rather than stored per point.
class TrendChart : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kAreaSeries = 0; // Series2, shown while "Fill" is checked
    static constexpr int kLineSeries = 1; // Series1, shown while "Fill" is unchecked
    static constexpr int kSeriesCount = 2;
    // The width the row of controls on the chart's top edge needs, enlarge icon included.
    static constexpr int kControlsRowWidth = 266;

    static const QColor kAreaColor;      // fill of Series2
    static const QColor kAreaLineColor;  // outline and area lines of Series2
    static const QColor kLinePenColor;   // pen of Series1
    static const QColor kPointColor;     // colour of every point (blue)
    static const QColor kAxisLineColor;  // dashed vertical axis line
    static const QColor kGradientTop;    // back wall gradient, top
    static const QColor kGradientBottom; // back wall gradient, bottom
    static const QColor kLeftWallColor;
    static const QColor kBottomWallColor;
    static const QColor kPanelColor;
    static const QString kPointLabel; // "paper"

    explicit TrendChart(QWidget *parent = nullptr);
    ~TrendChart() override;

    // Series: "Series2" (index 0, area) and "Series1" (index 1, line); exactly one is active.
    static QString seriesName(int index);
    bool isSeriesActive(int index) const;
    int activeSeries() const { return m_activeSeries; }

    // The points of both series (X = index, Y = value).
    const ChartSeriesStore &points() const { return m_points; }
    int64_t pointCount() const { return m_points.size(); }

    // Fixed vertical axis range: ±FullScale at start, -5000..5000 while the frequency mode is shown.
    void setAxisRange(int min, int max);
    int axisMin() const { return m_axisMin; }
    int axisMax() const { return m_axisMax; }

    const ChartPaging &paging() const { return m_paging; }
    int64_t pointsPerPage() const { return m_paging.pointsPerPage(); }
    int64_t page() const { return m_paging.page(); }
    int64_t pageCount() const { return m_paging.pageCount(pointCount()); }
    // Shows `page`, clamped to 1 .. pageCount(). The page caption is not touched.
    void setPage(int64_t page);
    bool FollowLastPage() const { return m_paging.FollowLastPage(); }

    // Mouse zoom: the data rectangle shown instead of the page, until undone or the page changes.
    bool isZoomed() const { return m_zoom.has_value(); }
    void zoomTo(double xMin, double xMax, double yMin, double yMax);
    void undoZoom();

    // Draws the chart (without its controls) into `target`, filling it.
    void paintChart(QPainter &painter, const QRect &target) const;
    // The chart at its on-screen size, as saved to a bitmap.
    QImage renderChart() const;
    // Writes the chart as a BMP file at `path`, replacing any file there (written beside it first,
    // then renamed). On failure returns false and, if `error` is given, the reason.
    bool saveBitmap(const QString &path, QString *error = nullptr) const;
    // "c:\databmp.bmp" on Windows; databmp.bmp in the home folder elsewhere.
    static QString defaultBitmapPath();

    // Enlarge/restore over the window (the TbFd and TbSx icons). `windowOuterSize` is the window's
    // size including its frame. The window connects the two icons' clicked() to a handler that calls it.
    void TbFdClick(QSize windowOuterSize);
    // The chart's share of the window's resize rule: an enlarged chart (top < 100) goes back to its
    // remembered place first, then takes the rule's top, width and height; its left edge stays.
    void applyWindowLayout(int top, int width, int height);
    bool isEnlarged() const { return ChartEnlargeRule::isEnlargedForIcon(toLayoutRect(geometry())); }

    // The controls on the chart's top edge.
    QCheckBox *BtFill = nullptr;
    QLineEdit *Maxrecord = nullptr;
    QToolButton *BtNew = nullptr;
    QToolButton *BtSave = nullptr;
    QToolButton *BtFirst = nullptr;
    QToolButton *BTPrevious = nullptr;
    QToolButton *BtNext = nullptr;
    QToolButton *BTlast = nullptr;
    QPushButton *Bt10 = nullptr;
    QToolButton *TbFd = nullptr;
    QToolButton *TbSx = nullptr;

public slots:
    // A decoded reading: appended to Series1, the page follows when FollowLastPage, then Series2.
    void addPoint(int value);
    void ShowSeries(int index);
    // The Fill box changed: the menu item follows (fillChanged) and the matching series is shown.
    void btFillClick();
    // The menu's "Fill": inverts the box (and with it the menu item's check mark).
    void FillClick();
    // Starts a new trend: each series holds one placeholder point, so the next reading is at X = 1.
    void BtNewClick();
    // Takes Maxrecord's text as the points per page. A text that is not a whole number leaves the
    // page size as it was, emits maxrecordError and returns false.
    bool MaxrecordExit();
    void BtFirstClick();
    void BTPreviousClick();
    void BtNextClick();
    void BTlastClick();

signals:
    // The Fill box's state, for the menu item "Fill" to follow.
    void fillChanged(bool checked);
    // BtSave was clicked: the window writes the bitmap (saveBitmap) and tells the user.
    void saveRequested();
    // "'<text>' is not a valid integer value" when Maxrecord's text does not convert.
    void maxrecordError(const QString &message);
    // The paging buttons' enabled state or the page caption changed.
    void navigationChanged();
    void enlargedChanged(bool enlarged);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    struct View
    {
        double xMin = 0;
        double xMax = 0;
        double yMin = 0;
        double yMax = 0;

        bool operator==(const View &o) const
        {
            return xMin == o.xMin && xMax == o.xMax && yMin == o.yMin && yMax == o.yMax;
        }
    };

    static LayoutRect toLayoutRect(const QRect &r) { return LayoutRect{r.x(), r.y(), r.width(), r.height()}; }
    void placeControls();
    void syncNavigation();
    void pageMoved(int64_t pageBefore);
    View currentView() const;
    QRect plotRect(const QRect &target) const;
    // The chart's pixels between points first and last of view (clipped to the plot).
    QRect plotColumns(const View &view, int64_t first, int64_t last) const;
    // The chart's pixels that adding point index (the newest) can change.
    QRect changedByPoint(const View &view, int64_t index) const;
    // Draws what of the chart lies in exposed; nothing outside it changes.
    void paintChart(QPainter &painter, const QRect &target, const QRect &exposed) const;
    void updateAxisFont() const;
    double yStepFor(const View &view, const QRect &plot) const;
    // The pixels around point index (the cap of a trace that ends there), none when it is not shown.
    QRect aroundPoint(const View &view, int64_t index) const;
    // Composes `part` (in plot coordinates; all of it when it is the whole plot) of the plot's image
    // `target`: the gradient and grid under `restore` (within part), then the series.
    void composePlot(const QRect &plot, const View &view, double yStep, qreal dpr, const QRect &part,
                     const QRect &restore, QImage *target) const;
    void paintVerticalAxis(QPainter &p, const QFontMetrics &fm, const QRect &target, const QRect &plot,
                           const View &view, int axisX, double yStep) const;
    void paintHorizontalAxis(QPainter &p, const QFontMetrics &fm, const QRect &target, const QRect &plot,
                             const View &view, int axisY) const;
    void placeEnlarged(const LayoutRect &place);
    // Something the whole picture shows changed: it is drawn afresh at the next paint.
    void invalidatePicture();
    // Brings m_picture up to what the chart holds: new points on an unchanged view only redraw the
    // columns they touch; anything else redraws it whole. `screen` paints the widget.
    void refreshPicture(QPainter &screen);

    struct PictureKey
    {
        QSize size;
        qreal dpr = 0;
        View view;
        int series = -1;

        bool operator==(const PictureKey &o) const
        {
            return size == o.size && dpr == o.dpr && view == o.view && series == o.series;
        }
    };

    struct BackdropKey
    {
        QSize size;
        qreal dpr = 0;
        double yMin = 0;
        double yMax = 0;
        double yStep = 0;

        bool operator==(const BackdropKey &o) const
        {
            return size == o.size && dpr == o.dpr && yMin == o.yMin && yMax == o.yMax && yStep == o.yStep;
        }
    };
    // The plot's gradient and grid, kept while the plot's size and vertical range stay.
    const QImage &backdrop(QSize size, qreal dpr, double yMin, double yMax, double yStep) const;

    ChartSeriesStore m_points;
    ChartPaging m_paging;
    ChartEnlargeRule m_enlarge;
    int m_activeSeries = kAreaSeries;
    int m_axisMin = -4100;
    int m_axisMax = 4100;
    std::optional<View> m_zoom;
    std::optional<QPoint> m_dragStart;
    QPoint m_dragEnd;
    mutable QImage m_backdrop;
    mutable BackdropKey m_backdropKey;
    mutable QImage m_layer; // the backdrop with the series, composed for each paint
    // The chart as shown (walls, axes, labels and series), which paints copy from.
    QImage m_picture;
    QImage m_plotView; // the plot's pixels in m_picture, for composing new points in place
    PictureKey m_pictureKey;
    int64_t m_picturePoints = 0; // how many of the points m_picture shows
    double m_pictureYStep = 0;   // its grid's step
    bool m_pictureValid = false;
    mutable QFont m_labelMetricsFont;
    mutable int m_labelWidth = -1; // of "-00000" in the axis labels' size
    mutable int m_labelHeight = 0;
    mutable QFont m_axisFontBase; // font() that m_axisFont was made from
    mutable QFont m_axisFont;
    mutable int m_axisFontHeight = -1;
};
