#include "gather/gather_report.h"

#include "frame/computer_list.h"
#include "frame/run_log.h"
#include "frame/strings.h"

namespace {

constexpr int kTextSize = 260;

void WriteBody(RunLog& log) {
  char unableToWrite[kTextSize];
  LoadStringA(nullptr, IDS_UNABLE_TO_WRITE_LOG, unableToWrite, kTextSize);
  for (const ComputerRecord& record : computerList) {
    if (record.selected != 1) continue;
    const char* name = record.name.c_str();
    for (const ResultSlot& slot : record.results) {
      if (slot.status == IDS_COMPLETED) {
        WriteLogLine(log, LineClass::FullOnly, "Success\t%s\t%s\tOPERATION COMPLETED\t0\n", name, slot.logName);
      } else if (slot.status == IDS_UNABLE_TO_WRITE_LOG) {
        WriteLogLine(log, LineClass::Always, "Error\t%s\t%s\t%s\t%s\n", name, slot.logName, unableToWrite,
                     slot.errorText);
      } else {
        char text[kTextSize];
        if (LoadStringA(nullptr, slot.status, text, kTextSize) == 0) CopyText(text, sizeof text, "Unknown");
        WriteLogLine(log, LineClass::Always, "Error\t%s\t%s\t%s\t%li\n", name, slot.logName, text,
                     static_cast<long>(slot.errorCode));
      }
    }
  }
}

}  // namespace

void WriteGatherReportAt(std::time_t now) {
  ReportFrame frame{"Gathering completed\n", "Descr\tComputerName\t TableName\tOperation\tErrorCode\n", WriteBody};
  for (const ComputerRecord& record : computerList) {
    if (record.selected != 1) continue;
    for (const ResultSlot& slot : record.results) {
      ++frame.processed;
      if (slot.status != IDS_COMPLETED) ++frame.errors;
    }
  }
  WriteReport(runLog, frame, now);
}

void WriteGatherReport() { WriteGatherReportAt(std::time(nullptr)); }
