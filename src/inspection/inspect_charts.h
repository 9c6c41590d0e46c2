#pragma once

#include <optional>
#include <vector>

#include <QWidget>

#include "platform/tolerance_settings.h"

class QAbstractAxis;
class QChart;
class QLogValueAxis;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QAreaSeries;
class QValueAxis;

namespace tolvane {

// What the charts draw besides the values: every line is optional. On the
// logarithmic scale the value axis is one of powers of ten: values and lines
// at 0 or below are not drawn (the statistics panel counts them), and the
// mean is the geometric one.
struct ChartLines {
    std::optional<double> mean;
    std::optional<double> nominal;
    std::optional<double> lsl;
    std::optional<double> usl;
    Scale scale = Scale::kLinear;
    // The fitted distribution in the scale's terms (of log10 of the values on
    // the log scale): the histogram draws its density over the bars.
    std::optional<double> fit_mean, fit_sd;
};

// A record's values in the order they were measured, with the mean, the
// nominal and the limits as horizontal lines; values outside the limits are
// drawn as red squares. A value that is not a number leaves a gap. At most
// kMaxPoints values are drawn, as many as the instrument sends in a record;
// a longer one, made by hand, shows its first kMaxPoints and says so in the
// title. The axes have round ticks, as many as the chart's size holds.
class RunChart final : public QWidget {
  public:
    static constexpr size_t kMaxPoints = 256;

    explicit RunChart(QWidget* parent = nullptr);
    // `total`: how many values the record has, when only its first ones
    // were read (0: as many as given).
    void show_values(const std::vector<std::optional<double>>& values, const ChartLines& lines,
                     size_t total = 0);
    void clear() { show_values({}, {}); }
    QChart* chart() const { return chart_; }
    QChartView* view() const { return view_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void lay_out_axes();

    QChartView* view_;
    QChart* chart_;
    Scale scale_ = Scale::kLinear;
    QLogValueAxis* y_log_;
    QLineSeries* values_;
    QScatterSeries* inside_;
    QScatterSeries* outside_;
    QLineSeries* mean_;
    QLineSeries* nominal_;
    QLineSeries* lsl_;
    QLineSeries* usl_;
    QValueAxis* x_;
    QValueAxis* y_;
    double x_high_ = 1, y_low_ = 0, y_high_ = 1;
};

// How the values are spread: a histogram of their counts, with the limits,
// the nominal and the mean as vertical lines. Its bins (at most kMaxBins)
// cover the values and the limits.
// On the logarithmic scale the classes are of equal width in log10 of the
// values, their edges at multiples of it (a decade's edges among them), and
// the fitted density is the lognormal one.
class Histogram final : public QWidget {
  public:
    static constexpr int kMaxBins = 20;
    // How many classes the last values were drawn in.
    int bins() const { return bins_; }
    QLineSeries* density() const { return density_; }

    explicit Histogram(QWidget* parent = nullptr);
    void show_values(const std::vector<double>& values, const ChartLines& lines);
    void clear() { show_values({}, {}); }
    QChart* chart() const { return chart_; }
    QChartView* view() const { return view_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void lay_out_axes();

    QChartView* view_;
    QChart* chart_;
    Scale scale_ = Scale::kLinear;
    QLogValueAxis* x_log_;
    int bins_ = 0;
    QLineSeries* outline_;
    QLineSeries* base_;
    QAreaSeries* bars_;
    QLineSeries* density_;
    QLineSeries* mean_;
    QLineSeries* nominal_;
    QLineSeries* lsl_;
    QLineSeries* usl_;
    QValueAxis* x_;
    QValueAxis* y_;
    double x_low_ = 0, x_high_ = 1, y_high_ = 1;
};

// The axis range [low, high] for values spanning [min, max]: a little room
// on both sides, and a sensible width when all values are equal.
std::pair<double, double> padded_range(double min, double max);

// A logarithmic axis over the values [low, high] (both above 0): whole
// decades, a tick every `decades` of them so that at most `most` ticks (and
// no more than its `length` in pixels holds) are laid out, whatever the span.
void log_axis(QLogValueAxis* axis, double low, double high, double length, bool across,
              int most);

}  // namespace tolvane
