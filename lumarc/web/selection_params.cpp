#include "lumarc/web/selection_params.h"

#include "common/format.h"
#include "lumarc/browse/selection.h"
#include "lumarc/browse/selection_options.h"

#include <algorithm>

namespace lumarc::web {

namespace {

bool knownField(const std::string& name) {
  size_t n = 0;
  const browse::SelectionOption* o = browse::selectionOptions(n);
  for (size_t i = 0; i < n; ++i)
    if (name == o[i].name) return true;
  return browse::isSelectionFlag(name);
}

}  // namespace

ParamsOutcome readSelection(const Params& query, corvane::CodePage cp, const TemplateLookup& templates,
                            SelectionParams& out, std::string& why, const std::vector<std::string>& also) {
  out = SelectionParams{};
  out.selection = browse::defaultSelection();
  const std::string* templateName = nullptr;
  std::vector<std::pair<std::string, std::string>> fields;
  for (const auto& [name, value] : query) {
    if (name == "page") {
      if (value.empty()) continue;
      if (value.size() > 7 || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
          std::stoi(value) < 1) {
        why = "invalid value \"" + value + "\" for page";
        return ParamsOutcome::Bad;
      }
      out.page = std::stoi(value);
      continue;
    }
    if (std::find(also.begin(), also.end(), name) != also.end()) continue;
    if (name == "template") {
      if (!value.empty()) templateName = &value;
      if (!value.empty()) out.given.emplace_back(name, value);
      continue;
    }
    const std::string option = "--" + name;
    if (!knownField(option)) {
      why = "unknown option " + option;
      return ParamsOutcome::Bad;
    }
    if (value.empty()) continue;
    if (browse::isSelectionFlag(option)) {
      if (value == "0") continue;
      if (value != "1") {
        why = "invalid value \"" + value + "\" for " + option;
        return ParamsOutcome::Bad;
      }
    }
    fields.emplace_back(option, browse::isSelectionFlag(option) ? "" : value);
    out.given.emplace_back(name, value);
  }
  // Values are checked before the database is asked for a template.
  TemplateRecord check = browse::defaultSelection();
  for (const auto& [a, v] : fields)
    if (!browse::applySelectionOption(a, v, cp, check, why)) return ParamsOutcome::Bad;
  if (templateName) {
    std::string error;
    std::optional<TemplateRecord> t = templates(corvane::fromUtf8(*templateName, cp), error);
    if (!t) {
      why = error.empty() ? "no template named \"" + *templateName + "\"" : error;
      return error.empty() ? ParamsOutcome::Bad : ParamsOutcome::DatabaseFailed;
    }
    out.selection = *t;
  }
  for (const auto& [a, v] : fields) browse::applySelectionOption(a, v, cp, out.selection, why);
  why.clear();
  return ParamsOutcome::Ok;
}

void restrictToPorts(browse::ReportPlan& plan, const std::vector<std::string>& ports) {
  using store::Condition;
  const char* column = plan.table == browse::ListedTable::Voice ? "rcdport" : "cport";
  std::vector<Condition> any;
  for (const std::string& p : ports) any.push_back(Condition::eq(column, corvane::portText8(p)));
  Condition only = any.empty() ? Condition::none() : Condition::any(std::move(any));
  plan.where = plan.where.empty() ? only : Condition::all({plan.where, only});
  plan.restriction = plan.restriction.empty() ? only : Condition::all({plan.restriction, only});
}

std::string percentEncoded(std::string_view text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string queryString(const Params& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += '&';
    out += percentEncoded(name) + "=" + percentEncoded(value);
  }
  return out;
}

}  // namespace lumarc::web
