#include "lumarc/app/db_connection.h"

#include "lumarc/store/odbc.h"

#include <cctype>

namespace lumarc {

std::string connectionString(const DbConnection& c) {
  switch (c.kind) {
    case DbConnection::Kind::Embedded: return {};
    case DbConnection::Kind::Odbc: return c.odbc;
    case DbConnection::Kind::Postgres: break;
  }
  using odbc::quoteConnValue;
  return "DRIVER={PostgreSQL Unicode};SERVER=" + quoteConnValue(c.host) + ";PORT=" + std::to_string(c.port) +
         ";DATABASE=" + quoteConnValue(c.database) + ";UID=" + quoteConnValue(c.user) +
         ";PWD=" + quoteConnValue(c.password) + ";";
}

std::string withoutPassword(const std::string& conn) {
  std::string shown;
  size_t i = 0;
  while (i < conn.size()) {
    // One item: key, '=', then a plain value up to ';' or a braced one in
    // which "}}" stands for '}'.
    size_t end = conn.find(';', i);
    size_t eq = conn.find('=', i);
    if (eq != std::string::npos && (end == std::string::npos || eq < end)) {
      size_t v = eq + 1;
      while (v < conn.size() && conn[v] == ' ') ++v;
      if (v < conn.size() && conn[v] == '{') {
        size_t p = v + 1;
        while (p < conn.size()) {
          if (conn[p] == '}') {
            if (p + 1 < conn.size() && conn[p + 1] == '}') {
              p += 2;
              continue;
            }
            break;
          }
          ++p;
        }
        end = p < conn.size() ? conn.find(';', p) : std::string::npos;
      }
    }
    std::string item = conn.substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (eq != std::string::npos && eq - i < item.size()) {
      std::string key = item.substr(0, eq - i);
      while (!key.empty() && key.front() == ' ') key.erase(0, 1);
      while (!key.empty() && key.back() == ' ') key.pop_back();
      for (auto& ch : key) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      if (key == "PWD" || key == "PASSWORD") item = key + "=***";
    }
    if (!item.empty()) shown += (shown.empty() ? "" : ";") + item;
    if (end == std::string::npos) break;
    i = end + 1;
  }
  return shown;
}

std::string chooseConnection(const DbConnection& stored, const std::string& envValue) {
  return envValue.empty() ? connectionString(stored) : envValue;
}

StartConnections chooseConnections(const DbChoice& stored, const std::string& envMain, const std::string& envVoice,
                                   const std::string& embeddedVoice) {
  StartConnections c;
  c.main = chooseConnection(stored.main, envMain);
  c.voice = chooseConnection(stored.voice, envVoice);
  if (c.voice.empty() && !c.main.empty() && envMain.empty()) c.voice = embeddedVoice;
  return c;
}

}  // namespace lumarc
