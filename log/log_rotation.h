// Rotation of the agent log: the current file becomes a numbered copy (Agent.log becomes
// Agent1.log, Agent2.log, ...) and the oldest copy goes once there are maxFiles of them.
// Called with the log mutex held; the files are shared by all processes.
#pragma once

#include <cstdint>
#include <string>

// The log path with the number n inserted before every '.' of its file name.
std::u16string NumberedLogPath(const std::u16string& logPath, uint32_t n);

// Makes room for a fresh file. Returns false when the record must be dropped (the oldest
// copy could not be deleted, or the rename failed for another reason than an existing name).
// When nothing could be deleted and maxFiles are present, the current file is kept and
// appended to (true).
bool RotateLogFile(const std::u16string& folder, const std::u16string& logPath,
                   const std::u16string& pattern, uint32_t maxFiles);
