// The fill functions of the network, task and session classes split from their readers,
// so the tests fill them from fixture data the same way the live classes are filled.
// Pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "linux/scheduled_jobs.h"
#include "linux/sockets.h"
#include "provider/class_decl.h"

namespace kvwmi {

// `owners` maps a socket inode to the pid holding it.
void FillTcpConnectionsFrom(const ClassDecl& decl, const std::vector<kvlinux::SocketEntry>& tcp,
                            const std::map<std::uint64_t, std::int64_t>& owners,
                            std::vector<Instance>& out);
void FillUdpEndpointsFrom(const ClassDecl& decl, const std::vector<kvlinux::SocketEntry>& udp,
                          const std::map<std::uint64_t, std::int64_t>& owners,
                          const std::string& host, std::vector<Instance>& out);
void FillScheduledTasksFrom(const ClassDecl& decl, const std::vector<kvlinux::CronJob>& jobs,
                            const std::vector<kvlinux::TimerUnit>& timers,
                            std::vector<Instance>& out);

// The MSFT_NetTCPConnection State of a kernel TCP state (1 established ... 11 closing).
std::uint64_t TcpStateOf(std::uint8_t kernel_state);

}  // namespace kvwmi
