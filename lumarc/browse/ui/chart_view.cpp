#include "lumarc/browse/ui/chart_view.h"

#include "common/qt/qt_text.h"
#include "lumarc/texts/texts.h"

#include <QLabel>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace lumarc::browse {

namespace {

// The top of the value scale: 1, 2 or 5 times a power of ten, at least max.
double scaleTop(double max) {
  if (max <= 0) return 1;
  const double p = std::pow(10.0, std::floor(std::log10(max)));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * p >= max) return m * p;
  return 10 * p;
}

QString number(double v) { return QString::number(v, 'g', 6); }

}  // namespace

CfwChart::CfwChart(const corvane::StringTable& texts, QWidget* parent) : QWidget(parent), texts_(texts) {
  setObjectName("chartView");
  const int ids[kCharts] = {kTextChartTimeOfDay, kTextChartDuration, kTextChartPulses};
  for (int i = 0; i < kCharts; ++i) {
    titles_[i] = new QLabel(corvane::qtext(texts_, ids[i]), this);
    titles_[i]->setObjectName(QString("chartTitle%1").arg(i));
    titles_[i]->setGeometry(kTitleX, kTitleTop[i], kTitleWidth, kTitleHeight);
  }
}

void CfwChart::showStatistics(const CallStatistics& s, bool cmdr) {
  stats_ = s;
  cmdr_ = cmdr;
  titles_[2]->setVisible(cmdr);
  redraw();
}

QImage CfwChart::renderBarChart(const std::array<double, CallStatistics::kClasses>& values, QRgb colour,
                                std::string_view (*label)(int), int width) {
  QImage img(width, kChartHeight, QImage::Format_RGB32);
  img.fill(QColor::fromRgb(kBackground));
  QPainter p(&img);
  const int plotWidth = width - kPlotX;
  const double top = scaleTop(*std::max_element(values.begin(), values.end()));
  const double slot = double(plotWidth) / CallStatistics::kClasses;
  const double barWidth = std::max(1.0, slot * 0.8);

  // Bars from the plot area's bottom; the plot area itself has no fill,
  // edge or grid.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor::fromRgb(colour));
  for (int i = 0; i < CallStatistics::kClasses; ++i) {
    if (values[i] <= 0) continue;
    const double h = values[i] / top * kPlotHeight;
    const double x = kPlotX + i * slot + (slot - barWidth) / 2;
    p.drawRect(QRectF(x, kPlotY + kPlotHeight - h, barWidth, h));
  }

  QFont f = p.font();
  f.setPixelSize(9);
  p.setFont(f);
  p.setPen(Qt::black);
  // Value scale: the top and the middle, right-aligned before the plot area.
  p.drawText(QRectF(0, kPlotY - 2, kPlotX - 3, 10), Qt::AlignRight | Qt::AlignTop, number(top));
  p.drawText(QRectF(0, kPlotY + kPlotHeight / 2 - 5, kPlotX - 3, 10), Qt::AlignRight | Qt::AlignVCenter,
             number(top / 2));
  p.drawText(QRectF(0, kPlotY + kPlotHeight - 10, kPlotX - 3, 10), Qt::AlignRight | Qt::AlignBottom, "0");
  // The axis line and the labels under the bars.
  p.drawLine(QPointF(kPlotX, kPlotY + kPlotHeight), QPointF(width - 1, kPlotY + kPlotHeight));
  for (int i = 0; i < CallStatistics::kClasses; ++i) {
    const std::string_view text = label(i);
    p.drawText(QRectF(kPlotX + i * slot, kPlotY + kPlotHeight + 3, slot, 12), Qt::AlignHCenter | Qt::AlignTop,
               QString::fromLatin1(text.data(), int(text.size())));
  }
  return img;
}

void CfwChart::redraw() {
  const int w = chartWidth(width());
  // Each chart is replaced as a whole.
  images_[0] = renderBarChart(stats_.hours, kBarColour[0], &hourLabel, w);
  images_[1] = renderBarChart(stats_.durations, kBarColour[1], &durationLabel, w);
  images_[2] = cmdr_ ? renderBarChart(stats_.pulses, kBarColour[2], &pulseLabel, w) : QImage();
  update();
}

void CfwChart::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (e->size().width() != e->oldSize().width()) redraw();
}

void CfwChart::paintEvent(QPaintEvent*) {
  // A size change that came while the view was hidden is drawn now.
  if (!images_[0].isNull() && images_[0].width() != chartWidth(width())) redraw();
  QPainter p(this);
  for (int i = 0; i < kCharts; ++i)
    if (!images_[i].isNull()) p.drawImage(0, kChartTop[i], images_[i]);
}

}  // namespace lumarc::browse
