// MSFT_ScheduledTask (root\Microsoft\Windows\TaskScheduler): one instance per cron job
// and per systemd timer. Cron jobs live under TaskPath "\cron\" and are named after
// their table and line ("e2scrub_all:2"; "cron.daily:logrotate" for the run-parts
// folders), timers under "\systemd\" by unit name. State: a cron job is Ready; a timer is
// Ready when enabled, Disabled otherwise. Author is the user the job runs as, Source the
// file it is read from, Description the timer's Description=, else the schedule and
// command. Actions, Principal, Settings and Triggers are embedded instances, as on Windows:
//   Actions    one MSFT_TaskExecAction: a cron job's command split at its first blank into
//              Execute and Arguments; a timer's "systemctl" "start <unit it activates>"
//   Triggers   per schedule: MSFT_TaskBootTrigger for "@reboot" and OnBootSec= (Delay is the
//              boot delay as written), MSFT_TaskDailyTrigger for "@daily" and
//              OnCalendar=daily, else the plain MSFT_TaskTrigger whose Id is the schedule as
//              written ("30 3 * * 0", "OnCalendar=Mon *-*-* 03:00")
//   Principal  MSFT_TaskPrincipal, Id "Author", UserId the cron job's user (null for a
//              timer: its service says who it runs as)
//   Settings   MSFT_TaskSettings, Enabled as State says, Hidden false
// The embedded classes are not registered: Windows has no instances of them either.
#include <initializer_list>
#include <memory>

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

const ClassDecl kExecActionClass{u"root\\Microsoft\\Windows\\TaskScheduler",
                                 u"MSFT_TaskExecAction",
                                 {
                                     {u"Id", CIM_STRING},
                                     {u"Arguments", CIM_STRING},
                                     {u"Execute", CIM_STRING},
                                     {u"WorkingDirectory", CIM_STRING},
                                 },
                                 nullptr};

// MSFT_TaskTrigger's properties, which every kind of trigger has, then the kind's own.
std::vector<PropertyDecl> TriggerProperties(std::initializer_list<PropertyDecl> own) {
    std::vector<PropertyDecl> properties{
        {u"Enabled", CIM_BOOLEAN},           {u"EndBoundary", CIM_STRING},
        {u"ExecutionTimeLimit", CIM_STRING}, {u"Id", CIM_STRING},
        {u"Repetition", CIM_OBJECT},         {u"StartBoundary", CIM_STRING},
    };
    properties.insert(properties.end(), own);
    return properties;
}

const ClassDecl kTriggerClass{u"root\\Microsoft\\Windows\\TaskScheduler", u"MSFT_TaskTrigger",
                              TriggerProperties({}), nullptr};
const ClassDecl kBootTriggerClass{u"root\\Microsoft\\Windows\\TaskScheduler",
                                  u"MSFT_TaskBootTrigger",
                                  TriggerProperties({{u"Delay", CIM_STRING}}), nullptr};
const ClassDecl kDailyTriggerClass{
    u"root\\Microsoft\\Windows\\TaskScheduler", u"MSFT_TaskDailyTrigger",
    TriggerProperties({{u"DaysInterval", CIM_UINT16}, {u"RandomDelay", CIM_STRING}}), nullptr};

const ClassDecl kPrincipalClass{u"root\\Microsoft\\Windows\\TaskScheduler",
                                u"MSFT_TaskPrincipal",
                                {
                                    {u"DisplayName", CIM_STRING},
                                    {u"GroupId", CIM_STRING},
                                    {u"Id", CIM_STRING},
                                    {u"LogonType", CIM_UINT32},
                                    {u"RunLevel", CIM_UINT32},
                                    {u"UserId", CIM_STRING},
                                    {u"ProcessTokenSidType", CIM_UINT32},
                                    {u"RequiredPrivilege", CIM_STRING | CIM_FLAG_ARRAY},
                                },
                                nullptr};

const ClassDecl kSettingsClass{u"root\\Microsoft\\Windows\\TaskScheduler",
                               u"MSFT_TaskSettings",
                               {
                                   {u"AllowDemandStart", CIM_BOOLEAN},
                                   {u"AllowHardTerminate", CIM_BOOLEAN},
                                   {u"Compatibility", CIM_UINT32},
                                   {u"DeleteExpiredTaskAfter", CIM_STRING},
                                   {u"DisallowStartIfOnBatteries", CIM_BOOLEAN},
                                   {u"Enabled", CIM_BOOLEAN},
                                   {u"ExecutionTimeLimit", CIM_STRING},
                                   {u"Hidden", CIM_BOOLEAN},
                                   {u"IdleSettings", CIM_OBJECT},
                                   {u"MultipleInstances", CIM_UINT32},
                                   {u"NetworkSettings", CIM_OBJECT},
                                   {u"Priority", CIM_UINT32},
                                   {u"RestartCount", CIM_UINT32},
                                   {u"RestartInterval", CIM_STRING},
                                   {u"RunOnlyIfIdle", CIM_BOOLEAN},
                                   {u"RunOnlyIfNetworkAvailable", CIM_BOOLEAN},
                                   {u"StartWhenAvailable", CIM_BOOLEAN},
                                   {u"StopIfGoingOnBatteries", CIM_BOOLEAN},
                                   {u"WakeToRun", CIM_BOOLEAN},
                               },
                               nullptr};

std::shared_ptr<const EmbeddedObject> Embed(const ClassDecl& decl, InstanceBuilder& b) {
    return std::make_shared<const EmbeddedObject>(EmbeddedObject{&decl, b.Take()});
}

CimValue ExecAction(const std::string& execute, const std::string& arguments) {
    InstanceBuilder b(kExecActionClass);
    b.Set(u"Execute", Text(execute));
    b.Set(u"Arguments", Text(arguments));
    return EmbeddedObjects{Embed(kExecActionClass, b)};
}

// A shell command line as an action: the program, then the rest as its arguments.
CimValue CommandAction(const std::string& command) {
    const size_t blank = command.find_first_of(" \t");
    if (blank == std::string::npos)
        return ExecAction(command, std::string());
    const size_t rest = command.find_first_not_of(" \t", blank);
    return ExecAction(command.substr(0, blank),
                      rest == std::string::npos ? std::string() : command.substr(rest));
}

// One trigger for a schedule as cron or a timer unit writes it.
std::shared_ptr<const EmbeddedObject> Trigger(const std::string& schedule) {
    const ClassDecl* decl = &kTriggerClass;
    std::string boot_delay;
    if (schedule == "@reboot") {
        decl = &kBootTriggerClass;
    } else if (schedule.rfind("OnBootSec=", 0) == 0) {
        decl = &kBootTriggerClass;
        boot_delay = schedule.substr(10);
    } else if (schedule == "@daily" || schedule == "@midnight" || schedule == "OnCalendar=daily") {
        decl = &kDailyTriggerClass;
    }
    InstanceBuilder b(*decl);
    b.Set(u"Enabled", true);
    if (decl == &kTriggerClass)
        b.Set(u"Id", Text(schedule));
    if (decl == &kBootTriggerClass)
        b.Set(u"Delay", Text(boot_delay));
    if (decl == &kDailyTriggerClass)
        b.Set(u"DaysInterval", Unsigned(1));
    return Embed(*decl, b);
}

CimValue Principal(const std::string& user) {
    InstanceBuilder b(kPrincipalClass);
    b.Set(u"Id", Text("Author"));
    b.Set(u"UserId", Text(user));
    return EmbeddedObjects{Embed(kPrincipalClass, b)};
}

CimValue Settings(bool enabled) {
    InstanceBuilder b(kSettingsClass);
    b.Set(u"Enabled", enabled);
    b.Set(u"Hidden", false);
    return EmbeddedObjects{Embed(kSettingsClass, b)};
}

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
        b.Set(u"Actions", CommandAction(job.command));
        b.Set(u"Triggers", EmbeddedObjects{Trigger(job.schedule)});
        b.Set(u"Principal", Principal(job.user));
        b.Set(u"Settings", Settings(true));
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
        b.Set(u"Actions", ExecAction("systemctl", "start " + timer.activates));
        EmbeddedObjects triggers;
        for (const std::string& schedule : timer.schedules)
            triggers.push_back(Trigger(schedule));
        b.Set(u"Triggers", std::move(triggers));
        b.Set(u"Principal", Principal(std::string()));
        b.Set(u"Settings", Settings(timer.enabled));
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kScheduledTaskClass);

}  // namespace kvwmi
