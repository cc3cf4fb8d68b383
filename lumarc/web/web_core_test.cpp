// The web engine's plain parts: accounts and their file, the throttle,
// sessions, the selection read from a query (with the command line's
// reasons) and the service's configuration file.
#include "lumarc/web/accounts.h"
#include "common/http/listen_address.h"
#include "lumarc/web/page_texts.h"
#include "lumarc/web/selection_params.h"
#include "lumarc/web/serve_config.h"
#include "lumarc/web/sessions.h"

#include "common/test_support.h"
#include "lumarc/browse/selection.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace lumarc::web {
namespace {

TEST(WebAccounts, HashesVerifyAndTheFileRoundTripsAtMode0600) {
  const std::string hash = hashPassword("correct horse");
  ASSERT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;
  EXPECT_TRUE(verifyPassword(hash, "correct horse"));
  EXPECT_FALSE(verifyPassword(hash, "correct horsE"));
  EXPECT_FALSE(verifyPassword("", "x"));

  corvane::testing::TempDir dir("lumarc-webacc");
  AccountFile file(dir.path() + "/web-accounts");
  std::vector<Account> accounts{{"ann", Role::Admin, {}, hash}, {"bo.b@x", Role::User, {"101", "1A"}, hash}};
  std::string error;
  ASSERT_TRUE(file.save(accounts, error)) << error;
  struct stat st {};
  ASSERT_EQ(::stat(file.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_TRUE(file.find("bo.b@x"));
  EXPECT_EQ(file.find("bo.b@x")->ports, (std::vector<std::string>{"101", "1A"}));
  // A change on disk is seen at the next look-up.
  accounts.pop_back();
  ASSERT_TRUE(file.save(accounts, error));
  EXPECT_FALSE(file.find("bo.b@x"));
  EXPECT_TRUE(file.find("ann"));

  std::vector<Account> parsed;
  const auto problems =
      parseAccounts("# c\nann:admin::$argon2id$x\nbad line\nx:boss::$argon2id$y\ny:user:1,,2:h\n", parsed);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_EQ(problems[0].line, 3u);
  EXPECT_EQ(parsed.size(), 1u);
}

TEST(WebThrottle, FiveFailuresThenAWaitThatAGoodLoginClears) {
  LoginThrottle t;
  const Clock::time_point now = Clock::now();
  for (int i = 0; i < LoginThrottle::kFreeTries - 1; ++i) {
    t.failed("ann", "10.0.0.1", now);
    EXPECT_EQ(t.wait("ann", "10.0.0.1", now).count(), 0);
  }
  t.failed("ann", "10.0.0.1", now);
  EXPECT_GT(t.wait("ann", "10.0.0.1", now).count(), 0);
  EXPECT_GT(t.wait("ann", "10.0.0.9", now).count(), 0) << "per name";
  EXPECT_GT(t.wait("bob", "10.0.0.1", now).count(), 0) << "per address";
  EXPECT_EQ(t.wait("bob", "10.0.0.9", now).count(), 0);
  EXPECT_EQ(t.wait("ann", "10.0.0.1", now + std::chrono::seconds(3)).count(), 0) << "the wait ends";
  t.succeeded("ann", "10.0.0.1");
  EXPECT_EQ(t.wait("ann", "10.0.0.1", now).count(), 0);
}

TEST(WebSessions, RandomIdsIdleOut) {
  SessionTable s;
  const Clock::time_point now = Clock::now();
  const WebSession a = s.open("ann", now), b = s.open("ann", now);
  EXPECT_EQ(a.id.size(), 64u);
  EXPECT_NE(a.id, b.id);
  EXPECT_NE(a.token, a.id);
  EXPECT_TRUE(s.find(a.id, now + std::chrono::minutes(59)));
  EXPECT_FALSE(s.find(a.id, now + std::chrono::minutes(59) + SessionTable::kIdle + std::chrono::seconds(1)));
  s.close(b.id);
  EXPECT_FALSE(s.find(b.id, now));
}

TEST(WebSelection, QueryFieldsAreTheCommandLinesOptions) {
  const TemplateLookup none = [](const std::string&, std::string&) { return std::optional<TemplateRecord>(); };
  SelectionParams sp;
  std::string why;
  ASSERT_EQ(readSelection({{"month", "2024-05"}, {"mode", "1"}, {"acked-free", "1"}, {"user", ""}, {"page", "3"}},
                          corvane::CodePage::Cp1252, none, sp, why),
            ParamsOutcome::Ok)
      << why;
  EXPECT_EQ(sp.selection.TStr.day, 1);
  EXPECT_EQ(sp.selection.TEnd.day, 31);
  EXPECT_EQ(sp.selection.TLtyp, 1);
  EXPECT_EQ(sp.selection.TAckf, 1);
  EXPECT_EQ(sp.page, 3);
  EXPECT_EQ(queryString(sp.given), "month=2024-05&mode=1&acked-free=1");

  const struct {
    Params q;
    const char* why;
  } bad[] = {{{{"mode", "6"}}, "invalid value \"6\" for --mode"},
             {{{"colour", "red"}}, "unknown option --colour"},
             {{{"from", "2024-02-30"}}, "invalid value \"2024-02-30\" for --from"},
             {{{"no-details", "yes"}}, "invalid value \"yes\" for --no-details"},
             {{{"page", "0"}}, "invalid value \"0\" for page"},
             {{{"template", "June"}}, "no template named \"June\""}};
  for (const auto& b : bad) {
    EXPECT_EQ(readSelection(b.q, corvane::CodePage::Cp1252, none, sp, why), ParamsOutcome::Bad) << b.why;
    EXPECT_EQ(why, b.why);
  }
}

TEST(WebConfigFile, BadLinesAreNamed) {
  ServeConfig c;
  const auto problems = parseServeConfig(
      "# web\nlisten=0.0.0.0:8443\ndb = DSN=x\nport=1\ndir=relative\nlisten=127.0.0.1:1\naccounts=\ntls_cert=/a\n", c);
  ASSERT_EQ(problems.size(), 4u);
  EXPECT_EQ(problems[0].line, 4u);
  EXPECT_EQ(problems[1].line, 5u);
  EXPECT_EQ(problems[2].line, 6u);
  EXPECT_EQ(problems[3].line, 7u);
  EXPECT_EQ(c.listen.value_or(""), "0.0.0.0:8443");
  EXPECT_EQ(c.db.value_or(""), "DSN=x");
  EXPECT_EQ(c.tlsCert.value_or(""), "/a");
  ServeConfig d;
  EXPECT_EQ(parseServeConfig("listen=nohost\n", d).size(), 1u);

  std::string host;
  int port = -1;
  ASSERT_TRUE(corvane::http::splitListenAddress("[::1]:8080", host, port));
  EXPECT_EQ(host, "::1");
  EXPECT_EQ(port, 8080);
  EXPECT_FALSE(corvane::http::splitListenAddress("::1:8080", host, port));
  EXPECT_FALSE(corvane::http::splitListenAddress("127.0.0.1:65536", host, port));
  // The warning of a server without TLS goes by these.
  EXPECT_TRUE(corvane::http::isLoopbackHost("127.0.0.2"));
  EXPECT_TRUE(corvane::http::isLoopbackHost("localhost"));
  EXPECT_FALSE(corvane::http::isLoopbackHost("0.0.0.0"));
  EXPECT_FALSE(corvane::http::isLoopbackHost("192.168.1.5"));
}

TEST(WebTexts, TheBrowsersLanguage) {
  EXPECT_EQ(languageOf("tr-TR,tr;q=0.9,en;q=0.8"), PageLanguage::Turkish);
  EXPECT_EQ(languageOf("en-GB,tr;q=0.5"), PageLanguage::English);
  EXPECT_EQ(languageOf(""), PageLanguage::English);
  EXPECT_EQ(languageOf("de"), PageLanguage::English);
}

}  // namespace
}  // namespace lumarc::web
