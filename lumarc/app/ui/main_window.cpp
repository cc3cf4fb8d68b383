#include "lumarc/app/ui/main_window.h"

#include "lumarc/app/texts.h"
#include "lumarc/app/ui/icons.h"
#include "common/qt/qt_text.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QSettings>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace lumarc::ui {

const char* const kWindowTitle = "BRENNIC Lumarc";
const char* const kVersionText = "2.11";

namespace {
constexpr int kTickMs = 100;
// Commands that also stand in the "File" menu.
constexpr int kFileMenuCommands[] = {kCmdUsers, kCmdDigits, kCmdClip, kCmdCorvane,
                                     kCmdCmdr,  kCmdVoice,  kCmdCloseView};
// Commands that switch the view.
bool switchesView(int c) {
  switch (c) {
    case kCmdUsers: case kCmdDigits: case kCmdClip: case kCmdCorvane: case kCmdCmdr:
    case kCmdVoice: case kCmdCloseView: case kCmdBack: case kCmdList: case kCmdSelect:
    case kCmdChart: case kCmdCallTrace:
      return true;
    default:
      return false;
  }
}
}  // namespace

MainWindow::MainWindow(MainWindowConfig config) : config_(std::move(config)) {
  setObjectName("MainWindow");
}

MainWindow::~MainWindow() = default;

QString MainWindow::label(int command) const { return qtext(texts(), commandLabel(texts(), command)); }

bool MainWindow::initialise() {
  createMenus();
  createBars();
  createDocks();
  // The empty start view until a view command creates the views.
  auto* start = new QWidget(this);
  start->setObjectName("startView");
  setCentralWidget(start);
  setWindowTitle(kWindowTitle);
  resize(1100, 720);
  resizeDocks({docks_[0]}, {180}, Qt::Vertical);
  resizeDocks({docks_[int(Pane::Properties)]}, {200}, Qt::Horizontal);
  QSettings layout("BRENNIC", "BRENNIC Lumarc");
  restoreGeometry(layout.value("window/geometry").toByteArray());
  restoreState(layout.value("window/state").toByteArray());
  // The message bar shows only a message of this run.
  messageBar_->setVisible(!caption_.empty());

  if (config_.openDatabases && !config_.openDatabases()) {
    if (config_.interactive)
      QMessageBox::critical(nullptr, kWindowTitle, qtext(texts(), kTextDatabaseAccessFailed));
    return false;
  }
  databasesOpen_ = true;

  tick_ = new QTimer(this);
  tick_->setTimerType(Qt::PreciseTimer);
  tick_->setInterval(kTickMs);
  connect(tick_, &QTimer::timeout, this, &MainWindow::onTick);
  if (auto* d = QAbstractEventDispatcher::instance())
    connect(d, &QAbstractEventDispatcher::aboutToBlock, this, &MainWindow::runIdleSteps);
  // The start-up message: handled once the event loop runs.
  QTimer::singleShot(0, this, &MainWindow::onStartupMessage);
  return true;
}

void MainWindow::createMenus() {
  for (int id : {kCmdUsers, kCmdDigits, kCmdClip, kCmdCorvane, kCmdCmdr, kCmdVoice, kCmdCloseView,
                 kCmdSettings, kCmdAbout, kCmdBack, kCmdHome, kCmdScan, kCmdDatabase, kCmdSelect,
                 kCmdAdd, kCmdEdit, kCmdDelete, kCmdSaveTemplate, kCmdList, kCmdSave, kCmdMail,
                 kCmdChart, kCmdArchive, kCmdTrash, kCmdPlay, kCmdCallTrace, kCmdExpert, kCmdEasy,
                 kCmdWizard, kCmdSaveIp, kCmdRecommendedIp, kCmdUpload, kCmdFactory, kCmdPageBack,
                 kCmdPageForward}) {
    auto* a = new QAction(commandIcon(id), label(id), this);
    a->setToolTip(qtext(texts(), commandTip(texts(), id)));
    a->setStatusTip(qtext(texts(), commandTip(texts(), id)));
    a->setObjectName(QString("command%1").arg(id));
    connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
    actions_[id] = a;
  }
  QMenu* file = menuBar()->addMenu(qtext(texts(), kTextMenuFile));
  for (int id : kFileMenuCommands) file->addAction(actions_[id]);
  file->addSeparator();
  QAction* exit = file->addAction(qtext(texts(), kTextMenuExit));
  exit->setShortcut(QKeySequence::Quit);
  connect(exit, &QAction::triggered, this, &QWidget::close);

  QMenu* view = menuBar()->addMenu(qtext(texts(), kTextMenuView));
  view->setObjectName("viewMenu");
  view->addAction(actions_[kCmdSettings]);

  QMenu* help = menuBar()->addMenu(qtext(texts(), kTextMenuHelp));
  help->addAction(actions_[kCmdAbout]);
}

void MainWindow::createBars() {
  toolbar_ = addToolBar("Toolbar");
  toolbar_->setObjectName("toolbar");
  toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  toolbar_->setMovable(false);
  customize_ = new QAction(qtext(texts(), kTextCustomize), this);
  customize_->setObjectName("customize");
  connect(customize_, &QAction::triggered, this, [this] {
    toolbar_->setToolButtonStyle(toolbar_->toolButtonStyle() == Qt::ToolButtonTextUnderIcon
                                     ? Qt::ToolButtonIconOnly
                                     : Qt::ToolButtonTextUnderIcon);
  });

  addToolBarBreak();
  messageBar_ = addToolBar(qtext(texts(), kTextInfoTitle));
  messageBar_->setObjectName("messageBar");
  messageBar_->setMovable(false);
  auto* info = new QLabel(this);
  info->setPixmap(commandIcon(kCmdAbout).pixmap(16, 16));
  info->setToolTip(qtext(texts(), kTextInfoTitle) + "\n" + qtext(texts(), kTextInfoDescription));
  messageBar_->addWidget(info);
  messageText_ = new QLabel(this);
  messageText_->setObjectName("messageText");
  messageText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  messageBar_->addWidget(messageText_);
  messageBar_->hide();

  QStatusBar* sb = statusBar();
  for (int i = 0; i < 5; ++i) {
    status_[i] = new QLabel(this);
    status_[i]->setObjectName(QString("statusPane%1").arg(i));
  }
  status_[0]->setFixedWidth(200);
  progressBar_ = new QProgressBar(this);
  progressBar_->setRange(0, 100);
  progressBar_->setFixedWidth(80);
  progressBar_->setTextVisible(false);
  progressBar_->hide();
  status_[4]->setMinimumWidth(120);
  sb->addWidget(status_[0]);
  sb->addWidget(progressBar_);
  sb->addWidget(status_[2], 1);
  sb->addPermanentWidget(status_[3]);
  sb->addPermanentWidget(status_[4]);
  refreshToolbar();
}

void MainWindow::createDocks() {
  struct D { Pane pane; int text; Qt::DockWidgetArea area; };
  const D docks[] = {
      {Pane::Monitor, kTextPaneMonitor, Qt::BottomDockWidgetArea},
      {Pane::Cmdr, kTextPaneCmdr, Qt::BottomDockWidgetArea},
      {Pane::Voice, kTextPaneVoice, Qt::BottomDockWidgetArea},
      {Pane::Properties, kTextPaneProperties, Qt::RightDockWidgetArea},
  };
  QMenu* view = menuBar()->findChild<QMenu*>("viewMenu");
  if (view) view->addSeparator();
  for (const D& d : docks) {
    auto* dw = new QDockWidget(qtext(texts(), d.text), this);
    dw->setObjectName(QString("pane%1").arg(int(d.pane)));
    dw->setWidget(new QListWidget(dw));
    addDockWidget(d.area, dw);
    docks_[int(d.pane)] = dw;
    if (view) view->addAction(dw->toggleViewAction());
  }
  // The three link panes share the bottom edge as tabs.
  tabifyDockWidget(docks_[0], docks_[1]);
  tabifyDockWidget(docks_[1], docks_[2]);
  docks_[0]->raise();
}

void MainWindow::createViews() {
  if (views_) return;
  views_ = new QStackedWidget(this);
  views_->setObjectName("views");
  for (int s = 0; s <= int(ViewState::WebPage); ++s) {
    auto* page = new QLabel(views_);
    page->setAlignment(Qt::AlignCenter);
    int caption = viewCaption(ViewState(s), false);
    if (caption) page->setText(qtext(texts(), caption));
    views_->addWidget(page);
  }
  setCentralWidget(views_);
}

void MainWindow::setPaneWidget(Pane pane, QWidget* w) {
  QDockWidget* d = docks_[int(pane)];
  if (!d) return;
  QWidget* old = d->widget();
  d->setWidget(w);
  if (old && old != w) old->deleteLater();
}

void MainWindow::onStartupMessage() {
  commandLine_ = parseCommandLine(config_.commandLine);
  switch (commandLine_.action) {
    case CommandLine::Action::ImportOldDatabase:
      if (importHandler_) importHandler_();
      break;
    case CommandLine::Action::Installation:
      createDesktopShortcuts(commandLine_, config_.workDir, config_.desktopDir);
      runCommand(kCmdCorvane);
      break;
    case CommandLine::Action::Links:
      if (linkOpener_)
        for (const LinkItem& item : commandLine_.links) linkOpener_(item);
      break;
  }
  QString title = kWindowTitle;
  if (!commandLine_.hasWizardTarget) title += QString(" v") + kVersionText;
  setWindowTitle(title);
  tick_->start();
  emit startupFinished();
}

bool MainWindow::tickRunning() const { return tick_ && tick_->isActive(); }

void MainWindow::onTick() {
  ticks_.tick();
  if (loading_) {
    progress_ = (progress_ + 1) % 101;
    progressBar_->setValue(progress_);
  }
}

void MainWindow::addIdleStep(std::function<void()> step) { idleSteps_.push_back(std::move(step)); }

void MainWindow::runIdleSteps() {
  for (auto& s : idleSteps_) s();
}

void MainWindow::setLoading(bool loading) {
  loading_ = loading;
  progress_ = 0;
  progressBar_->setValue(0);
  progressBar_->setVisible(loading);
}

void MainWindow::setCaptionMessage(const std::string& text) {
  caption_ = text;
  messageText_->setText(qtext(texts(), text));
  messageBar_->setVisible(!text.empty());
}

void MainWindow::statusText(int pane, const std::string& text) {
  if (pane < 0 || pane > 4 || pane == 1) return;
  status_[pane]->setText(qtext(texts(), text));
}

std::string MainWindow::statusTextOf(int pane) const {
  if (pane < 0 || pane > 4) return {};
  return bytes(texts(), status_[pane]->text());
}

void MainWindow::setWizardReady(bool ready) {
  wizardReady_ = ready;
  refreshToolbar();
}

std::vector<int> MainWindow::toolbarCommandIds() const { return toolbarCommands(state_, wizardReady_); }

bool MainWindow::commandEnabledNow(int command) const { return commandEnabled(command, state_); }

void MainWindow::refreshToolbar() {
  toolbar_->clear();
  for (int id : toolbarCommandIds()) {
    QAction* a = actions_[id];
    a->setEnabled(commandEnabledNow(id));
    toolbar_->addAction(a);
  }
  toolbar_->addSeparator();
  toolbar_->addAction(customize_);
  for (int id : kFileMenuCommands) actions_[id]->setEnabled(commandEnabledNow(id));
  int caption = viewCaption(state_, wizardReady_);
  statusText(4, caption ? texts().text(caption) : std::string());
}

void MainWindow::runCommand(int command) {
  if (!commandEnabledNow(command)) return;
  if (command == kCmdSettings || command == kCmdAbout) {
    statusText(2, "");
    if (docks_[int(Pane::Properties)]) {
      docks_[int(Pane::Properties)]->show();
      docks_[int(Pane::Properties)]->raise();
    }
    return;
  }
  if (!switchesView(command)) return;
  if (command == kCmdUsers || command == kCmdDigits || command == kCmdClip || command == kCmdCorvane ||
      command == kCmdCmdr || command == kCmdVoice)
    statusText(2, "");
  createViews();
  ViewState next = stateAfterCommand(command, state_);
  if (next == state_) return;
  state_ = next;
  views_->setCurrentIndex(int(state_));
  refreshToolbar();
}

void MainWindow::closeEvent(QCloseEvent* e) {
  emit closing();
  if (tick_) tick_->stop();
  QSettings layout("BRENNIC", "BRENNIC Lumarc");
  layout.setValue("window/geometry", saveGeometry());
  layout.setValue("window/state", saveState());
  for (QDockWidget* d : docks_)
    if (d && d->widget()) d->widget()->close();
  if (databasesOpen_ && config_.closeDatabases) config_.closeDatabases();
  databasesOpen_ = false;
  e->accept();
}

}  // namespace lumarc::ui
