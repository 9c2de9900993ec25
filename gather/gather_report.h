// The gather report: one tab-separated line per selected computer and log, written to the run
// log from the result slots once the run is over.
#pragma once

#include <ctime>

void WriteGatherReport();

// The same report carrying the local time `now` (the tests fix it).
void WriteGatherReportAt(std::time_t now);
