// Child processes: starting a program, as this process's user or as a token's, waiting for
// it and reading its exit code; the command line a program was started with.
//
// A child is a real Linux process (fork and execve). Its handle is a waitable object: it is
// signalled when the child ends, and the wait functions take it with any other handle. The
// layer reaps every child it started, so none is left a zombie, whether or not its handles
// are kept. A host that reaps children itself (waitpid(-1), SIGCHLD ignored) takes their
// exit codes away: they then read 0.
//
// The command line travels as on Windows: the child sees, through GetCommandLineW, exactly
// the text the parent passed. A program that does not use this layer gets it as argv: the
// program's path first, then the words of the command line split by the rules of
// CommandLineToArgvW.
//
// Every function here may be called from any thread.
#pragma once

#include "win/handles.h"
#include "win/types.h"

extern "C" {

typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;

typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;

#define STARTF_USESHOWWINDOW 0x00000001u
#define STARTF_USESIZE 0x00000002u
#define STARTF_USEPOSITION 0x00000004u
#define STARTF_USECOUNTCHARS 0x00000008u
#define STARTF_USEFILLATTRIBUTE 0x00000010u
#define STARTF_FORCEONFEEDBACK 0x00000040u
#define STARTF_FORCEOFFFEEDBACK 0x00000080u
#define STARTF_USESTDHANDLES 0x00000100u

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5

#define DEBUG_PROCESS 0x00000001u
#define DEBUG_ONLY_THIS_PROCESS 0x00000002u
#ifndef CREATE_SUSPENDED
#define CREATE_SUSPENDED 0x00000004u
#endif
#define DETACHED_PROCESS 0x00000008u
#define CREATE_NEW_CONSOLE 0x00000010u
#define NORMAL_PRIORITY_CLASS 0x00000020u
#define CREATE_NEW_PROCESS_GROUP 0x00000200u
#define CREATE_UNICODE_ENVIRONMENT 0x00000400u
#define CREATE_NO_WINDOW 0x08000000u

#define PROCESS_TERMINATE 0x0001u
#define PROCESS_QUERY_INFORMATION 0x0400u
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000u
#define PROCESS_ALL_ACCESS 0x001FFFFFu

// Starts lpApplicationName (a path; a relative one is taken from the current folder, no
// search) or, when it is null, the program the command line's first word names (a word
// with a separator is a path, a bare name is looked for in PATH). The child runs as this
// process's own user, groups included, also when the calling thread impersonates
// someone, as on Windows.
//
// What is honoured:
//   lpCommandLine       copied; the child's GetCommandLineW gives exactly this text;
//   bInheritHandles     FALSE: no descriptor of this process reaches the child but its
//                       standard input, output and error; TRUE: inheritable ones do too;
//   dwCreationFlags     CREATE_UNICODE_ENVIRONMENT (lpEnvironment is UTF-16, else UTF-8),
//                       CREATE_NEW_PROCESS_GROUP (a process group of its own);
//                       CREATE_SUSPENDED and the debug flags fail with ERROR_NOT_SUPPORTED;
//                       the console and window flags mean nothing here and are accepted;
//   lpEnvironment       "NAME=value" strings ending in an empty one; null: this process's
//                       environment; entries starting with '=' are dropped;
//   lpCurrentDirectory  the child's current folder (a Windows or native path), else ours;
//   lpStartupInfo       cb must be at least its size (ERROR_INVALID_PARAMETER); with
//                       STARTF_USESTDHANDLES and bInheritHandles the three file handles
//                       become the child's standard streams; desktop, title, window and
//                       console fields are accepted and mean nothing;
//   lpProcessInformation receives a process handle and a thread handle (both signalled
//                       when the child ends) and the child's pid as both ids.
// Failures: a missing program ERROR_FILE_NOT_FOUND (2), a missing folder on its path
// ERROR_PATH_NOT_FOUND, a file that cannot be run ERROR_ACCESS_DENIED or
// ERROR_BAD_EXE_FORMAT; the record is then left as it was.
KVWIN_API BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                              LPSECURITY_ATTRIBUTES lpProcessAttributes,
                              LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                              DWORD dwCreationFlags, LPVOID lpEnvironment,
                              LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                              LPPROCESS_INFORMATION lpProcessInformation);

// As CreateProcessW, the child running as the token's user with the token's primary group
// and supplementary groups (a primary token: ERROR_BAD_TOKEN_TYPE for an impersonation one;
// it needs TOKEN_QUERY, TOKEN_DUPLICATE and TOKEN_ASSIGN_PRIMARY, ERROR_ACCESS_DENIED).
// Starting a child as another user needs root: any other process gets
// ERROR_PRIVILEGE_NOT_HELD. Without an environment block the child gets this process's
// environment, as on Windows (CreateEnvironmentBlock makes the user's).
KVWIN_API BOOL CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                                    LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                    LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                    DWORD dwCreationFlags, LPVOID lpEnvironment,
                                    LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                                    LPPROCESS_INFORMATION lpProcessInformation);

// STILL_ACTIVE (259) while the child runs; afterwards its exit status (0-255), or for a
// child ended by a signal: SIGSEGV and SIGBUS 0xC0000005, SIGILL 0xC000001D, SIGFPE
// 0xC0000094, SIGABRT 3, SIGINT 0xC000013A, SIGKILL and SIGTERM 1 (or the code given to
// TerminateProcess), any other 128 + the signal's number. The current process's
// pseudo-handle gives STILL_ACTIVE.
KVWIN_API BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);
KVWIN_API DWORD GetProcessId(HANDLE Process);

// The command line this process was started with: the text its parent passed to
// CreateProcessW, or, for a process started otherwise, its argv joined with spaces, each
// word quoted so that CommandLineToArgvW gives it back. The text stays valid for the life
// of the process.
KVWIN_API LPWSTR GetCommandLineW(void);

// Splits a command line into words. The first word is the program name: up to the next
// blank, or, when it starts with a double quote, up to the next double quote (backslashes
// are plain characters in it). The others: blanks (space, tab) separate words outside
// double quotes; 2n backslashes before a double quote give n backslashes and the quote
// opens or closes a quoted part; 2n+1 give n backslashes and a literal quote; inside a
// quoted part two double quotes give one literal quote; other backslashes are plain. An
// empty (or null) command line gives one word, the executable's path. The array and its
// strings are one block freed with LocalFree; *pNumArgs receives the count. A null pNumArgs
// fails with ERROR_INVALID_PARAMETER.
KVWIN_API LPWSTR* CommandLineToArgvW(LPCWSTR lpCmdLine, int* pNumArgs);

}  // extern "C"
