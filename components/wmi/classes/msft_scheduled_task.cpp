// MSFT_ScheduledTask (root\Microsoft\Windows\TaskScheduler): one instance per cron job
// and per systemd timer. Cron jobs live under TaskPath "\cron\" and are named after
// their table and line ("e2scrub_all:2"; "cron.daily:logrotate" for the run-parts
// folders), timers under "\systemd\" by unit name. State: a cron job is Ready; a timer is
// Ready when enabled, Disabled otherwise. Author is the user the job runs as, Source the
// file it is read from, Description the timer's Description=, else the schedule and
// command. Actions, Principal, Settings and Triggers are embedded objects on Windows,
// which this service does not carry: they stay null.
#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillScheduledTask(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kScheduledTaskClass{u"root\\Microsoft\\Windows\\TaskScheduler",
                                    u"MSFT_ScheduledTask",
                                    {
                                        {u"Actions", CIM_OBJECT | CIM_FLAG_ARRAY},
                                        {u"Author", CIM_STRING},
                                        {u"Date", CIM_STRING},
                                        {u"Description", CIM_STRING},
                                        {u"Documentation", CIM_STRING},
                                        {u"Principal", CIM_OBJECT},
                                        {u"SecurityDescriptor", CIM_STRING},
                                        {u"Settings", CIM_OBJECT},
                                        {u"Source", CIM_STRING},
                                        {u"State", CIM_UINT32},
                                        {u"TaskName", CIM_STRING, true},
                                        {u"TaskPath", CIM_STRING, true},
                                        {u"Triggers", CIM_OBJECT | CIM_FLAG_ARRAY},
                                        {u"URI", CIM_STRING},
                                        {u"Version", CIM_STRING},
                                    },
                                    FillScheduledTask};

constexpr std::uint64_t kStateDisabled = 1;
constexpr std::uint64_t kStateReady = 3;

void FillScheduledTask(const ClassDecl& decl, std::vector<Instance>& out) {
    FillScheduledTasksFrom(decl, kvlinux::ReadCronJobs(),
                           kvlinux::ReadTimerUnits(kvlinux::MachineUnitLocations("/")), out);
}

}  // namespace

void FillScheduledTasksFrom(const ClassDecl& decl, const std::vector<kvlinux::CronJob>& jobs,
                            const std::vector<kvlinux::TimerUnit>& timers,
                            std::vector<Instance>& out) {
    for (const kvlinux::CronJob& job : jobs) {
        InstanceBuilder b(decl);
        b.Set(u"TaskPath", Text("\\cron\\"));
        b.Set(u"TaskName", Text(job.name));
        b.Set(u"URI", Text("\\cron\\" + job.name));
        b.Set(u"State", Unsigned(kStateReady));
        b.Set(u"Author", Text(job.user));
        b.Set(u"Source", Text(job.file));
        b.Set(u"Description", Text(job.schedule + " " + job.command));
        out.push_back(b.Take());
    }
    for (const kvlinux::TimerUnit& timer : timers) {
        InstanceBuilder b(decl);
        b.Set(u"TaskPath", Text("\\systemd\\"));
        b.Set(u"TaskName", Text(timer.unit));
        b.Set(u"URI", Text("\\systemd\\" + timer.unit));
        b.Set(u"State", Unsigned(timer.enabled ? kStateReady : kStateDisabled));
        b.Set(u"Source", Text(timer.path));
        std::string description = timer.description;
        if (description.empty()) {
            description = timer.activates;
            for (const std::string& schedule : timer.schedules)
                description += " " + schedule;
        }
        b.Set(u"Description", Text(description));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kScheduledTaskClass);

}  // namespace kvwmi
