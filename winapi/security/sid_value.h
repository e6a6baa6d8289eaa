// A SID as a value, and the binary and text forms it reads from and writes to.
//
// Plain values: safe to copy between threads; nothing here holds shared state.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/security.h"

namespace kvwin {

struct SidValue {
    std::array<BYTE, 6> authority{};
    std::vector<DWORD> subs;

    static SidValue Make(uint64_t authority, std::initializer_list<DWORD> subs);
    uint64_t Authority() const;
    size_t Length() const { return 8 + 4 * subs.size(); }
    bool operator==(const SidValue& other) const = default;
};

// Well-known SIDs the layer names.
SidValue LocalSystemSid();         // S-1-5-18
SidValue AdministratorsSid();      // S-1-5-32-544
SidValue UsersSid();               // S-1-5-32-545
SidValue EveryoneSid();            // S-1-1-0
SidValue AuthenticatedUsersSid();  // S-1-5-11
SidValue CreatorOwnerSid();        // S-1-3-0
SidValue IntegritySid(DWORD rid);  // S-1-16-rid
SidValue UserSid(uint32_t uid);    // S-1-22-1-uid, or S-1-5-18 for root
SidValue GroupSid(uint32_t gid);   // S-1-22-2-gid

// Reads a binary SID, checking the revision and the sub-authority count. `limit` bounds
// the bytes that may be read (SIZE_MAX when the caller cannot tell).
bool ReadSid(const void* sid, size_t limit, SidValue& out);
// Writes the binary form into `out`, which must hold Length() bytes.
void WriteSid(const SidValue& sid, void* out);
void AppendSid(const SidValue& sid, std::vector<BYTE>& out);
// A binary SID in LocalAlloc memory; null with ERROR_NOT_ENOUGH_MEMORY.
PSID AllocateSid(const SidValue& sid);

// "S-1-5-18".
std::u16string SidText(const SidValue& sid);
// The "S-1-..." form (S in either case) or a descriptor-language abbreviation.
bool ParseSidText(std::u16string_view text, SidValue& out);
// The abbreviation of a SID, or empty when it has none.
std::u16string_view SidAbbreviation(const SidValue& sid);
// The abbreviation when there is one, else the S- form.
std::u16string SddlSidText(const SidValue& sid);

}  // namespace kvwin
