// The CMDR browser and the selection form, offscreen on real SQLite files:
// what a person sees when listing, saving, mailing, archiving and trashing
// records, and which form fields they can fill in.
#include "lumarc/browse/ui/cmdr_view.h"

#include "common/format.h"
#include "common/test_support.h"
#include "lumarc/texts/texts.h"
#include "lumarc/browse/ui/ui_test_support.h"
#include "lumarc/browse/cmdr_report.h"
#include "lumarc/browse/selection.h"
#include "lumarc/browse/ui/selection_form.h"
#include "lumarc/links/mail_file.h"
#include "lumarc/store/record_store.h"

#include <QComboBox>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace lumarc::browse {
namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The mail program: keeps what it was asked to attach.
struct FakeMail : ProcessRunner {
  std::string program, attachmentName, attachment;
  int run(const std::string& p, const std::vector<std::string>& args) override {
    program = p;
    if (args.size() == 2) {
      attachmentName = args[1].substr(args[1].rfind('/') + 1);
      attachment = readAll(args[1]);
    }
    return 0;
  }
};

class CmdrBrowser : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ui::testApplication(); }
  void SetUp() override {
    ASSERT_TRUE(store.openMainDatabase(dir.path()));
    store::DrptPset users(db());
    UserRecord u;
    u.cport = corvane::portText8("101");
    u.surn = "Smith";
    u.name = "John";
    ASSERT_TRUE(users.add(u));
    for (int i = 0; i < 3; ++i) addCall(i % 2 ? "102" : "101", i);
    CmdrViewHooks h;
    h.database = [this] { return store.mainDatabase(); };
    h.userDatabase = [this] { return store.mainDatabase(); };
    h.store = [this] { return &store; };
    h.formSelection = [this]() -> std::optional<TemplateRecord> { return formSelection; };
    h.openDatabases = [this] { return std::vector<std::string>{dir.path() + "/Lumarc.mdb"}; };
    h.message = [this](const std::string& m) { messages.push_back(m); };
    h.editUser = [this](const UserRecord& u) { edited.push_back(u.cport); };
    h.workingDirectory = dir.path();
    h.mailRunner = &mail;
    view = std::make_unique<CfwDbCdr>(englishTexts(), std::move(h));
    view->resize(900, 400);
    view->initialiseStore(dir.path());
  }
  store::Database& db() { return *store.mainDatabase(); }
  int32_t addCall(const char* port, int i) {
    CmdrRecord r;
    r.type = "A";
    r.tdate = DateTime{2024, 5, 1 + i, 9, 0, 0};
    r.duration = 60;
    r.cport = corvane::portText8(port);
    r.rpuls = 2;
    r.crefa = r.crefb = uint32_t(i);
    store::DrptCset c(db());
    EXPECT_TRUE(c.add(r));
    return r.sqno;
  }
  std::vector<int32_t> rows() {
    store::DrptCset c(db());
    c.open();
    std::vector<int32_t> out;
    CmdrRecord r;
    while (c.next(r)) out.push_back(r.sqno);
    return out;
  }

  corvane::testing::TempDir dir{"cmdr-view"};
  RecordStore store;
  std::optional<TemplateRecord> formSelection;
  std::vector<std::string> messages, edited;
  FakeMail mail;
  std::unique_ptr<CfwDbCdr> view;
};

TEST_F(CmdrBrowser, SavedAndMailedReportIsTheBuildersFile) {
  TemplateRecord s = defaultSelection();
  s.TLtyp = kAllUserSorted;
  s.TPrce = 0.5;
  formSelection = s;
  view->command(kCmdList);
  EXPECT_EQ(view->count(), 10);  // 2 users: heading, records, sub-total, empty; then the total
  const std::string saved = dir.path() + "/saved.txt";
  ASSERT_TRUE(view->saveReport(saved, ReportFileFormat::Text));

  LineStore lines(dir.path());
  LineStoreSink sink(lines);
  const auto r = buildCmdrReport(db(), planFor(s), CmdrReportTexts::from(englishTexts()), sink);
  const std::string built = dir.path() + "/built.txt";
  ASSERT_TRUE(writeReportFile(built, r.header1, r.header2, lines));
  EXPECT_EQ(readAll(saved), readAll(built));

  view->command(kCmdMail);
  EXPECT_EQ(mail.program, "xdg-email");
  EXPECT_EQ(mail.attachmentName, "Report.txt");
  EXPECT_EQ(mail.attachment, readAll(built));

  EXPECT_FALSE(view->saveReport(dir.path() + "/missing/r.txt", ReportFileFormat::Text));
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), dir.path() + "/missing/r.txt File access failed!");
}

TEST_F(CmdrBrowser, TrashNeedsACompleteArchiveOfThisListingAndDeletesOnlyItsRows) {
  formSelection = defaultSelection();
  view->command(kCmdList);
  EXPECT_FALSE(view->commandEnabled(kCmdTrash));

  EXPECT_FALSE(view->archiveTo(dir.path() + "/Lumarc.mdb", true)) << "the open database is no archive";
  EXPECT_EQ(messages.back(), "Copy failed!");
  EXPECT_FALSE(view->commandEnabled(kCmdTrash));
  EXPECT_EQ(rows().size(), 3u);

  ASSERT_TRUE(view->archiveTo(dir.path() + "/may.mdb", false));
  EXPECT_TRUE(view->commandEnabled(kCmdTrash));
  view->command(kCmdList);
  EXPECT_FALSE(view->commandEnabled(kCmdTrash)) << "a new listing needs a new archive";

  ASSERT_TRUE(view->archiveTo(dir.path() + "/may2.mdb", false));
  const int32_t late = addCall("101", 20);  // stored after the copy
  view->command(kCmdTrash);
  EXPECT_EQ(rows(), std::vector<int32_t>{late});
  EXPECT_EQ(view->count(), 0);
  EXPECT_EQ(view->header1(), "");
  auto archive = store.openCmdrArchive(dir.path() + "/may2.mdb", false);
  ASSERT_TRUE(archive);
  EXPECT_EQ(archive->db->rowCount(store::cdataTable()), 3);
}

TEST_F(CmdrBrowser, DoubleClickOpensTheUserAndTraceNeedsBothReferences) {
  formSelection = defaultSelection();
  view->command(kCmdList);
  // Time order: 101 (refs 0), 102 (refs 1), 101 (refs 2).
  emit view->lineActivated(0);
  EXPECT_EQ(edited, std::vector<std::string>{corvane::portText8("101")});
  emit view->lineActivated(1);
  EXPECT_EQ(edited.size(), 1u) << "port 102 has no user";
  emit view->selectionChanged(0);
  EXPECT_FALSE(view->commandEnabled(kCmdCallTrace));
  emit view->selectionChanged(1);
  EXPECT_TRUE(view->commandEnabled(kCmdCallTrace));
  emit view->selectionChanged(3);  // the total line
  EXPECT_FALSE(view->commandEnabled(kCmdCallTrace));
  EXPECT_TRUE(view->commandEnabled(kCmdChart));
}

TEST_F(CmdrBrowser, FormEnablesTheFieldsOfItsBrowserAndKeepsTemplates) {
  SelectionFormHooks h;
  h.database = [this] { return store.mainDatabase(); };
  CfwSdlg form(englishTexts(), h);
  form.showFor(false, defaultSelection());
  EXPECT_TRUE(form.usedPortChoice()->isEnabled());
  EXPECT_FALSE(form.direction()->isEnabled());
  EXPECT_EQ(form.usedPortChoice()->itemText(1).left(9), "     101 ");
  form.usedPort()->setText(" 1A");
  EXPECT_FALSE(form.usedPortChoice()->isEnabled()) << "the edit wins while it holds text";
  EXPECT_EQ(form.read().Tpuport, "      1A");
  form.usedPort()->setText("");
  EXPECT_TRUE(form.usedPortChoice()->isEnabled());
  form.variant()->setCurrentIndex(2);
  EXPECT_FALSE(form.usedPortChoice()->isEnabled());
  EXPECT_FALSE(form.listed()->isEnabled());

  form.showFor(true, defaultSelection());
  EXPECT_FALSE(form.variant()->isEnabled());
  EXPECT_TRUE(form.direction()->isEnabled());
  EXPECT_TRUE(form.usedPortChoice()->isEnabled());

  form.name()->setText("Weekly");
  form.dialled()->setText("0212");
  form.command(kCmdSaveTemplate);
  EXPECT_EQ(form.templates()->currentIndex(), 0) << "New record is shown after saving";
  ASSERT_EQ(form.templates()->count(), 2);
  EXPECT_FALSE(form.commandEnabled(kCmdTrash));
  form.dialled()->setText("");
  form.templates()->setCurrentIndex(1);
  emit form.templates()->activated(1);
  EXPECT_EQ(form.dialled()->text(), "0212");
  EXPECT_TRUE(form.commandEnabled(kCmdTrash));
  form.command(kCmdTrash);
  EXPECT_EQ(form.templates()->count(), 1);
  EXPECT_EQ(form.dialled()->text(), "") << "the defaults after Trash";
}

}  // namespace
}  // namespace lumarc::browse
