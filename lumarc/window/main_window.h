// The management program's main window: menu, toolbar rebuilt for the view
// state, message bar, status bar, the four docking panes, the 100 ms tick
// and the idle step.
#pragma once

#include "common/string_table.h"
#include "lumarc/app/command_line.h"
#include "lumarc/app/settings.h"
#include "lumarc/app/tick.h"
#include "lumarc/browse/views.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QAction;
class QDockWidget;
class QLabel;
class QProgressBar;
class QStackedWidget;
class QTimer;
class QToolBar;

namespace lumarc::ui {

extern const char* const kWindowTitle;  // "BRENNIC Lumarc"
extern const char* const kVersionText;  // "2.11"

enum class Pane { Monitor = 0, Cmdr = 1, Voice = 2, Properties = 3 };

// The views of the client area and the commands they own; the program
// supplies them, the window switches between them.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  // Creates every view, once: one widget per view state, in state order
  // (the selection form, chart and trace views may serve two states).
  virtual std::vector<QWidget*> createViews(QWidget* parent) = 0;
  // State s was just made current; first: its first display.
  virtual void viewShown(ViewState s, bool first) = 0;
  // State s is being left for another.
  virtual void viewLeft(ViewState s) = 0;
  // What showing a view by its command starts (the exchange browser's
  // discovery, a record browser's database); false falls back to the start view.
  virtual bool enterView(ViewState s) = 0;
  // A command owned by the view of state s (Scan, Add, Edit, Save, List,
  // Print, ...), or by the properties window (About, Settings, Save).
  virtual void viewCommand(int command, ViewState s) = 0;
  // Whether such a command can act now.
  virtual bool viewCommandEnabled(int command, ViewState s) const = 0;
};

struct MainWindowConfig {
  std::string workDir;
  SettingsBlock* settings = nullptr;
  const corvane::StringTable* texts = nullptr;
  // Opens the voice and then the main database; false stops the start.
  std::function<bool()> openDatabases;
  // Closes what openDatabases opened (at window close).
  std::function<void()> closeDatabases;
  // The whole command line, read once the window and databases exist.
  std::string commandLine;
  // Folder for the installation call's desktop entries.
  std::string desktopDir;
  // Show message boxes (off in tests).
  bool interactive = true;
};

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainWindow(MainWindowConfig config);
  ~MainWindow() override;

  // Creates menus, bars and panes and opens the databases. False (after
  // "Database access Failed!") when a database cannot be opened.
  bool initialise();

  // Shows text in the message bar titled "Info"; an empty text hides it.
  void setCaptionMessage(const std::string& text);
  std::string captionMessage() const { return caption_; }
  // Sets status-bar pane 2 (general), 3 (conversion counter) or 4 (view caption).
  void statusText(int pane, const std::string& text);
  std::string statusTextOf(int pane) const;
  // Rebuilds the toolbar and pane 4 for the current view state.
  void refreshToolbar();
  std::vector<int> toolbarCommandIds() const;
  bool commandEnabledNow(int command) const;

  ViewState viewState() const { return state_; }
  bool wizardReady() const { return wizardReady_; }
  void setWizardReady(bool ready);
  // Runs a main-window command as its toolbar button or menu entry would.
  void runCommand(int command);

  // The scheduler behind the 100 ms tick; steps register here.
  TickScheduler& ticks() { return ticks_; }
  bool tickRunning() const;
  // Adds a step run once per idle pass of the event loop.
  void addIdleStep(std::function<void()> step);
  // Runs the idle steps once (also used by tests).
  void runIdleSteps();

  // Shows and raises the properties pane.
  void showProperties();
  // Puts a pane's content widget into its docking pane.
  void setPaneWidget(Pane pane, QWidget* w);
  QDockWidget* dock(Pane pane) const { return docks_[int(pane)]; }

  // Called for every -C/-V item of the command line.
  void setLinkOpener(std::function<void(const LinkItem&)> opener) { linkOpener_ = std::move(opener); }
  // Called for an empty command line.
  void setImportHandler(std::function<void()> handler) { importHandler_ = std::move(handler); }
  const CommandLine& commandLine() const { return commandLine_; }
  const std::string& workDir() const { return config_.workDir; }
  SettingsBlock& settings() { return *config_.settings; }
  const corvane::StringTable& texts() const { return *config_.texts; }

  // The views and their commands; set before the first view command.
  void setViewHost(ViewHost* host) { viewHost_ = host; }
  // The widget showing a state, once the views exist.
  QWidget* viewWidget(ViewState s) const;

  // Web page loading progress in pane 1 (the web view reports its state).
  void setLoading(bool loading);
  // Switches from the exchange browser to the exchange's web page view,
  // leaving the browser as any view is left; false in any other state.
  bool showWebPage();

 signals:
  void startupFinished();
  void closing();

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void createMenus();
  void createBars();
  void createDocks();
  void createViews();
  void onStartupMessage();
  void showState(ViewState s);
  void onTick();
  QString label(int command) const;

  MainWindowConfig config_;
  TickScheduler ticks_;
  std::vector<std::function<void()>> idleSteps_;
  std::function<void(const LinkItem&)> linkOpener_;
  std::function<void()> importHandler_;
  CommandLine commandLine_;
  ViewState state_ = ViewState::Start;
  bool wizardReady_ = false;
  bool databasesOpen_ = false;
  bool loading_ = false;
  int progress_ = 0;
  std::string caption_;

  QTimer* tick_ = nullptr;
  QToolBar* toolbar_ = nullptr;
  QToolBar* messageBar_ = nullptr;
  QLabel* messageText_ = nullptr;
  QLabel* status_[5] = {};
  QProgressBar* progressBar_ = nullptr;
  QDockWidget* docks_[4] = {};
  QStackedWidget* views_ = nullptr;
  std::vector<QWidget*> viewOf_;  // per state
  std::vector<bool> shownOnce_;   // per state
  ViewHost* viewHost_ = nullptr;
  std::map<int, QAction*> actions_;
  QAction* customize_ = nullptr;
};

}  // namespace lumarc::ui
