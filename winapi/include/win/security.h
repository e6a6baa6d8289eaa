// Security: SIDs, accounts, security descriptors and their text form, access tokens,
// privileges and impersonation.
//
// Identities map onto the Linux account databases:
//   root                       S-1-5-18 (LocalSystem)
//   user with uid N            S-1-22-1-N
//   group with gid N           S-1-22-2-N
//   Administrators (BA)        S-1-5-32-544: root and the members of sudo, wheel and adm
//   Users (BU)                 S-1-5-32-545: every account
// A descriptor applied to a file or folder becomes its owner, group and mode bits through
// one table (docs/platform/security.md). The process token is the process's credentials;
// a thread token is the thread's own file-system identity (fsuid, fsgid and groups of that
// thread only).
//
// Every function here is safe to call from any thread. Memory handed out by the conversion
// functions is freed with LocalFree; SIDs from AllocateAndInitializeSid with FreeSid.
#pragma once

#include "win/access_rights.h"
#include "win/handles.h"
#include "win/memory.h"

extern "C" {

typedef UCHAR* PUCHAR;
typedef ULONG* PULONG;

// ---- SIDs ---------------------------------------------------------------------------------
typedef struct _SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

typedef struct _SID {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[1];
} SID, *PISID;

typedef PVOID PSID;

#define SID_REVISION 1
#define SID_MAX_SUB_AUTHORITIES 15
#define SECURITY_MAX_SID_SIZE (8 + SID_MAX_SUB_AUTHORITIES * 4)

#define SECURITY_NULL_SID_AUTHORITY \
    { 0, 0, 0, 0, 0, 0 }
#define SECURITY_WORLD_SID_AUTHORITY \
    { 0, 0, 0, 0, 0, 1 }
#define SECURITY_LOCAL_SID_AUTHORITY \
    { 0, 0, 0, 0, 0, 2 }
#define SECURITY_CREATOR_SID_AUTHORITY \
    { 0, 0, 0, 0, 0, 3 }
#define SECURITY_NT_AUTHORITY \
    { 0, 0, 0, 0, 0, 5 }
#define SECURITY_MANDATORY_LABEL_AUTHORITY \
    { 0, 0, 0, 0, 0, 16 }
// The authority of the uid and gid SIDs (S-1-22-1-uid, S-1-22-2-gid).
#define SECURITY_UNIX_ACCOUNT_AUTHORITY \
    { 0, 0, 0, 0, 0, 22 }

#define SECURITY_NULL_RID 0x00000000u
#define SECURITY_WORLD_RID 0x00000000u
#define SECURITY_LOCAL_RID 0x00000000u
#define SECURITY_CREATOR_OWNER_RID 0x00000000u
#define SECURITY_CREATOR_GROUP_RID 0x00000001u
#define SECURITY_INTERACTIVE_RID 0x00000004u
#define SECURITY_SERVICE_RID 0x00000006u
#define SECURITY_AUTHENTICATED_USER_RID 0x0000000Bu
#define SECURITY_LOCAL_SYSTEM_RID 0x00000012u
#define SECURITY_LOCAL_SERVICE_RID 0x00000013u
#define SECURITY_NETWORK_SERVICE_RID 0x00000014u
#define SECURITY_BUILTIN_DOMAIN_RID 0x00000020u
#define DOMAIN_ALIAS_RID_ADMINS 0x00000220u
#define DOMAIN_ALIAS_RID_USERS 0x00000221u
#define DOMAIN_ALIAS_RID_GUESTS 0x00000222u
#define SECURITY_UNIX_USER_RID 1u
#define SECURITY_UNIX_GROUP_RID 2u

#define SECURITY_MANDATORY_UNTRUSTED_RID 0x00000000u
#define SECURITY_MANDATORY_LOW_RID 0x00001000u
#define SECURITY_MANDATORY_MEDIUM_RID 0x00002000u
#define SECURITY_MANDATORY_MEDIUM_PLUS_RID 0x00002100u
#define SECURITY_MANDATORY_HIGH_RID 0x00003000u
#define SECURITY_MANDATORY_SYSTEM_RID 0x00004000u

typedef enum {
    WinNullSid = 0,
    WinWorldSid = 1,
    WinLocalSid = 2,
    WinCreatorOwnerSid = 3,
    WinCreatorGroupSid = 4,
    WinInteractiveSid = 11,
    WinServiceSid = 12,
    WinAuthenticatedUserSid = 17,
    WinLocalSystemSid = 22,
    WinLocalServiceSid = 23,
    WinNetworkServiceSid = 24,
    WinBuiltinDomainSid = 25,
    WinBuiltinAdministratorsSid = 26,
    WinBuiltinUsersSid = 27,
    WinBuiltinGuestsSid = 28,
    WinUntrustedLabelSid = 65,
    WinLowLabelSid = 66,
    WinMediumLabelSid = 67,
    WinHighLabelSid = 68,
    WinSystemLabelSid = 69,
} WELL_KNOWN_SID_TYPE;

typedef enum _SID_NAME_USE {
    SidTypeUser = 1,
    SidTypeGroup,
    SidTypeDomain,
    SidTypeAlias,
    SidTypeWellKnownGroup,
    SidTypeDeletedAccount,
    SidTypeInvalid,
    SidTypeUnknown,
    SidTypeComputer,
    SidTypeLabel,
} SID_NAME_USE,
    *PSID_NAME_USE;

// At most 8 sub-authorities (ERROR_INVALID_PARAMETER beyond). Free with FreeSid.
KVWIN_API BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority,
                                        BYTE nSubAuthorityCount, DWORD nSubAuthority0,
                                        DWORD nSubAuthority1, DWORD nSubAuthority2,
                                        DWORD nSubAuthority3, DWORD nSubAuthority4,
                                        DWORD nSubAuthority5, DWORD nSubAuthority6,
                                        DWORD nSubAuthority7, PSID* pSid);
// Returns null.
KVWIN_API PVOID FreeSid(PSID pSid);
KVWIN_API BOOL IsValidSid(PSID pSid);
// FALSE for unequal SIDs with last error 0; FALSE with ERROR_INVALID_SID for invalid ones.
KVWIN_API BOOL EqualSid(PSID pSid1, PSID pSid2);
KVWIN_API DWORD GetLengthSid(PSID pSid);
KVWIN_API DWORD GetSidLengthRequired(UCHAR nSubAuthorityCount);
// ERROR_INSUFFICIENT_BUFFER when nDestinationSidLength is smaller than the SID.
KVWIN_API BOOL CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid);
KVWIN_API PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID pSid);
KVWIN_API PDWORD GetSidSubAuthority(PSID pSid, DWORD nSubAuthority);
KVWIN_API PUCHAR GetSidSubAuthorityCount(PSID pSid);
// The well-known SIDs of the enumeration above; DomainSid is not used. *cbSid is in and
// out; too small a buffer fails with ERROR_INSUFFICIENT_BUFFER and the size needed.
KVWIN_API BOOL CreateWellKnownSid(WELL_KNOWN_SID_TYPE WellKnownSidType, PSID DomainSid, PSID pSid,
                                  DWORD* cbSid);
KVWIN_API BOOL IsWellKnownSid(PSID pSid, WELL_KNOWN_SID_TYPE WellKnownSidType);

// "S-1-5-18"; the authority in decimal below 2^32, else as 0x followed by 12 hex digits.
// The text is freed with LocalFree.
KVWIN_API BOOL ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid);
// "S-1-..." (the S in either case, the authority decimal or 0x hex) or a two-letter
// abbreviation of the descriptor language (SY, BA, BU, WD, ...). The SID is freed with
// LocalFree. Anything else fails with ERROR_INVALID_SID.
KVWIN_API BOOL ConvertStringSidToSidW(LPCWSTR StringSid, PSID* Sid);

// Names of accounts, over the password and group databases. lpSystemName must be null,
// empty or this computer's name. The domain of a uid or gid SID is the computer name; the
// well-known SIDs have their Windows names and domains ("NT AUTHORITY\SYSTEM",
// "BUILTIN\Administrators", "\Everyone"). A SID with no account fails with ERROR_NONE_MAPPED.
// Sizes are in characters: on success without the NUL, when too small with it
// (ERROR_INSUFFICIENT_BUFFER).
KVWIN_API BOOL LookupAccountSidW(LPCWSTR lpSystemName, PSID Sid, LPWSTR Name, LPDWORD cchName,
                                 LPWSTR ReferencedDomainName, LPDWORD cchReferencedDomainName,
                                 PSID_NAME_USE peUse);
// A user or group name, optionally "DOMAIN\name"; "root" is S-1-5-18. A user wins over a
// group of the same name. *cbSid is in bytes.
KVWIN_API BOOL LookupAccountNameW(LPCWSTR lpSystemName, LPCWSTR lpAccountName, PSID Sid,
                                  LPDWORD cbSid, LPWSTR ReferencedDomainName,
                                  LPDWORD cchReferencedDomainName, PSID_NAME_USE peUse);

// ---- ACLs ---------------------------------------------------------------------------------
typedef struct _ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
} ACL, *PACL;

typedef struct _ACE_HEADER {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
} ACE_HEADER, *PACE_HEADER;

typedef struct _ACCESS_ALLOWED_ACE {
    ACE_HEADER Header;
    ACCESS_MASK Mask;
    DWORD SidStart;
} ACCESS_ALLOWED_ACE, *PACCESS_ALLOWED_ACE;
typedef ACCESS_ALLOWED_ACE ACCESS_DENIED_ACE;
typedef ACCESS_ALLOWED_ACE SYSTEM_AUDIT_ACE;
typedef ACCESS_ALLOWED_ACE SYSTEM_MANDATORY_LABEL_ACE;
typedef ACCESS_ALLOWED_ACE* PSYSTEM_MANDATORY_LABEL_ACE;

#define ACL_REVISION 2
#define ACL_REVISION_DS 4

#define ACCESS_ALLOWED_ACE_TYPE 0x0
#define ACCESS_DENIED_ACE_TYPE 0x1
#define SYSTEM_AUDIT_ACE_TYPE 0x2
#define SYSTEM_ALARM_ACE_TYPE 0x3
#define SYSTEM_MANDATORY_LABEL_ACE_TYPE 0x11

#define OBJECT_INHERIT_ACE 0x01
#define CONTAINER_INHERIT_ACE 0x02
#define NO_PROPAGATE_INHERIT_ACE 0x04
#define INHERIT_ONLY_ACE 0x08
#define INHERITED_ACE 0x10
#define VALID_INHERIT_FLAGS 0x1F
#define SUCCESSFUL_ACCESS_ACE_FLAG 0x40
#define FAILED_ACCESS_ACE_FLAG 0x80

#define SYSTEM_MANDATORY_LABEL_NO_WRITE_UP 0x1
#define SYSTEM_MANDATORY_LABEL_NO_READ_UP 0x2
#define SYSTEM_MANDATORY_LABEL_NO_EXECUTE_UP 0x4

// nAclLength at least sizeof(ACL) and a multiple of 4; revision ACL_REVISION or _DS.
KVWIN_API BOOL InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision);
KVWIN_API BOOL IsValidAcl(PACL pAcl);
// Appends an allowed ACE without flags; ERROR_ALLOTTED_SPACE_EXCEEDED when it does not fit.
KVWIN_API BOOL AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid);
KVWIN_API BOOL AddAccessAllowedAceEx(PACL pAcl, DWORD dwAceRevision, DWORD AceFlags,
                                     DWORD AccessMask, PSID pSid);
KVWIN_API BOOL GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID* pAce);

// ---- Security descriptors -------------------------------------------------------------------
typedef WORD SECURITY_DESCRIPTOR_CONTROL, *PSECURITY_DESCRIPTOR_CONTROL;
typedef PVOID PSECURITY_DESCRIPTOR;
typedef DWORD SECURITY_INFORMATION, *PSECURITY_INFORMATION;

// The absolute form: the parts are pointers to memory the caller owns.
typedef struct _SECURITY_DESCRIPTOR {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
} SECURITY_DESCRIPTOR, *PISECURITY_DESCRIPTOR;

// The self-relative form: one block, the parts at offsets from its start (0 = absent).
typedef struct _SECURITY_DESCRIPTOR_RELATIVE {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    DWORD Owner;
    DWORD Group;
    DWORD Sacl;
    DWORD Dacl;
} SECURITY_DESCRIPTOR_RELATIVE, *PISECURITY_DESCRIPTOR_RELATIVE;

#define SECURITY_DESCRIPTOR_REVISION 1
#define SECURITY_DESCRIPTOR_MIN_LENGTH (sizeof(SECURITY_DESCRIPTOR))

#define SE_OWNER_DEFAULTED 0x0001
#define SE_GROUP_DEFAULTED 0x0002
#define SE_DACL_PRESENT 0x0004
#define SE_DACL_DEFAULTED 0x0008
#define SE_SACL_PRESENT 0x0010
#define SE_SACL_DEFAULTED 0x0020
#define SE_DACL_AUTO_INHERIT_REQ 0x0100
#define SE_SACL_AUTO_INHERIT_REQ 0x0200
#define SE_DACL_AUTO_INHERITED 0x0400
#define SE_SACL_AUTO_INHERITED 0x0800
#define SE_DACL_PROTECTED 0x1000
#define SE_SACL_PROTECTED 0x2000
#define SE_RM_CONTROL_VALID 0x4000
#define SE_SELF_RELATIVE 0x8000

#define OWNER_SECURITY_INFORMATION 0x00000001u
#define GROUP_SECURITY_INFORMATION 0x00000002u
#define DACL_SECURITY_INFORMATION 0x00000004u
#define SACL_SECURITY_INFORMATION 0x00000008u
#define LABEL_SECURITY_INFORMATION 0x00000010u
#define UNPROTECTED_SACL_SECURITY_INFORMATION 0x10000000u
#define UNPROTECTED_DACL_SECURITY_INFORMATION 0x20000000u
#define PROTECTED_SACL_SECURITY_INFORMATION 0x40000000u
#define PROTECTED_DACL_SECURITY_INFORMATION 0x80000000u

// An empty absolute descriptor: no owner, group or ACLs. Revision must be 1
// (ERROR_UNKNOWN_REVISION).
KVWIN_API BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                            DWORD dwRevision);
// Either form. FALSE with ERROR_INVALID_SECURITY_DESCR when a part is malformed.
KVWIN_API BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor);
// The size of the self-relative form of the descriptor (of either form).
KVWIN_API DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR pSecurityDescriptor);
KVWIN_API BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                            PSECURITY_DESCRIPTOR_CONTROL pControl,
                                            LPDWORD lpdwRevision);
KVWIN_API BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pOwner,
                                          LPBOOL lpbOwnerDefaulted);
KVWIN_API BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pGroup,
                                          LPBOOL lpbGroupDefaulted);
KVWIN_API BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                         LPBOOL lpbDaclPresent, PACL* pDacl,
                                         LPBOOL lpbDaclDefaulted);
KVWIN_API BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                         LPBOOL lpbSaclPresent, PACL* pSacl,
                                         LPBOOL lpbSaclDefaulted);
// The setters work on absolute descriptors only (ERROR_INVALID_SECURITY_DESCR for a
// self-relative one) and keep the caller's pointers. A present null DACL grants everyone
// every right.
KVWIN_API BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pOwner,
                                          BOOL bOwnerDefaulted);
KVWIN_API BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pGroup,
                                          BOOL bGroupDefaulted);
KVWIN_API BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                         BOOL bDaclPresent, PACL pDacl, BOOL bDaclDefaulted);

// ---- The descriptor language ------------------------------------------------------------------
#define SDDL_REVISION_1 1
#define SDDL_REVISION SDDL_REVISION_1

// Parses "O:owner G:group D:flags(ace)... S:flags(ace)..." (components in any order, each
// at most once, blanks between tokens allowed) into a self-relative descriptor freed with
// LocalFree. Aces are (type;flags;rights;;;sid) with the types A, D, AU, AL and ML.
// Failures: a null string or result pointer, an unknown component, a missing ':' or ')',
// text left over → ERROR_INVALID_PARAMETER; a revision other than 1 →
// ERROR_UNKNOWN_REVISION; an owner or group that is no SID → ERROR_INVALID_SID; anything
// wrong inside an ACL (type, flags, rights, object GUIDs, trustee) → ERROR_INVALID_ACL.
KVWIN_API BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(
    LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision,
    PSECURITY_DESCRIPTOR* SecurityDescriptor, PULONG SecurityDescriptorSize);
// The parts SecurityInformation names, in the order O: G: D: S:; with
// LABEL_SECURITY_INFORMATION but not SACL_SECURITY_INFORMATION only the label ACEs of the
// SACL. SIDs with an abbreviation print as it; rights as FA/FR/FW/FX/KA/KR/KW/KX when
// exactly one of those, else as right codes when every bit has one, else as 0x hex. The
// length counts the NUL. Freed with LocalFree.
KVWIN_API BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(
    PSECURITY_DESCRIPTOR SecurityDescriptor, DWORD RequestedStringSDRevision,
    SECURITY_INFORMATION SecurityInformation, LPWSTR* StringSecurityDescriptor,
    PULONG StringSecurityDescriptorLen);

// Applies the owner, group and DACL parts named by SecurityInformation to a file or folder
// as owner uid, group gid and mode bits (the table in docs/platform/security.md). The SACL
// and its label are accepted and not reflected on disk. An owner the caller may not give
// fails with ERROR_INVALID_OWNER, a group with ERROR_INVALID_PRIMARY_GROUP; a mode the
// caller may not set with ERROR_ACCESS_DENIED.
KVWIN_API BOOL SetFileSecurityW(LPCWSTR lpFileName, SECURITY_INFORMATION SecurityInformation,
                                PSECURITY_DESCRIPTOR pSecurityDescriptor);

// ---- Tokens ---------------------------------------------------------------------------------
#define TOKEN_ASSIGN_PRIMARY 0x0001u
#define TOKEN_DUPLICATE 0x0002u
#define TOKEN_IMPERSONATE 0x0004u
#define TOKEN_QUERY 0x0008u
#define TOKEN_QUERY_SOURCE 0x0010u
#define TOKEN_ADJUST_PRIVILEGES 0x0020u
#define TOKEN_ADJUST_GROUPS 0x0040u
#define TOKEN_ADJUST_DEFAULT 0x0080u
#define TOKEN_ADJUST_SESSIONID 0x0100u
#define TOKEN_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | 0x01FFu)
#define TOKEN_READ (STANDARD_RIGHTS_READ | TOKEN_QUERY)
#define TOKEN_WRITE \
    (STANDARD_RIGHTS_WRITE | TOKEN_ADJUST_PRIVILEGES | TOKEN_ADJUST_GROUPS | TOKEN_ADJUST_DEFAULT)

typedef enum _TOKEN_TYPE { TokenPrimary = 1, TokenImpersonation } TOKEN_TYPE, *PTOKEN_TYPE;

typedef enum _SECURITY_IMPERSONATION_LEVEL {
    SecurityAnonymous,
    SecurityIdentification,
    SecurityImpersonation,
    SecurityDelegation
} SECURITY_IMPERSONATION_LEVEL,
    *PSECURITY_IMPERSONATION_LEVEL;

typedef enum _TOKEN_ELEVATION_TYPE {
    TokenElevationTypeDefault = 1,
    TokenElevationTypeFull,
    TokenElevationTypeLimited
} TOKEN_ELEVATION_TYPE,
    *PTOKEN_ELEVATION_TYPE;

typedef enum _TOKEN_INFORMATION_CLASS {
    TokenUser = 1,
    TokenGroups,
    TokenPrivileges,
    TokenOwner,
    TokenPrimaryGroup,
    TokenDefaultDacl,
    TokenSource,
    TokenType,
    TokenImpersonationLevel,
    TokenStatistics,
    TokenRestrictedSids,
    TokenSessionId,
    TokenGroupsAndPrivileges,
    TokenSessionReference,
    TokenSandBoxInert,
    TokenAuditPolicy,
    TokenOrigin,
    TokenElevationType,
    TokenLinkedToken,
    TokenElevation,
    TokenHasRestrictions,
    TokenAccessInformation,
    TokenVirtualizationAllowed,
    TokenVirtualizationEnabled,
    TokenIntegrityLevel,
} TOKEN_INFORMATION_CLASS,
    *PTOKEN_INFORMATION_CLASS;

typedef struct _LUID {
    DWORD LowPart;
    LONG HighPart;
} LUID, *PLUID;

typedef struct _LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES, *PLUID_AND_ATTRIBUTES;

typedef struct _TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES, *PTOKEN_PRIVILEGES;

typedef struct _SID_AND_ATTRIBUTES {
    PSID Sid;
    DWORD Attributes;
} SID_AND_ATTRIBUTES, *PSID_AND_ATTRIBUTES;

typedef struct _TOKEN_USER {
    SID_AND_ATTRIBUTES User;
} TOKEN_USER, *PTOKEN_USER;

typedef struct _TOKEN_GROUPS {
    DWORD GroupCount;
    SID_AND_ATTRIBUTES Groups[1];
} TOKEN_GROUPS, *PTOKEN_GROUPS;

typedef struct _TOKEN_OWNER {
    PSID Owner;
} TOKEN_OWNER, *PTOKEN_OWNER;

typedef struct _TOKEN_PRIMARY_GROUP {
    PSID PrimaryGroup;
} TOKEN_PRIMARY_GROUP, *PTOKEN_PRIMARY_GROUP;

typedef struct _TOKEN_MANDATORY_LABEL {
    SID_AND_ATTRIBUTES Label;
} TOKEN_MANDATORY_LABEL, *PTOKEN_MANDATORY_LABEL;

typedef struct _TOKEN_ELEVATION {
    DWORD TokenIsElevated;
} TOKEN_ELEVATION, *PTOKEN_ELEVATION;

#define SE_PRIVILEGE_ENABLED_BY_DEFAULT 0x00000001u
#define SE_PRIVILEGE_ENABLED 0x00000002u
#define SE_PRIVILEGE_REMOVED 0x00000004u
#define SE_PRIVILEGE_USED_FOR_ACCESS 0x80000000u

#define SE_GROUP_MANDATORY 0x00000001u
#define SE_GROUP_ENABLED_BY_DEFAULT 0x00000002u
#define SE_GROUP_ENABLED 0x00000004u
#define SE_GROUP_OWNER 0x00000008u
#define SE_GROUP_USE_FOR_DENY_ONLY 0x00000010u
#define SE_GROUP_INTEGRITY 0x00000020u
#define SE_GROUP_INTEGRITY_ENABLED 0x00000040u

#define SE_CREATE_TOKEN_NAME u"SeCreateTokenPrivilege"
#define SE_ASSIGNPRIMARYTOKEN_NAME u"SeAssignPrimaryTokenPrivilege"
#define SE_INCREASE_QUOTA_NAME u"SeIncreaseQuotaPrivilege"
#define SE_TCB_NAME u"SeTcbPrivilege"
#define SE_SECURITY_NAME u"SeSecurityPrivilege"
#define SE_TAKE_OWNERSHIP_NAME u"SeTakeOwnershipPrivilege"
#define SE_BACKUP_NAME u"SeBackupPrivilege"
#define SE_RESTORE_NAME u"SeRestorePrivilege"
#define SE_SHUTDOWN_NAME u"SeShutdownPrivilege"
#define SE_DEBUG_NAME u"SeDebugPrivilege"
#define SE_CHANGE_NOTIFY_NAME u"SeChangeNotifyPrivilege"
#define SE_IMPERSONATE_NAME u"SeImpersonatePrivilege"
#define SE_CREATE_GLOBAL_NAME u"SeCreateGlobalPrivilege"

// The process token: the process's effective uid, gid and groups. Every open of it names the
// same token, so privileges enabled through one handle are seen through the others. Access
// is checked against the rights the handle was opened with (MAXIMUM_ALLOWED gives all).
KVWIN_API BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
// The calling thread's impersonation token (GetCurrentThread() or a handle of any thread of
// this process); ERROR_NO_TOKEN with *TokenHandle null when the thread is not impersonating.
KVWIN_API BOOL OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess, BOOL OpenAsSelf,
                               PHANDLE TokenHandle);
// TokenUser, TokenGroups, TokenPrivileges, TokenOwner, TokenPrimaryGroup, TokenType,
// TokenImpersonationLevel (impersonation tokens), TokenElevationType,
// TokenElevation and TokenIntegrityLevel; other classes fail with ERROR_INVALID_PARAMETER.
// Too small a buffer (a size query with none included) fails with ERROR_INSUFFICIENT_BUFFER
// and *ReturnLength the size needed. Needs TOKEN_QUERY.
KVWIN_API BOOL GetTokenInformation(HANDLE TokenHandle,
                                   TOKEN_INFORMATION_CLASS TokenInformationClass,
                                   LPVOID TokenInformation, DWORD TokenInformationLength,
                                   PDWORD ReturnLength);
// A new, independent token with the same identity, integrity and privileges. Needs
// TOKEN_DUPLICATE; an impersonation token cannot be raised above its own level
// (ERROR_BAD_IMPERSONATION_LEVEL), nor made primary below SecurityImpersonation.
KVWIN_API BOOL DuplicateTokenEx(HANDLE hExistingToken, DWORD dwDesiredAccess,
                                LPSECURITY_ATTRIBUTES lpTokenAttributes,
                                SECURITY_IMPERSONATION_LEVEL ImpersonationLevel,
                                TOKEN_TYPE TokenType, PHANDLE phNewToken);
KVWIN_API BOOL DuplicateToken(HANDLE ExistingTokenHandle,
                              SECURITY_IMPERSONATION_LEVEL ImpersonationLevel,
                              PHANDLE DuplicateTokenHandle);

// The Windows privilege names and their LUIDs, names compared ignoring case; an unknown
// name fails with ERROR_NO_SUCH_PRIVILEGE.
KVWIN_API BOOL LookupPrivilegeValueW(LPCWSTR lpSystemName, LPCWSTR lpName, PLUID lpLuid);
KVWIN_API BOOL LookupPrivilegeNameW(LPCWSTR lpSystemName, PLUID lpLuid, LPWSTR lpName,
                                    LPDWORD cchName);
// A token of root holds every privilege; other tokens hold SeChangeNotifyPrivilege,
// SeShutdownPrivilege, SeUndockPrivilege, SeIncreaseWorkingSetPrivilege and
// SeTimeZonePrivilege. Asking for a privilege the token does not hold succeeds with last
// error ERROR_NOT_ALL_ASSIGNED; otherwise the last error is 0. Needs
// TOKEN_ADJUST_PRIVILEGES. Privileges are recorded in the token; they grant nothing Linux
// would not grant the token's user anyway.
KVWIN_API BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                     PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                                     PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength);

// Impersonation switches the calling thread's file-system identity (fsuid, fsgid and
// supplementary groups of this thread only) to the token's user, so files the thread
// creates belong to that user and access is checked as that user. Impersonating another
// user needs root (ERROR_PRIVILEGE_NOT_HELD otherwise).
// Thread must be null (the calling thread) or a handle of the calling thread; Token null
// reverts. Token must be an impersonation token (ERROR_BAD_TOKEN_TYPE) opened with
// TOKEN_IMPERSONATE.
KVWIN_API BOOL SetThreadToken(PHANDLE Thread, HANDLE Token);
// Primary tokens are duplicated into an impersonation token first. Needs TOKEN_QUERY and
// TOKEN_DUPLICATE (primary) or TOKEN_IMPERSONATE (impersonation).
KVWIN_API BOOL ImpersonateLoggedOnUser(HANDLE hToken);
KVWIN_API BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL ImpersonationLevel);
// Back to the process's own identity; succeeds when the thread is not impersonating.
KVWIN_API BOOL RevertToSelf(void);

}  // extern "C"
