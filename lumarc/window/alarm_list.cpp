#include "lumarc/window/alarm_list.h"

#include "common/qt/qt_text.h"
#include "lumarc/texts/texts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumarc::ui {

using corvane::qtext;

namespace {

enum Column { kTime, kSeverity, kRule, kPort, kText, kColumns };

QIcon severityIcon(const std::string& sever) {
  QStyle* style = QApplication::style();
  if (sever == "critical") return style->standardIcon(QStyle::SP_MessageBoxCritical);
  if (sever == "warning") return style->standardIcon(QStyle::SP_MessageBoxWarning);
  return style->standardIcon(QStyle::SP_MessageBoxInformation);
}

}  // namespace

int severityTextId(const std::string& sever) {
  if (sever == "critical") return kTextSeverityCritical;
  if (sever == "warning") return kTextSeverityWarning;
  if (sever == "info") return kTextSeverityInfo;
  return 0;
}

AlarmListDialog::AlarmListDialog(const corvane::StringTable& texts, Reader reader, QWidget* parent)
    : QDialog(parent), texts_(texts), reader_(std::move(reader)) {
  setObjectName("alarmList");
  setWindowTitle(qtext(texts_, kTextAlarmsTitle));
  table_ = new QTableWidget(0, kColumns, this);
  table_->setObjectName("alarmTable");
  table_->setHorizontalHeaderLabels({qtext(texts_, kTextAlarmTimeColumn), qtext(texts_, kTextAlarmSeverityColumn),
                                     qtext(texts_, kTextAlarmRuleColumn), qtext(texts_, kTextAlarmPortColumn),
                                     qtext(texts_, kTextAlarmTextColumn)});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  note_ = new QLabel(this);
  note_->setObjectName("alarmNote");
  note_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* refreshButton = buttons->addButton(qtext(texts_, kTextAlarmsRefresh), QDialogButtonBox::ActionRole);
  refreshButton->setObjectName("alarmRefresh");
  QPushButton* closeButton = buttons->addButton(qtext(texts_, kTextAlarmsClose), QDialogButtonBox::RejectRole);
  connect(refreshButton, &QPushButton::clicked, this, &AlarmListDialog::refresh);
  connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  layout->addWidget(note_);
  layout->addWidget(buttons);
  resize(860, 420);
  refresh();
}

QString AlarmListDialog::note() const { return note_->text(); }

void AlarmListDialog::refresh() {
  std::vector<alarms::AlarmRow> rows;
  std::string error;
  const bool ok = reader_ && reader_(rows, error);
  table_->setRowCount(int(rows.size()));
  for (int i = 0; i < int(rows.size()); ++i) {
    const alarms::AlarmRow& r = rows[size_t(i)];
    const int sever = severityTextId(r.sever);
    QTableWidgetItem* cells[kColumns] = {
        new QTableWidgetItem(QString::fromStdString(dateTimeText(r.adate))),
        new QTableWidgetItem(severityIcon(r.sever), sever ? qtext(texts_, sever) : qtext(texts_, r.sever)),
        new QTableWidgetItem(qtext(texts_, r.rule)),
        new QTableWidgetItem(qtext(texts_, r.cport)),
        new QTableWidgetItem(qtext(texts_, r.atext)),
    };
    for (int c = 0; c < kColumns; ++c) table_->setItem(i, c, cells[c]);
  }
  table_->resizeColumnsToContents();
  table_->horizontalHeader()->setStretchLastSection(true);
  if (ok)
    note_->setText(qtext(texts_, kTextAlarmsShown) + " " + QString::number(rows.size()));
  else
    note_->setText(qtext(texts_, kTextAlarmsNotRead) + " " + QString::fromUtf8(error.c_str()));
}

}  // namespace lumarc::ui
