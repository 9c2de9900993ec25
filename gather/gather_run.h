// The gather run: a worker thread walks the selected computers of the list and, for each, gathers
// its System, Security and Application logs into the database, incrementally, in batches, and
// clears each log after a complete gather when the settings ask for it.
#pragma once

#include "frame/run_progress.h"
#include "gather/event_log_reader.h"
#include "platform/core/threads.h"

// The running worker thread, or null.
extern HANDLE GatherThread;

// Prepares the result slots of the selected records (status 5 until a log is gathered) and
// starts the run. With a parent window the run goes behind the bound progress window and this
// returns once it has closed (the window's finish writes the report); without one (or when no
// window is bound) the worker starts bare and this returns at once.
void StartGatherRun(HWND parent);

// The worker thread's routine: every selected computer, its three logs in order. Ends with
// progress->Done() when there is a window.
DWORD GatherWorker(RunProgress* progress);

// The gather of one log of one computer: true with status 11, else the reader's result tells why.
bool GatherLog(EventLogReader& reader, const char* computer);

// The record consumer of GatherLog: the incremental rule, the insert and the batched commit.
bool StoreRecord(EventLogReader& reader, const EVENTLOGRECORD* record);

// The name under which a log is saved when it is cleared, until its last records are stored:
// in the computer's own configuration folder, where a later run finds what a crash left.
std::string SavedLogName(const char* computer, const char* logName);

// From now on the worker writes no result slot: the unattended run reports the slots as they
// stand while the worker may still be inside a call.
void AbandonGatherRun();
