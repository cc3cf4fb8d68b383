// The call statistics charts (CfwChart): bar charts of a browser's last
// listing by time of day, duration and, for CMDR records, charge pulses.
// Each chart is as wide as the view but at least 400 pixels and 150 high,
// drawn anew whenever the view's size changes.
#pragma once

#include "common/string_table.h"
#include "lumarc/browse/statistics.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <array>
#include <string_view>

class QLabel;

namespace lumarc::browse {

// No signals or slots: the view only draws.
class CfwChart : public QWidget {
 public:
  static constexpr int kMinChartWidth = 400;
  static constexpr int kChartHeight = 150;
  static constexpr int kPlotX = 30, kPlotY = 6, kPlotHeight = 120;
  static constexpr int kCharts = 3;
  // Where the charts and their titles stand (titles span x 30-380).
  static constexpr int kChartTop[kCharts] = {20, 190, 360};
  static constexpr int kTitleTop[kCharts] = {0, 170, 340};
  static constexpr int kTitleX = 30, kTitleWidth = 350, kTitleHeight = 15;
  // Colours (RGB): chart background and the bars of each chart.
  static constexpr QRgb kBackground = 0xDCDCDC;
  static constexpr QRgb kBarColour[kCharts] = {0x0000FF, 0x00FF00, 0x00FFFF};

  explicit CfwChart(const corvane::StringTable& texts, QWidget* parent = nullptr);

  // Takes a copy of a browser's statistics and draws; the charge pulse
  // chart (and its title) only for CMDR statistics.
  void showStatistics(const CallStatistics& s, bool cmdr);
  const CallStatistics& statistics() const { return stats_; }
  bool showsPulses() const { return cmdr_; }

  // The chart width for a view of that width.
  static int chartWidth(int viewWidth) { return viewWidth > kMinChartWidth ? viewWidth : kMinChartWidth; }
  // One bar chart of 24 values: background, plot area, bars in `colour`,
  // the value scale on the left and the 24 labels under the bars.
  static QImage renderBarChart(const std::array<double, CallStatistics::kClasses>& values, QRgb colour,
                               std::string_view (*label)(int), int width);
  // The chart image currently shown (null when not shown).
  const QImage& chartImage(int chart) const { return images_[chart]; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void redraw();

  const corvane::StringTable& texts_;
  CallStatistics stats_;
  bool cmdr_ = true;
  QLabel* titles_[kCharts] = {};
  QImage images_[kCharts];
};

}  // namespace lumarc::browse
