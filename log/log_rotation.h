// Rotation of the agent log: the current file becomes a numbered copy (Agent.log becomes
// Agent1.log, Agent2.log, ...) and the oldest copy goes once there are maxFiles of them.
// Called with the log mutex held; the files are shared by all processes.
#pragma once

#include <cstdint>
#include <string>

#include "kvwin/wide_string.h"

// The log path with the number n inserted before every '.' of its file name.
WString NumberedLogPath(const WString& logPath, uint32_t n);

// Makes room for a fresh file. Returns false when the record must be dropped (the oldest
// copy could not be deleted, or the rename failed for another reason than an existing name).
// When nothing could be deleted and maxFiles are present, the current file is kept and
// appended to (true).
bool RotateLogFile(const WString& folder, const WString& logPath, const WString& pattern,
                   uint32_t maxFiles);
