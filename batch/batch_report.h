// SPDX-License-Identifier: MIT
// The batch report: one row per product, as CSV for spreadsheets and JSON for programs.
#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "batch/batch_record.h"

namespace turnlet {

// The header and one line per product, ending in CR LF; fields holding a comma, quote or line break
// are quoted (RFC 4180).
std::string ReportCsv(const std::vector<ProductResult>& results);

// {"products": [{...}, ...], "succeeded": N, "failed": N, "stopped": N}; text is escaped as JSON
// asks, numbers not known are null.
std::string ReportJson(const std::vector<ProductResult>& results);

// BASE.csv and BASE.json (an extension .csv or .json on base is dropped first), each written
// atomically. Fails naming the file that could not be written.
Status WriteReport(const std::string& base, const std::vector<ProductResult>& results);

}  // namespace turnlet
