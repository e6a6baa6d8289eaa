// The fill functions of the network, task and session classes split from their readers,
// so the tests fill them from fixture data the same way the live classes are filled.
// Pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
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

#include "linux/accounts.h"
#include "linux/kernel_modules.h"
#include "linux/routes.h"
#include "linux/sessions.h"
#include "linux/shares.h"
#include "linux/swap.h"

namespace kvwmi {

void FillLogonSessionsFrom(const ClassDecl& decl,
                           const std::vector<kvlinux::LoginSession>& sessions,
                           std::vector<Instance>& out);
void FillLoggedOnUsersFrom(const ClassDecl& decl,
                           const std::vector<kvlinux::LoginSession>& sessions,
                           const std::string& computer, std::vector<Instance>& out);
// `last_logins` maps a uid to its last log-on time.
void FillUserProfilesFrom(const ClassDecl& decl, const std::vector<kvlinux::UserEntry>& users,
                          const std::vector<kvlinux::LoginSession>& sessions,
                          const std::map<std::uint32_t, std::int64_t>& last_logins,
                          std::vector<Instance>& out);
void FillSystemAccountsFrom(const ClassDecl& decl, const std::vector<kvlinux::UserEntry>& users,
                            std::uint32_t uid_min, const std::string& computer,
                            std::vector<Instance>& out);
// The first user id of ordinary accounts: UID_MIN of a login.defs, 1000 when unset.
std::uint32_t ParseUidMin(std::string_view login_defs);

void FillSharesFrom(const ClassDecl& decl, const std::vector<kvlinux::SharedResource>& shares,
                    std::vector<Instance>& out);
void FillPageFileUsageFrom(const ClassDecl& decl, const std::vector<kvlinux::SwapArea>& areas,
                           std::vector<Instance>& out);
void FillPageFileSettingsFrom(const ClassDecl& decl, const std::vector<std::string>& configured,
                              const std::vector<kvlinux::SwapArea>& active,
                              std::vector<Instance>& out);
// `interface_indexes` maps an interface name to its index.
void FillRoutesFrom(const ClassDecl& decl, const std::vector<kvlinux::Ipv4Route>& routes,
                    const std::map<std::string, std::int64_t>& interface_indexes,
                    std::vector<Instance>& out);
// `module_files` maps a module name to its file (modules.dep).
void FillSystemDriversFrom(const ClassDecl& decl, const std::vector<kvlinux::KernelModule>& modules,
                           const std::map<std::string, std::string>& module_files,
                           const std::string& computer, std::vector<Instance>& out);

}  // namespace kvwmi

#include "linux/mounts.h"
#include "linux/volume_ids.h"

namespace kvwmi {

// One volume as Win32_Volume describes it: a mounted storage file system, or a block
// device holding a file system that is not mounted (empty mount point).
struct VolumeFacts {
    std::string device;       // "/dev/sda1"; empty for a file system without a block device
    std::string mount_point;  // "/", "/home"; empty when not mounted
    std::string file_system;  // "ext4"
    std::string source;       // the mount source ("server:/export", "overlay")
    bool read_only = false;
    std::uint32_t drive_type = 3;  // WMI's codes: 2 removable, 3 local, 4 network, 5 optical
    std::optional<kvlinux::VolumeSpace> space;
    std::optional<std::uint64_t> name_max;
    kvlinux::VolumeIds ids;
};

void FillVolumesFrom(const ClassDecl& decl, const std::vector<VolumeFacts>& volumes,
                     const std::vector<kvlinux::SwapArea>& swaps, const std::string& computer,
                     std::vector<Instance>& out);

}  // namespace kvwmi

namespace kvwmi {

// One printer as the spooler describes it (PRINTER_INFO_2W).
struct PrinterFacts {
    std::string name;
    std::optional<std::string> share_name, port_name, driver_name, comment, location;
    std::uint32_t attributes = 0;  // PRINTER_ATTRIBUTE_*
    std::uint32_t status = 0;      // PRINTER_STATUS_*
};

void FillPrintersFrom(const ClassDecl& decl, const std::vector<PrinterFacts>& printers,
                      const std::string& computer, std::vector<Instance>& out);

}  // namespace kvwmi

#include "linux/package_updates.h"

namespace kvwmi {

void FillQuickFixesFrom(const ClassDecl& decl, const std::vector<kvlinux::PackageUpgrade>& upgrades,
                        const std::string& host, std::vector<Instance>& out);

}  // namespace kvwmi

#include "kvwin/rpm_database.h"
#include "kvwin/time_zone.h"

namespace kvwmi {

void FillRpmProductsFrom(const ClassDecl& decl, const std::vector<kvwin::RpmPackage>& packages,
                         std::vector<Instance>& out);

// The packages of the dpkg database in <admin_dir> (its status file and the dates of its
// file lists), their dates shown in `zone`; at least the selected properties are made.
void FillDpkgProductsFrom(const ClassDecl& decl, const Selection& selection,
                          const std::string& admin_dir, const kvwin::ZoneInfo& zone,
                          std::vector<Instance>& out);

// A package's install date as Win32_Product gives it, "yyyymmdd" (the year in full) on the
// calendar of `zone`; null for no date, or one no calendar year holds.
CimValue LocalDateText(std::optional<std::int64_t> unix_seconds, const kvwin::ZoneInfo& zone);

}  // namespace kvwmi
