#pragma once

// One numbering for the engine status, the job status and the reports.
enum ConvertStatus : int {
    StatusNone = 0,           // engine idle / job added, not queued
    StatusWaiting = 1,        // job waits for its turn
    StatusRunning = 2,        // engine running / job being converted
    StatusStopRequested = 3,  // engine: stop asked, worker still ending
    StatusStopped = 4,        // run ended by a stop / job skipped or stopped
    StatusFinished = 5,       // run completed / job converted
    StatusFailed = 6,         // job failed
    StatusProgress = 7,       // progress step of the running job
};

// What a StatusCallback call reports.
enum NotifyKind : int {
    NotifyAskOverwrite = 1,   // may the existing target of job `index` be replaced? reply 1 = yes
    NotifyEngineStatus = 2,   // index -1, value = new engine status
    NotifyJobStatus = 3,      // index = job, value = new job status
};

// (userData, kind, index, value) -> reply; the reply only counts for
// NotifyAskOverwrite. Called on the worker thread except for the engine
// status reports 2 and 3, which come from the thread calling Start or
// RequestStop.
using StatusCallback = int (*)(void* userData, int kind, int index, int value);
