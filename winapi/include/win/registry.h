// The registry: keys, values and the predefined roots.
//
// Keys live in a store per hive (see docs/platform/registry.md): the machine hive serves
// HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT (the view of HKLM\SOFTWARE\Classes), each user
// has a hive of their own for HKEY_CURRENT_USER. Key and value names are case-insensitive
// and keep the case they were created with; '\' separates key names in a path.
//
// Every function returns a Win32 error code (ERROR_SUCCESS on success) and leaves the
// thread's last error alone, as on Windows. All functions are safe to call from any thread
// and from many processes at once; every change is one transaction of the store.
#pragma once

#include "win/access_rights.h"
#include "win/errors.h"
#include "win/types.h"

// Codes the registry reports that the shared error table does not hold (yet).
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif
#ifndef ERROR_DATATYPE_MISMATCH
#define ERROR_DATATYPE_MISMATCH 1629L
#endif
#ifndef ERROR_UNSUPPORTED_TYPE
#define ERROR_UNSUPPORTED_TYPE 1630L
#endif
#ifndef ERROR_CHILD_MUST_BE_VOLATILE
#define ERROR_CHILD_MUST_BE_VOLATILE 1021L
#endif

// ---- Predefined keys ----------------------------------------------------------------------
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)((LONG)0x80000004))
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)((LONG)0x80000005))

// ---- Value types --------------------------------------------------------------------------
#define REG_NONE 0ul
#define REG_SZ 1ul
#define REG_EXPAND_SZ 2ul
#define REG_BINARY 3ul
#define REG_DWORD 4ul
#define REG_DWORD_LITTLE_ENDIAN 4ul
#define REG_DWORD_BIG_ENDIAN 5ul
#define REG_LINK 6ul
#define REG_MULTI_SZ 7ul
#define REG_RESOURCE_LIST 8ul
#define REG_FULL_RESOURCE_DESCRIPTOR 9ul
#define REG_RESOURCE_REQUIREMENTS_LIST 10ul
#define REG_QWORD 11ul
#define REG_QWORD_LITTLE_ENDIAN 11ul

// ---- Access rights (the standard and generic ones are in win/access_rights.h) ---------
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_32KEY 0x0200
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_RES 0x0300
#define KEY_READ                                                                      \
    ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & \
     (~SYNCHRONIZE))
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & (~SYNCHRONIZE))
#define KEY_EXECUTE ((KEY_READ) & (~SYNCHRONIZE))
#define KEY_ALL_ACCESS                                                             \
    ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | \
      KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                     \
     (~SYNCHRONIZE))

// ---- Options and dispositions -------------------------------------------------------------
#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_OPTION_CREATE_LINK 0x00000002L
#define REG_OPTION_BACKUP_RESTORE 0x00000004L
#define REG_OPTION_OPEN_LINK 0x00000008L
#define REG_OPTION_DONT_VIRTUALIZE 0x00000010L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

// ---- RegGetValueW flags -------------------------------------------------------------------
#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_DWORD (RRF_RT_REG_BINARY | RRF_RT_REG_DWORD)
#define RRF_RT_QWORD (RRF_RT_REG_BINARY | RRF_RT_REG_QWORD)
#define RRF_RT_ANY 0x0000ffff
#define RRF_SUBKEY_WOW6464KEY 0x00010000
#define RRF_SUBKEY_WOW6432KEY 0x00020000
#define RRF_WOW64_MASK 0x00030000
#define RRF_NOEXPAND 0x10000000
#define RRF_ZEROONFAILURE 0x20000000

// ---- Size limits --------------------------------------------------------------------------
#define KVWIN_REG_MAX_KEY_NAME 255      // characters in one key name
#define KVWIN_REG_MAX_VALUE_NAME 16383  // characters in one value name

extern "C" {

// Opens an existing key. lpSubKey NULL or empty opens a new handle to hKey itself.
// ERROR_FILE_NOT_FOUND when the key does not exist.
KVWIN_API LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                                PHKEY phkResult);

// Opens a key, creating it and any missing keys on its path. *lpdwDisposition (optional)
// receives REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY.
KVWIN_API LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                                  DWORD dwOptions, REGSAM samDesired,
                                  const SECURITY_ATTRIBUTES* lpSecurityAttributes, PHKEY phkResult,
                                  LPDWORD lpdwDisposition);

// Reads a value exactly as stored. NULL or empty lpValueName names the default value.
KVWIN_API LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved,
                                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// Reads a value of hKey\lpSubKey with type filtering (RRF_RT_*) and terminated strings.
KVWIN_API LSTATUS RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags,
                               LPDWORD pdwType, PVOID pvData, LPDWORD pcbData);

// Writes a value: the cbData bytes given are what is stored, terminator or not.
KVWIN_API LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                                 const BYTE* lpData, DWORD cbData);

KVWIN_API LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);

// Deletes a key without subkeys (ERROR_ACCESS_DENIED when it has some) with its values.
KVWIN_API LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
KVWIN_API LSTATUS RegDeleteKeyExW(HKEY hKey, LPCWSTR lpSubKey, REGSAM samDesired, DWORD Reserved);

// Deletes a key and everything below it; lpSubKey NULL empties hKey but keeps it.
KVWIN_API LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);

// Subkeys in the order of their upper-cased names; values in the order they were created.
KVWIN_API LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                                LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                                PFILETIME lpftLastWriteTime);
KVWIN_API LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName,
                                LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData);

KVWIN_API LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass,
                                   LPDWORD lpReserved, LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                   LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                   LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                   LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);

// Closes a key handle; predefined keys close successfully and stay usable.
KVWIN_API LSTATUS RegCloseKey(HKEY hKey);

// Makes every committed change of the key's hive durable on disk.
KVWIN_API LSTATUS RegFlushKey(HKEY hKey);

}  // extern "C"
