// A listing's selection from a request's query: the long option names of
// `lumarc-cli report cmdr` without their dashes ("month=2024-05",
// "mode=1", "acked-free=1"), a saved template first ("template=NAME"), then
// every other field over it in the order given, read through the same
// selection options as the command line (lumarc/browse/selection_options.h),
// so a wrong value is refused with the same reason. An empty value counts as
// not given, so that a form may send every field. "page" is the page of an
// HTML listing. Also the restriction of a plan to an account's ports. Pure.
#pragma once

#include "common/codepage.h"
#include "lumarc/browse/report_plan.h"
#include "lumarc/records/records.h"
#include "lumarc/web/exchange.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lumarc::web {

struct SelectionParams {
  TemplateRecord selection;
  int page = 1;
  // The fields as given (without page), to build links and fill the form.
  Params given;
};

// The saved template of a name: nothing when there is none (error empty),
// or on a database failure (error set).
using TemplateLookup = std::function<std::optional<TemplateRecord>(const std::string& name, std::string& error)>;

enum class ParamsOutcome { Ok, Bad, DatabaseFailed };

// Reads the query into out. Bad: `why` holds the one-line reason.
// Parameters other than the selection's, page and those in `also` are bad.
ParamsOutcome readSelection(const Params& query, corvane::CodePage cp, const TemplateLookup& templates,
                            SelectionParams& out, std::string& why, const std::vector<std::string>& also = {});

// Limits a plan to the calls of these ports (table Cdata: cport; the voice
// table: rcdport); no port at all lists nothing.
void restrictToPorts(browse::ReportPlan& plan, const std::vector<std::string>& ports);

// "a=1&b=x%20y" of the fields (percent-encoded UTF-8).
std::string queryString(const Params& fields);
std::string percentEncoded(std::string_view text);

}  // namespace lumarc::web
