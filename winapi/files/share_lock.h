// Share modes as open-file-description locks.
//
// Each open handle takes shared locks on two small sets of bytes far beyond any real file
// size: one byte per right it holds (read, write, delete) in the "access" set, and one byte
// per right it refuses to share in the "deny" set. Opening a new handle conflicts when
// another handle denies a right the new one asks for (someone holds the "deny" byte of that
// right) or holds a right the new one refuses to share (someone holds its "access" byte).
// The check and the taking of locks happen under an exclusive flock() of the file (flock and
// byte-range locks are independent on Linux), so two processes opening the same file at once
// see each other. Byte-range read locks need a readable descriptor: the layer opens files
// for reading as well whenever the permissions allow it.
//
// Open-file-description locks belong to the open file description, not to the process: two
// handles of one process conflict with each other exactly as handles of two processes do,
// and the locks vanish with the descriptor, so a process that dies leaves no stale share.
#pragma once

#include "win/types.h"

namespace kvwin {

enum ShareRight : unsigned {
    kShareRead = 1,
    kShareWrite = 2,
    kShareDelete = 4,
};

// Rights (a mask of ShareRight) a handle asks for, from its access mask.
unsigned RightsFromAccess(DWORD access);

// Takes the locks for a handle on `fd` holding `rights` and sharing `shared` (both masks of
// ShareRight). Returns 0, ERROR_SHARING_VIOLATION, or another Win32 code when the file
// system does not support the locks.
DWORD AcquireShare(int fd, unsigned rights, unsigned shared);

// True when some open handle on the file behind `fd` refuses to share any of `rights`.
// `fd` must be a descriptor of its own (not one that holds locks of a handle).
bool ShareDenied(int fd, unsigned rights);

}  // namespace kvwin
