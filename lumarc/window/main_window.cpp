#include "lumarc/window/main_window.h"

#include "lumarc/texts/texts.h"
#include "lumarc/window/icons.h"
#include "common/qt/qt_text.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
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
// clang-format off
constexpr int kFileMenuCommands[] = {kCmdUsers, kCmdDigits, kCmdClip, kCmdCorvane,
                                     kCmdCmdr,  kCmdVoice,  kCmdCloseView};
// clang-format on
// Commands that switch the view.
bool switchesView(int c) {
  switch (c) {
    case kCmdUsers:
    case kCmdDigits:
    case kCmdClip:
    case kCmdCorvane:
    case kCmdCmdr:
    case kCmdVoice:
    case kCmdCloseView:
    case kCmdBack:
    case kCmdList:
    case kCmdSelect:
    case kCmdChart:
    case kCmdCallTrace: return true;
    default: return false;
  }
}
}  // namespace

MainWindow::MainWindow(MainWindowConfig config) : config_(std::move(config)) { setObjectName("MainWindow"); }

MainWindow::~MainWindow() = default;

QString MainWindow::label(int command) const { return qtext(texts(), commandLabel(texts(), command)); }

bool MainWindow::initialise() {
  createMenus();
  createBars();
  createDocks();
  // The client area holds the empty start view until a view command
  // creates the views; it keeps its place beside the panes from the start.
  views_ = new QStackedWidget(this);
  views_->setObjectName("views");
  views_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  auto* start = new QWidget(views_);
  start->setObjectName("startView");
  views_->addWidget(start);
  setCentralWidget(views_);
  setWindowTitle(kWindowTitle);
  resize(1100, 720);
  resizeDocks({docks_[0]}, {180}, Qt::Vertical);
  resizeDocks({docks_[int(Pane::Properties)]}, {340}, Qt::Horizontal);
  QSettings layout("BRENNIC", "BRENNIC Lumarc");
  restoreGeometry(layout.value("window/geometry").toByteArray());
  restoreState(layout.value("window/state").toByteArray());
  // The message bar shows only a message of this run.
  messageBar_->setVisible(!caption_.empty());

  if (config_.openDatabases && !config_.openDatabases()) {
    if (config_.interactive) QMessageBox::critical(nullptr, kWindowTitle, qtext(texts(), kTextDatabaseAccessFailed));
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
  // clang-format off
  for (int id : {kCmdUsers, kCmdDigits, kCmdClip, kCmdCorvane, kCmdCmdr, kCmdVoice, kCmdCloseView,
                 kCmdSettings, kCmdAbout, kCmdBack, kCmdHome, kCmdScan, kCmdDatabase, kCmdSelect,
                 kCmdAdd, kCmdEdit, kCmdDelete, kCmdSaveTemplate, kCmdList, kCmdSave, kCmdMail,
                 kCmdChart, kCmdArchive, kCmdTrash, kCmdPlay, kCmdCallTrace, kCmdExpert, kCmdEasy,
                 kCmdWizard, kCmdSaveIp, kCmdRecommendedIp, kCmdUpload, kCmdFactory, kCmdPageBack,
                 kCmdPageForward, kCmdSaveProperties, kCmdChangeFormat, kCmdChangeSort, kCmdSelectAll,
                 kCmdSelectNone, kCmdToggleSelection, kCmdPrint}) {
    // clang-format on
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
  file->addAction(actions_[kCmdSaveProperties]);
  actions_[kCmdPrint]->setShortcut(QKeySequence::Print);
  file->addAction(actions_[kCmdPrint]);
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
  progressBar_->setObjectName("loadingProgress");
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
  // clang-format off
  struct D { Pane pane; int text; Qt::DockWidgetArea area; };
  // clang-format on
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
  if (!viewOf_.empty()) return;
  QWidget* startPage = views_->widget(0);
  constexpr int kStates = int(ViewState::WebPage) + 1;
  std::vector<QWidget*> made;
  if (viewHost_) made = viewHost_->createViews(views_);
  made.resize(kStates, nullptr);
  viewOf_.assign(kStates, nullptr);
  shownOnce_.assign(kStates, false);
  for (int s = 0; s < kStates; ++s) {
    QWidget* page = made[s];
    if (!page && ViewState(s) == ViewState::Start) page = startPage;
    if (!page) {
      // A view of later work: an empty home with its caption.
      auto* label = new QLabel(views_);
      label->setAlignment(Qt::AlignCenter);
      if (int caption = viewCaption(ViewState(s), false)) label->setText(qtext(texts(), caption));
      page = label;
    }
    if (views_->indexOf(page) < 0) views_->addWidget(page);
    viewOf_[s] = page;
  }
  views_->setCurrentWidget(viewOf_[int(state_)]);
}

QWidget* MainWindow::viewWidget(ViewState s) const {
  if (int(s) >= int(viewOf_.size())) return nullptr;
  return viewOf_[int(s)];
}

void MainWindow::showProperties() {
  if (QDockWidget* d = docks_[int(Pane::Properties)]) {
    d->show();
    d->raise();
  }
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

bool MainWindow::showWebPage() {
  if (state_ != ViewState::ExchangeBrowser || viewOf_.empty()) return false;
  showState(ViewState::WebPage);
  return true;
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

std::vector<int> MainWindow::toolbarCommandIds() const { return toolbarFor(state_, wizardReady_); }

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
  for (int id : {kCmdSaveProperties, kCmdPrint}) actions_[id]->setEnabled(commandEnabledNow(id));
  int caption = viewCaption(state_, wizardReady_);
  statusText(4, caption ? texts().text(caption) : std::string());
}

bool MainWindow::commandEnabledNow(int command) const {
  if (!enabled(command, state_)) return false;
  // Chart and Call trace switch views, but only from a browser list that has
  // something to chart or a line to trace.
  if ((command == kCmdChart || command == kCmdCallTrace) &&
      (state_ == ViewState::CmdrBrowser || state_ == ViewState::VoiceBrowser))
    return viewHost_ && viewHost_->viewCommandEnabled(command, state_);
  if (switchesView(command) || command == kCmdSettings || command == kCmdAbout) return true;
  return viewHost_ ? viewHost_->viewCommandEnabled(command, state_) : false;
}

void MainWindow::showState(ViewState s) {
  ViewState old = state_;
  if (viewHost_ && old != s) viewHost_->viewLeft(old);
  state_ = s;
  QWidget* page = viewOf_[int(s)];
  views_->setCurrentWidget(page);
  page->setFocus();
  bool first = !shownOnce_[int(s)];
  shownOnce_[int(s)] = true;
  if (viewHost_) viewHost_->viewShown(s, first);
  refreshToolbar();
}

void MainWindow::runCommand(int command) {
  if (!commandEnabledNow(command)) return;
  if (command == kCmdSettings || command == kCmdAbout) {
    statusText(2, "");
    showProperties();
    if (viewHost_) viewHost_->viewCommand(command, state_);
    return;
  }
  if (!switchesView(command)) {
    if (viewHost_) viewHost_->viewCommand(command, state_);
    return;
  }
  const bool byViewCommand = command == kCmdUsers || command == kCmdDigits || command == kCmdClip ||
                             command == kCmdCorvane || command == kCmdCmdr || command == kCmdVoice;
  if (byViewCommand) statusText(2, "");
  createViews();
  // "Back" and "List" on the web page act as the exchange browser's command.
  const bool fromWebPage = state_ == ViewState::WebPage && (command == kCmdBack || command == kCmdList);
  ViewState next = stateAfterCommand(command, state_);
  if (next == state_) {
    if (command != kCmdList || !viewHost_) return;
  } else {
    showState(next);
  }
  // What showing the view starts; on failure the start view.
  const bool enters = command == kCmdCorvane || command == kCmdCmdr || command == kCmdVoice || fromWebPage;
  if (enters && viewHost_ && !viewHost_->enterView(next)) {
    showState(ViewState::Start);
    return;
  }
  // "List" reads the selection form into its browser and lists.
  if (command == kCmdList && !fromWebPage && viewHost_ &&
      (state_ == ViewState::CmdrBrowser || state_ == ViewState::VoiceBrowser)) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    viewHost_->viewCommand(kCmdList, state_);
    QApplication::restoreOverrideCursor();
  }
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
