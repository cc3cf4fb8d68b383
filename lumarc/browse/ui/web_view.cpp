#include "lumarc/browse/ui/web_view.h"

#include "lumarc/texts/texts.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>
#include <QVBoxLayout>

#include <unistd.h>

#ifdef LUMARC_WEBENGINE
#include <QAction>
#include <QPointer>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>
#endif

namespace lumarc::browse {

namespace {

QUrl urlOf(const std::string& address) { return QUrl(QString::fromStdString(address), QUrl::StrictMode); }

#ifdef LUMARC_WEBENGINE
// Qt WebEngine's view, made with the first page: until then the control is
// an empty frame and Chromium is not started.
class WebEngineControl : public PageControl {
 public:
  explicit WebEngineControl(QWidget* parent) : frame_(new QWidget(parent)) {
    auto* layout = new QVBoxLayout(frame_);
    layout->setContentsMargins(0, 0, 0, 0);
  }
  ~WebEngineControl() override { delete frame_.data(); }

  void setEvents(Events events) override { events_ = std::move(events); }
  QWidget* widget() override { return frame_; }
  void navigate(const std::string& address) override { view()->setUrl(urlOf(address)); }
  void back() override {
    if (view_) view_->back();
  }
  void forward() override {
    if (view_) view_->forward();
  }
  void stop() override {
    if (view_) view_->stop();
  }
  bool canGoBack() const override { return view_ && view_->history()->canGoBack(); }
  bool canGoForward() const override { return view_ && view_->history()->canGoForward(); }

 private:
  QWebEngineView* view() {
    if (view_) return view_;
    view_ = new QWebEngineView(frame_);
    frame_->layout()->addWidget(view_);
    QObject::connect(view_, &QWebEngineView::loadStarted, view_, [this] {
      if (events_.loadStarted) events_.loadStarted();
    });
    QObject::connect(view_->page(), &QWebEnginePage::loadingChanged, view_, [this](const QWebEngineLoadingInfo& info) {
      if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && events_.loadFailed)
        events_.loadFailed(info.url().toString().toStdString(), info.errorString().toStdString());
    });
    QObject::connect(view_, &QWebEngineView::loadFinished, view_, [this](bool ok) {
      if (ok) loaded_ = true;
      if (events_.loadFinished) events_.loadFinished(ok);
      if (events_.historyChanged) events_.historyChanged();
    });
    for (QWebEnginePage::WebAction a : {QWebEnginePage::Back, QWebEnginePage::Forward})
      QObject::connect(view_->pageAction(a), &QAction::changed, view_, [this] {
        if (events_.historyChanged) events_.historyChanged();
      });
    QObject::connect(view_->page(), &QWebEnginePage::renderProcessTerminated, view_,
                     [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                       // A renderer that dies before any page was shown will not start.
                       if (status != QWebEnginePage::NormalTerminationStatus && !loaded_ && events_.failed)
                         events_.failed();
                     });
    return view_;
  }

  QPointer<QWidget> frame_;
  QPointer<QWebEngineView> view_;
  Events events_;
  bool loaded_ = false;
};
#endif

}  // namespace

bool embeddedBrowserBuilt() {
#ifdef LUMARC_WEBENGINE
  return true;
#else
  return false;
#endif
}

bool sandboxRefusesRoot() {
  if (::geteuid() != 0) return false;
  const QStringList flags = qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").split(' ', Qt::SkipEmptyParts);
  if (flags.contains("--no-sandbox")) return false;
  const QString disabled = qEnvironmentVariable("QTWEBENGINE_DISABLE_SANDBOX");
  return disabled.isEmpty() || disabled == "0";
}

std::unique_ptr<PageControl> makeEmbeddedPageControl(QWidget* parent) {
#ifdef LUMARC_WEBENGINE
  if (sandboxRefusesRoot()) return nullptr;
  return std::make_unique<WebEngineControl>(parent);
#else
  (void)parent;
  return nullptr;
#endif
}

bool openInDesktopBrowser(const std::string& address) {
  const QUrl url = urlOf(address);
  if (!url.isValid()) return false;
  // A platform without desktop services (offscreen, minimal) still has the
  // desktop's opener.
  return QDesktopServices::openUrl(url) || QProcess::startDetached("xdg-open", {url.toString()});
}

CfwBrowser::CfwBrowser(const corvane::StringTable& texts, WebViewHooks hooks, std::unique_ptr<PageControl> control,
                       QWidget* parent)
    : QWidget(parent), texts_(texts), hooks_(std::move(hooks)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  setControl(std::move(control));
}

void CfwBrowser::useEmbeddedBrowser() {
  setControl(makeEmbeddedPageControl(this));
  if (!control_ && embeddedBrowserBuilt() && sandboxRefusesRoot())
    notEmbeddedWhy_ = texts_.text(kTextPageNotEmbeddedAsRoot);
}

void CfwBrowser::setControl(std::unique_ptr<PageControl> control) {
  setBusy(false);
  control_ = std::move(control);
  broken_ = false;
  notEmbeddedWhy_.clear();
  if (!control_) return;
  layout()->addWidget(control_->widget());
  PageControl::Events e;
  e.loadStarted = [this] { setBusy(true); };
  e.loadFinished = [this](bool) { setBusy(false); };
  e.loadFailed = [this](const std::string& address, const std::string& why) {
    if (hooks_.message)
      hooks_.message(texts_.text(kTextPageNotOpened) + " " + address + (why.empty() ? "" : " (" + why + ")"));
  };
  e.historyChanged = [this] {
    if (hooks_.refreshToolbar) hooks_.refreshToolbar();
  };
  e.failed = [this] {
    broken_ = true;
    setBusy(false);
    if (hooks_.leave) hooks_.leave();
    openOutside(home_);
  };
  control_->setEvents(std::move(e));
}

CfwBrowser::~CfwBrowser() = default;

bool CfwBrowser::open(const std::string& address) {
  home_ = address;
  if (!embedded()) {
    openOutside(address);
    return false;
  }
  control_->navigate(address);
  return true;
}

void CfwBrowser::openOutside(const std::string& address) {
  const int text = openInDesktopBrowser(address) ? kTextPageInDesktopBrowser : kTextPageNotOpened;
  if (!hooks_.message) return;
  hooks_.message((notEmbeddedWhy_.empty() ? std::string() : notEmbeddedWhy_ + " ") + texts_.text(text) + " " + address);
}

void CfwBrowser::leave() {
  if (embedded()) control_->stop();
  setBusy(false);
}

void CfwBrowser::setBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (hooks_.loading) hooks_.loading(busy);
}

bool CfwBrowser::commandEnabled(int command) const {
  switch (command) {
    case kCmdHome: return embedded() && !home_.empty();
    case kCmdPageBack: return embedded() && control_->canGoBack();
    case kCmdPageForward: return embedded() && control_->canGoForward();
    default: return false;
  }
}

void CfwBrowser::command(int command) {
  if (!commandEnabled(command)) return;
  switch (command) {
    case kCmdHome: control_->navigate(home_); break;
    case kCmdPageBack: control_->back(); break;
    case kCmdPageForward: control_->forward(); break;
    default: break;
  }
}

}  // namespace lumarc::browse
