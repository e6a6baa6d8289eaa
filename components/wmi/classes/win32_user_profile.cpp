// Win32_UserProfile: one instance per account that has a home folder of its own: root and
// the ordinary users (uid from UID_MIN of /etc/login.defs up, "nobody" left out), when the
// folder exists. LocalPath is the home folder, SID the account's; Loaded tells whether the
// user is logged on now (utmp); LastUseTime is the last log-on lastlog records. Roaming
// profiles and folder redirection do not exist on Linux: RoamingConfigured is false and
// each known folder (Desktop, Documents, ...) is an embedded Win32_FolderRedirectionHealth
// that says the folder is not redirected and has no offline access.
#include <memory>

#include "classes/class_values.h"
#include "classes/fill_from_readers.h"
#include "linux/text_util.h"
#include "provider/cim_datetime.h"
#include "provider/class_decl.h"

namespace kvwmi {

namespace {

void FillUserProfile(const ClassDecl& decl, std::vector<Instance>& out);

const ClassDecl kUserProfileClass{u"root\\cimv2",
                                  u"Win32_UserProfile",
                                  {
                                      {u"SID", CIM_STRING, true},
                                      {u"LocalPath", CIM_STRING},
                                      {u"Loaded", CIM_BOOLEAN},
                                      {u"RefCount", CIM_UINT32},
                                      {u"Special", CIM_BOOLEAN},
                                      {u"RoamingPath", CIM_STRING},
                                      {u"RoamingConfigured", CIM_BOOLEAN},
                                      {u"RoamingPreference", CIM_BOOLEAN},
                                      {u"Status", CIM_UINT32},
                                      {u"LastUseTime", CIM_DATETIME},
                                      {u"LastDownloadTime", CIM_DATETIME},
                                      {u"LastUploadTime", CIM_DATETIME},
                                      {u"HealthStatus", CIM_UINT8},
                                      {u"LastAttemptedProfileDownloadTime", CIM_DATETIME},
                                      {u"LastAttemptedProfileUploadTime", CIM_DATETIME},
                                      {u"LastBackgroundRegistryUploadTime", CIM_DATETIME},
                                      {u"AppDataRoaming", CIM_OBJECT},
                                      {u"Desktop", CIM_OBJECT},
                                      {u"StartMenu", CIM_OBJECT},
                                      {u"Documents", CIM_OBJECT},
                                      {u"Pictures", CIM_OBJECT},
                                      {u"Music", CIM_OBJECT},
                                      {u"Videos", CIM_OBJECT},
                                      {u"Favorites", CIM_OBJECT},
                                      {u"Contacts", CIM_OBJECT},
                                      {u"Downloads", CIM_OBJECT},
                                      {u"Links", CIM_OBJECT},
                                      {u"Searches", CIM_OBJECT},
                                      {u"SavedGames", CIM_OBJECT},
                                  },
                                  FillUserProfile};

constexpr std::uint32_t kNobody = 65534;

// Not registered: Windows has it only embedded in a profile.
const ClassDecl kFolderRedirectionHealthClass{u"root\\cimv2",
                                              u"Win32_FolderRedirectionHealth",
                                              {
                                                  {u"OfflineFileNameFolderGUID", CIM_STRING},
                                                  {u"Redirected", CIM_BOOLEAN},
                                                  {u"OfflineAccessEnabled", CIM_BOOLEAN},
                                                  {u"LastSuccessfulSyncTime", CIM_DATETIME},
                                                  {u"LastSyncTime", CIM_DATETIME},
                                                  {u"LastSyncStatus", CIM_UINT8},
                                                  {u"HealthStatus", CIM_UINT8},
                                              },
                                              nullptr};

// One object for every known folder of every profile: nothing is redirected on Linux.
const std::shared_ptr<const EmbeddedObject>& NotRedirected() {
    static const auto object = [] {
        InstanceBuilder b(kFolderRedirectionHealthClass);
        b.Set(u"Redirected", false).Set(u"OfflineAccessEnabled", false);
        return std::make_shared<const EmbeddedObject>(
            EmbeddedObject{&kFolderRedirectionHealthClass, b.Take()});
    }();
    return object;
}

constexpr std::u16string_view kKnownFolders[] = {
    u"AppDataRoaming", u"Desktop",  u"StartMenu", u"Documents", u"Pictures",
    u"Music",          u"Videos",   u"Favorites", u"Contacts",  u"Downloads",
    u"Links",          u"Searches", u"SavedGames"};

void FillUserProfile(const ClassDecl& decl, std::vector<Instance>& out) {
    const std::uint32_t uid_min =
        ParseUidMin(kvlinux::ReadFileText("/etc/login.defs").value_or(""));
    std::vector<kvlinux::UserEntry> users;
    std::map<std::uint32_t, std::int64_t> last_logins;
    for (kvlinux::UserEntry& user : kvlinux::ReadUsers()) {
        if ((user.uid != 0 && user.uid < uid_min) || user.uid == kNobody || user.home.empty() ||
            user.home == "/" || !kvlinux::IsFolder(user.home))
            continue;
        if (auto last = kvlinux::ReadLastLogin(user.uid))
            last_logins.emplace(user.uid, *last);
        users.push_back(std::move(user));
    }
    FillUserProfilesFrom(decl, users, kvlinux::ReadLoginSessions(), last_logins, out);
}

}  // namespace

void FillUserProfilesFrom(const ClassDecl& decl, const std::vector<kvlinux::UserEntry>& users,
                          const std::vector<kvlinux::LoginSession>& sessions,
                          const std::map<std::uint32_t, std::int64_t>& last_logins,
                          std::vector<Instance>& out) {
    for (const kvlinux::UserEntry& user : users) {
        bool loaded = false;
        for (const kvlinux::LoginSession& s : sessions)
            loaded |= s.user == user.name;
        InstanceBuilder b(decl);
        b.Set(u"SID", Text(kvlinux::UserSidText(user.uid)));
        b.Set(u"LocalPath", Text(user.home));
        b.Set(u"Loaded", loaded);
        b.Set(u"Special", user.uid == 0);
        b.Set(u"RoamingConfigured", false);
        if (auto last = last_logins.find(user.uid); last != last_logins.end())
            b.Set(u"LastUseTime", FormatCimDateTimeLocal(last->second));
        for (std::u16string_view folder : kKnownFolders)
            b.Set(folder, EmbeddedObjects{NotRedirected()});
        out.push_back(b.Take());
    }
}

KAVREL_WMI_CLASS(kUserProfileClass);

}  // namespace kvwmi
