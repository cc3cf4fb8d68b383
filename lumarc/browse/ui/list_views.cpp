#include "lumarc/browse/ui/list_views.h"

#include "common/qt/qt_text.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/definitions.h"
#include "lumarc/store/database.h"

#include <QListWidget>
#include <QMenu>

#include <ctime>

namespace lumarc::browse {

namespace {

std::tm localNow() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return tm;
}

// The line kept at the top (and selected) over a relisting.
struct Position {
  int top = 0;
  int selected = -1;
};

Position positionOf(const CfwDblist& list) { return {list.top(), list.selectedLine()}; }

// Selects a line shown in the control (a line off screen stays unselected).
void selectShownLine(CfwDblist& list, int line) {
  int headers = int(!list.header1().empty()) + int(!list.header2().empty());
  int row = line - list.top() + headers;
  if (line >= list.top() && row < list.listControl()->count()) list.listControl()->setCurrentRow(row);
}

void restore(CfwDblist& list, const Position& p) {
  if (list.count() == 0) return;
  list.setTop(std::min(p.top, list.count() - 1));
  if (p.selected >= 0) selectShownLine(list, std::min(p.selected, list.count() - 1));
}

QAction* menuEntry(QMenu& menu, const corvane::StringTable& texts, int id, std::function<void()> run) {
  QAction* a = menu.addAction(corvane::qtext(texts, commandLabel(texts, id)));
  a->setObjectName(QString("command%1").arg(id));
  QObject::connect(a, &QAction::triggered, &menu, std::move(run));
  return a;
}

}  // namespace

// ---- Users ----

CfwDbUsr::CfwDbUsr(const corvane::StringTable& texts, SettingsBlock& settings, ListViewHooks hooks, QWidget* parent)
    : CfwDblist(texts, parent), texts_(texts), settings_(settings), hooks_(std::move(hooks)) {
  setObjectName("usersView");
  connect(this, &CfwDblist::lineActivated, this, [this](int line) { edit(line); });
  connect(this, &CfwDblist::contextMenuAt, this, [this](QPoint at, int line) {
    if (auto menu = contextMenu(line)) menu->exec(at);
  });
}

void CfwDbUsr::list(bool keepTop) {
  const Position was = positionOf(*this);
  clear();
  listed_ = true;
  const int format = settings_.usersFormat() ? 1 : 0;
  if (store::Database* db = hooks_.database ? hooks_.database() : nullptr) {
    std::string failure = listUsers(*db, settings_.usersSort() ? 1 : 0,
                                    [&](const UserRecord& u) { addLine(userLine(u, format), kUserLine, u.sqno, 0); });
    if (!failure.empty() && hooks_.message) hooks_.message(failure);
  }
  setHeaders(usersHeader1(texts_, localNow()), usersHeader2(texts_, format));
  if (keepTop) restore(*this, was);
}

int32_t CfwDbUsr::selectedUser() const {
  int line = selectedLine();
  if (line < 0) return 0;
  std::optional<LineRecord> r = lineAt(line);
  return r && r->kind == kUserLine ? r->index : 0;
}

bool CfwDbUsr::commandEnabled(int id) const {
  switch (id) {
    case kCmdScan:
    case kCmdChangeFormat:
    case kCmdChangeSort: return true;
    case kCmdEdit:
    case kCmdSelectAll:
    case kCmdSelectNone:
    case kCmdToggleSelection: return selectedUser() != 0;
    case kCmdPrint: return count() > 0;
    default: return false;
  }
}

void CfwDbUsr::command(int id) {
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  std::string error;
  auto failed = [&] {
    if (!error.empty() && hooks_.message) hooks_.message(error);
  };
  switch (id) {
    case kCmdScan: list(true); break;
    case kCmdEdit: edit(selectedLine()); break;
    case kCmdChangeFormat:
      settings_.setUsersFormat(settings_.usersFormat() ? 0 : 1);
      list(true);
      break;
    case kCmdChangeSort:
      settings_.setUsersSort(settings_.usersSort() ? 0 : 1);
      list(true);
      break;
    case kCmdSelectAll:
    case kCmdSelectNone:
      if (!db || selectedUser() == 0) return;
      if (!setAllUsersSelected(*db, id == kCmdSelectAll, error)) failed();
      list(true);
      break;
    case kCmdToggleSelection: {
      int32_t user = selectedUser();
      if (!db || user == 0) return;
      if (!toggleUserSelected(*db, user, error)) failed();
      list(true);
      break;
    }
    case kCmdPrint: printWithDialog(); break;
    default: return;
  }
}

void CfwDbUsr::edit(int line) {
  if (line < 0) return;
  std::optional<LineRecord> r = lineAt(line);
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!r || r->kind != kUserLine || !db) return;
  store::Recordset<UserRecord> users(*db);
  std::optional<UserRecord> u = users.find(r->index);
  if (!u) {
    if (!users.error().empty() && hooks_.message) hooks_.message(users.error());
    return;
  }
  if (hooks_.editUser) hooks_.editUser(*u);
}

std::unique_ptr<QMenu> CfwDbUsr::contextMenu(int line) {
  std::optional<LineRecord> r = line >= 0 ? lineAt(line) : std::nullopt;
  if (!r || r->kind != kUserLine) return nullptr;
  auto menu = std::make_unique<QMenu>(this);
  menu->setObjectName("Recordp");
  for (int id : {kCmdEdit, kCmdChangeFormat, kCmdChangeSort, kCmdSelectAll, kCmdSelectNone, kCmdToggleSelection})
    menuEntry(*menu, texts_, id, [this, id] { command(id); });
  return menu;
}

// ---- Definitions ----

CfwDbDgt::CfwDbDgt(const corvane::StringTable& texts, SettingsBlock& settings, int32_t type, ListViewHooks hooks,
                   QWidget* parent)
    : CfwDblist(texts, parent), texts_(texts), settings_(settings), type_(type), hooks_(std::move(hooks)) {
  assert(type == kDialledDigits || type == kCallingNumber);
  setObjectName(type == kDialledDigits ? "dialledNumbersView" : "callingNumbersView");
  connect(this, &CfwDblist::lineActivated, this, [this](int line) { edit(line); });
  connect(this, &CfwDblist::contextMenuAt, this, [this](QPoint at, int line) {
    if (auto menu = contextMenu(line)) menu->exec(at);
  });
}

void CfwDbDgt::list(bool keepTop) {
  const Position was = positionOf(*this);
  clear();
  listed_ = true;
  if (store::Database* db = hooks_.database ? hooks_.database() : nullptr) {
    std::string failure = listDefinitions(*db, type_, settings_.definitionsSort() ? 1 : 0, [&](const RouteRecord& r) {
      addLine(definitionLine(r), kDefinitionLine, r.RSno, 0);
    });
    if (!failure.empty() && hooks_.message) hooks_.message(failure);
  }
  setHeaders(definitionsHeader(texts_), "");
  if (keepTop) restore(*this, was);
}

int32_t CfwDbDgt::selectedDefinition() const {
  int line = selectedLine();
  if (line < 0) return 0;
  std::optional<LineRecord> r = lineAt(line);
  return r && r->kind == kDefinitionLine ? r->index : 0;
}

bool CfwDbDgt::commandEnabled(int id) const {
  switch (id) {
    case kCmdScan:
    case kCmdAdd:
    case kCmdChangeSort: return true;
    case kCmdEdit:
    case kCmdDelete: return selectedDefinition() != 0;
    case kCmdPrint: return count() > 0;
    default: return false;
  }
}

void CfwDbDgt::command(int id) {
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  switch (id) {
    case kCmdScan: list(true); break;
    case kCmdAdd: {
      RouteRecord fresh;
      fresh.RType = type_;
      if (hooks_.editDefinition) hooks_.editDefinition(fresh);
      break;
    }
    case kCmdEdit: edit(selectedLine()); break;
    case kCmdDelete: {
      int32_t key = selectedDefinition();
      if (!db || key == 0) return;
      std::string error;
      if (!deleteDefinition(*db, key, error) && hooks_.message) hooks_.message(error);
      list(true);
      break;
    }
    case kCmdChangeSort:
      settings_.setDefinitionsSort(settings_.definitionsSort() ? 0 : 1);
      list(true);
      break;
    case kCmdPrint: printWithDialog(); break;
    default: return;
  }
}

void CfwDbDgt::edit(int line) {
  if (line < 0) return;
  std::optional<LineRecord> r = lineAt(line);
  store::Database* db = hooks_.database ? hooks_.database() : nullptr;
  if (!r || r->kind != kDefinitionLine || !db) return;
  store::Recordset<RouteRecord> rows(*db);
  std::optional<RouteRecord> row = rows.find(r->index);
  if (!row) {
    if (!rows.error().empty() && hooks_.message) hooks_.message(rows.error());
    return;
  }
  if (hooks_.editDefinition) hooks_.editDefinition(*row);
}

std::unique_ptr<QMenu> CfwDbDgt::contextMenu(int line) {
  std::optional<LineRecord> r = line >= 0 ? lineAt(line) : std::nullopt;
  if (!r || r->kind != kDefinitionLine) return nullptr;
  auto menu = std::make_unique<QMenu>(this);
  menu->setObjectName("Recordr");
  menuEntry(*menu, texts_, kCmdChangeSort, [this] { command(kCmdChangeSort); });
  return menu;
}

}  // namespace lumarc::browse
