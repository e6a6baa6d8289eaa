// Descriptors on files and folders: the one table from a descriptor to owner, group and
// mode bits, SetFileSecurityW, and the creation helpers of kvwin/file_security.h.
//
// The table (docs/platform/security.md has it with examples):
//   owner   the descriptor's owner: S-1-5-18 or Administrators → root, S-1-22-1-N → N
//   group   the descriptor's group: S-1-22-2-N → N, S-1-5-18 → 0, Administrators → the
//           first administrators group (sudo, wheel, adm)
//   mode    from the DACL, per class, over the ACEs that apply to the object itself
//           (inherit-only ACEs do not), generic rights mapped to the file rights first:
//             others  Everyone, Authenticated Users, Users
//             group   the file's group SID, Administrators when the group is 0 or an
//                     administrators group, and everything the others get
//             owner   the owner's SID, CREATOR OWNER, S-1-5-18 when the owner is root,
//                     Administrators when the owner is an administrator, the groups the
//                     owner is in, and everything the others get
//           a class's rights are what its allowed ACEs grant less what its denied ACEs
//           deny; r = FILE_READ_DATA (list), w = FILE_WRITE_DATA or FILE_APPEND_DATA (add a
//           file or a subfolder), x = FILE_EXECUTE (traverse); in a folder r brings x
//           (everyone may traverse, as with the bypass-traverse privilege); a folder whose
//           group or others may add but not FILE_DELETE_CHILD gets the sticky bit. A null
//           DACL (or none, for SetFileSecurityW) is 0777; an empty one 0.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "accounts.h"
#include "descriptor_model.h"
#include "kvwin/file_security.h"
#include "kvwin/last_error.h"
#include "kvwin/safe_open.h"
#include "kvwin/state_root.h"
#include "kvwin/utf.h"
#include "win/files.h"
#include "win/security.h"

namespace kvwin {

namespace {

constexpr DWORD kFileExecute = 0x0020;  // FILE_EXECUTE, FILE_TRAVERSE
constexpr DWORD kDeleteChild = 0x0040;  // FILE_DELETE_CHILD
constexpr DWORD kFileGenericExecute = 0x001200A0;

DWORD MapGeneric(DWORD mask) {
    DWORD mapped = mask & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
    if (mask & GENERIC_READ)
        mapped |= FILE_GENERIC_READ;
    if (mask & GENERIC_WRITE)
        mapped |= FILE_GENERIC_WRITE;
    if (mask & GENERIC_EXECUTE)
        mapped |= kFileGenericExecute;
    if (mask & GENERIC_ALL)
        mapped |= FILE_ALL_ACCESS;
    return mapped;
}

struct Rights {
    DWORD allowed = 0;
    DWORD denied = 0;
    DWORD Effective() const { return allowed & ~denied; }
};

struct Plan {
    std::optional<uid_t> owner;
    std::optional<gid_t> group;
    std::optional<mode_t> mode;
};

mode_t ClassBits(DWORD rights, bool folder) {
    mode_t bits = 0;
    if (rights & FILE_READ_DATA)
        bits |= 4;
    if (rights & (FILE_WRITE_DATA | FILE_APPEND_DATA))
        bits |= 2;
    if ((rights & kFileExecute) || (folder && (rights & FILE_READ_DATA)))
        bits |= 1;
    return bits;
}

// What no descriptor may give on Linux: a file everyone may write (anyone could then
// truncate or overwrite another user's records), and a folder that others may add to but
// without the sticky bit (anyone could then delete, replace or plant a link in place of
// another user's entry).
mode_t WithoutSharedWrites(mode_t mode, bool folder) {
    if (!folder)
        return mode & ~static_cast<mode_t>(S_IWOTH);
    return (mode & S_IWOTH) ? mode | S_ISVTX : mode;
}

mode_t ModeFromDacl(const std::optional<AclValue>& dacl, bool folder, uid_t owner, gid_t group) {
    if (!dacl)
        return WithoutSharedWrites(0777, folder);
    const SidValue owner_sid = UserSid(owner);
    const bool owner_is_admin = IsAdministrator(owner);
    const std::vector<gid_t> admin_groups = AdministratorGroups();
    const bool group_is_admin = group == 0 || std::find(admin_groups.begin(), admin_groups.end(),
                                                        group) != admin_groups.end();
    const SidValue group_sid = GroupSid(group);
    // The groups the owner is in: their ACEs are the owner's too.
    std::vector<SidValue> owner_groups;
    if (const std::optional<UserAccount> user = FindUser(owner)) {
        for (gid_t gid : GroupsOfUser(*user))
            owner_groups.push_back(GroupSid(gid));
    }

    Rights others, group_rights, owner_rights;
    for (const AceValue& ace : dacl->aces) {
        if (ace.flags & INHERIT_ONLY_ACE)
            continue;
        if (ace.type != ACCESS_ALLOWED_ACE_TYPE && ace.type != ACCESS_DENIED_ACE_TYPE)
            continue;
        const DWORD mask = MapGeneric(ace.mask);
        const bool is_other =
            ace.sid == EveryoneSid() || ace.sid == AuthenticatedUsersSid() || ace.sid == UsersSid();
        const bool is_admins = ace.sid == AdministratorsSid();
        const bool for_group = ace.sid == group_sid || (is_admins && group_is_admin);
        const bool for_owner =
            ace.sid == owner_sid || ace.sid == CreatorOwnerSid() || (is_admins && owner_is_admin) ||
            std::find(owner_groups.begin(), owner_groups.end(), ace.sid) != owner_groups.end();
        for (Rights* target : {is_other ? &others : nullptr, for_group ? &group_rights : nullptr,
                               for_owner ? &owner_rights : nullptr}) {
            if (!target)
                continue;
            (ace.type == ACCESS_ALLOWED_ACE_TYPE ? target->allowed : target->denied) |= mask;
        }
    }
    // The owner and the group are users too: what everyone gets, they get.
    for (Rights* member : {&group_rights, &owner_rights}) {
        member->allowed |= others.allowed;
        member->denied |= others.denied;
    }
    const DWORD o = others.Effective(), g = group_rights.Effective(), u = owner_rights.Effective();
    mode_t mode = (ClassBits(u, folder) << 6) | (ClassBits(g, folder) << 3) | ClassBits(o, folder);
    const bool others_add = o & (FILE_WRITE_DATA | FILE_APPEND_DATA);
    const bool group_add = g & (FILE_WRITE_DATA | FILE_APPEND_DATA);
    if (folder && ((others_add && !(o & kDeleteChild)) || (group_add && !(g & kDeleteChild))))
        mode |= S_ISVTX;
    return WithoutSharedWrites(mode, folder);
}

// What applying `information` of `descriptor` to an object owned by uid:gid means.
DWORD PlanFor(const DescriptorValue& descriptor, SECURITY_INFORMATION information, bool folder,
              const struct stat& st, Plan& plan) {
    if (information & OWNER_SECURITY_INFORMATION) {
        if (!descriptor.owner)
            return ERROR_INVALID_OWNER;
        plan.owner = OwnerUidOf(*descriptor.owner);
        if (!plan.owner)
            return ERROR_INVALID_OWNER;
    }
    if (information & GROUP_SECURITY_INFORMATION) {
        if (!descriptor.group)
            return ERROR_INVALID_PRIMARY_GROUP;
        plan.group = GroupGidOf(*descriptor.group);
        if (!plan.group)
            return ERROR_INVALID_PRIMARY_GROUP;
    }
    if (information & DACL_SECURITY_INFORMATION) {
        const uid_t owner = plan.owner.value_or(st.st_uid);
        const gid_t group = plan.group.value_or(st.st_gid);
        static const std::optional<AclValue> kNullDacl;
        plan.mode = ModeFromDacl(descriptor.dacl_present ? descriptor.dacl : kNullDacl, folder,
                                 owner, group);
    }
    return ERROR_SUCCESS;
}

DWORD Carry(const Plan& plan, int fd, const std::string& path, const struct stat& st) {
    const bool owner_changes = plan.owner && *plan.owner != st.st_uid;
    const bool group_changes = plan.group && *plan.group != st.st_gid;
    if (owner_changes || group_changes) {
        const uid_t uid = owner_changes ? *plan.owner : static_cast<uid_t>(-1);
        const gid_t gid = group_changes ? *plan.group : static_cast<gid_t>(-1);
        const int rc = fd >= 0 ? ::fchown(fd, uid, gid) : ::chown(path.c_str(), uid, gid);
        if (rc != 0) {
            if (errno == EPERM)
                return owner_changes ? ERROR_INVALID_OWNER : ERROR_INVALID_PRIMARY_GROUP;
            return Win32ErrorFromErrno(errno);
        }
    }
    if (plan.mode) {
        const int rc = fd >= 0 ? ::fchmod(fd, *plan.mode) : ::chmod(path.c_str(), *plan.mode);
        if (rc != 0)
            return errno == EPERM ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(errno);
    }
    return ERROR_SUCCESS;
}

bool ReadAttributes(const SECURITY_ATTRIBUTES* attributes, DescriptorValue& descriptor,
                    bool& present) {
    present = attributes && attributes->lpSecurityDescriptor;
    if (!present)
        return true;
    if (!ReadDescriptor(attributes->lpSecurityDescriptor, SIZE_MAX, descriptor)) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return false;
    }
    return true;
}

}  // namespace

bool ValidateCreationSecurity(const SECURITY_ATTRIBUTES* attributes) {
    try {
        DescriptorValue descriptor;
        bool present = false;
        return ReadAttributes(attributes, descriptor, present);
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

bool ApplyCreationSecurity(int fd, const std::string& native_path,
                           const SECURITY_ATTRIBUTES* attributes, bool folder) {
    try {
        DescriptorValue descriptor;
        bool present = false;
        if (!ReadAttributes(attributes, descriptor, present))
            return false;
        if (!present)
            return true;
        struct stat st {};
        if ((fd >= 0 ? ::fstat(fd, &st) : ::stat(native_path.c_str(), &st)) != 0)
            return FailWithErrno();
        SECURITY_INFORMATION information = 0;
        if (descriptor.owner)
            information |= OWNER_SECURITY_INFORMATION;
        if (descriptor.group)
            information |= GROUP_SECURITY_INFORMATION;
        if (descriptor.dacl_present)
            information |= DACL_SECURITY_INFORMATION;
        Plan plan;
        DWORD error = PlanFor(descriptor, information, folder, st, plan);
        if (!error)
            error = Carry(plan, fd, native_path, st);
        return error ? FailWith(error) : true;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // namespace kvwin

using namespace kvwin;

extern "C" {

BOOL SetFileSecurityW(LPCWSTR lpFileName, SECURITY_INFORMATION SecurityInformation,
                      PSECURITY_DESCRIPTOR pSecurityDescriptor) {
    if (!lpFileName || !*lpFileName)
        return FailWith(ERROR_PATH_NOT_FOUND);
    if (!pSecurityDescriptor)
        return FailWith(ERROR_INVALID_PARAMETER);
    try {
        DescriptorValue descriptor;
        if (!ReadDescriptor(pSecurityDescriptor, SIZE_MAX, descriptor))
            return FailWith(ERROR_INVALID_SECURITY_DESCR);
        std::string native;
        if (!ToNativePath(WideView(lpFileName), native))
            return FALSE;
        // The object is opened without following another user's link, and changed through
        // that handle, so a link planted in its place redirects nothing.
        std::string leaf;
        const UniqueFd parent = OpenParentSafely(native, leaf);
        if (!parent.valid()) {
            const int err = errno;
            return FailWith(err == ENOENT || err == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                            : Win32ErrorFromErrno(err));
        }
        const UniqueFd object(
            ::openat(parent.get(), leaf.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (!object.valid() || ::fstat(object.get(), &st) != 0) {
            const int err = errno;
            return FailWith(err == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(err));
        }
        if (S_ISLNK(st.st_mode))
            return FailWith(ERROR_CANT_RESOLVE_FILENAME);
        native = HandlePath(object.get());
        Plan plan;
        DWORD error = PlanFor(descriptor, SecurityInformation, S_ISDIR(st.st_mode), st, plan);
        if (!error)
            error = Carry(plan, -1, native, st);
        return error ? FailWith(error) : TRUE;
    } catch (...) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
}

}  // extern "C"
