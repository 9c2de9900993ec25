#include "audit/audit_report.h"

#include <cstring>
#include <string>

#include "frame/app_state.h"
#include "frame/computer_list.h"
#include "frame/run_log.h"
#include "frame/strings.h"

void WriteAuditReport() { WriteAuditReport(std::time(nullptr)); }

void WriteAuditReport(std::time_t now) {
  long processed = 0, errors = 0;
  for (const auto& record : computerList) {
    if (!record.selected) continue;
    ++processed;
    if (record.results[0].status != IDS_COMPLETED) ++errors;
  }
  const auto body = [](RunLog& log) {
    for (const auto& record : computerList) {
      if (!record.selected) continue;
      const ResultSlot& slot = record.results[0];
      char text[261];
      const bool loaded = LoadStringA(appState.instance, slot.status, text, sizeof text) > 0;
      const std::string policy(record.policyText, strnlen(record.policyText, sizeof record.policyText));
      WriteLogLine(log, LineClass::Always, "%s\t%s\t%s\t%li\t%s\n", loaded && slot.status == IDS_COMPLETED ? "Success" : "Error",
                   record.name.c_str(), loaded ? text : "Unknown", static_cast<long>(slot.errorCode), policy.c_str());
    }
  };
  WriteReport(runLog,
              ReportFrame{"Operation completed\n", "Descr\tComputerName\tOperation\tErrorCode\tCurrentPolicy\n", body,
                          processed, errors},
              now);
}
