// The exchange's web pages in the main window (`CfwBrowser`): the embedded
// browser control shows the page the program opened (its home address),
// goes back and forward in its history and is busy from the start of a
// load to its end; a page that does not load is named in the message bar.
// A build without an embedded browser, a control that cannot start, or a
// program run as root with Chromium's sandbox on hands the address to the
// desktop browser instead.
#pragma once

#include "common/string_table.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace lumarc::browse {

// The embeddable HTML browser the page view drives.
class PageControl {
 public:
  struct Events {
    std::function<void()> loadStarted;
    std::function<void(bool ok)> loadFinished;
    // A page did not load: its address and why.
    std::function<void(const std::string& address, const std::string& why)> loadFailed;
    // Going back or forward became possible or impossible.
    std::function<void()> historyChanged;
    // The control cannot show pages (its renderer did not start).
    std::function<void()> failed;
  };
  virtual ~PageControl() = default;
  virtual void setEvents(Events events) = 0;
  virtual QWidget* widget() = 0;
  virtual void navigate(const std::string& address) = 0;
  virtual void back() = 0;
  virtual void forward() = 0;
  virtual void stop() = 0;
  virtual bool canGoBack() const = 0;
  virtual bool canGoForward() const = 0;
};

// Whether this build has an embedded browser (Qt WebEngine).
bool embeddedBrowserBuilt();
// Chromium's sandbox does not run as root, and the program never turns it
// off by itself: true when the program runs as root and the user has not
// turned the sandbox off (--no-sandbox in QTWEBENGINE_CHROMIUM_FLAGS, or
// QTWEBENGINE_DISABLE_SANDBOX=1).
bool sandboxRefusesRoot();

// The embedded browser this build has (Qt WebEngine); null without one and
// when the sandbox refuses to run. The browser itself starts with the
// first page.
std::unique_ptr<PageControl> makeEmbeddedPageControl(QWidget* parent);

// Opens the address in the desktop's browser (xdg-open). False when it
// could not be handed over.
bool openInDesktopBrowser(const std::string& address);

struct WebViewHooks {
  // The message bar (empty: clear it).
  std::function<void(const std::string&)> message;
  // The page is loading (true) or done (false): the window's progress bar.
  std::function<void(bool)> loading;
  std::function<void()> refreshToolbar;
  // The embedded control failed: leave the page view for the exchange
  // browser.
  std::function<void()> leave;
};

class CfwBrowser : public QWidget {
  Q_OBJECT
 public:
  // control: null shows every page in the desktop browser.
  CfwBrowser(const corvane::StringTable& texts, WebViewHooks hooks, std::unique_ptr<PageControl> control,
             QWidget* parent = nullptr);
  ~CfwBrowser() override;

  // Replaces the browser control (null: the desktop browser only).
  void setControl(std::unique_ptr<PageControl> control);
  // Uses the embedded browser this build has. Without one pages go to the
  // desktop browser; so they do when the sandbox refuses to run as root,
  // and then the message bar says why with every page.
  void useEmbeddedBrowser();
  // Whether pages are shown here; false: they go to the desktop browser.
  bool embedded() const { return control_ && !broken_; }
  // Makes the address the home address and shows it: here when embedded,
  // else in the desktop browser with a word in the message bar. True when
  // it was shown here.
  bool open(const std::string& address);
  // The page view is left: loading stops, the progress bar goes.
  void leave();

  const std::string& homeAddress() const { return home_; }
  bool busy() const { return busy_; }
  // Home, Page back and Page forward.
  bool commandEnabled(int command) const;
  void command(int command);

 private:
  void openOutside(const std::string& address);
  void setBusy(bool busy);

  const corvane::StringTable& texts_;
  WebViewHooks hooks_;
  std::unique_ptr<PageControl> control_;
  std::string home_;
  bool busy_ = false;
  bool broken_ = false;
  // Why pages are not shown here although the build could (empty: no word).
  std::string notEmbeddedWhy_;
};

}  // namespace lumarc::browse
