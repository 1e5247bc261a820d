// Policy value helpers of the Restriction Fixer: reading and deleting one policy
// value, and the list's add and selection look-up.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"
#include "restrict/RestrictionList.h"

namespace korvane {

// True for a value of at most four bytes, of any type, that read as a little-endian
// number is not 0: what the shell itself takes for a policy in force (REG_SZ "1" and
// REG_BINARY 04 00 00 00 included).  A missing or unreadable key or value, longer
// data and a zero read false.  A key or value that is there but cannot be read also
// reads false; *unreadable, when given, then says which and why.
bool IsPolicyValueSet(Handle root, const std::wstring& keyPath, const std::wstring& valueName,
                      std::wstring* unreadable = nullptr);

// Appends an unchecked item with the red cross, unless a listed caption already begins
// with `name` (without regard to case).  The catalogue keeps a name that is the
// beginning of another before it, so both can be listed.
void AddRestrictionItem(RestrictionList& list, const std::wstring& name,
                        const std::wstring& description, std::int32_t groupId);

// True when `name`, trimmed, is in the selection as a whole string, without regard to case.
bool IsRestrictionSelected(const RestrictionList& list, const std::wstring& name);

// Opens the key (creating it when missing; the key itself is never deleted) and
// deletes the value whatever its type.  When the value is gone afterwards, every
// checked item gets the check mark and `entryName` leaves the selection, and the
// result is true.  When it is still there (the key could not be opened or the value
// not deleted), the list is left alone and the result is false.
bool RemovePolicyValue(RestrictionList& list, Handle root, const std::wstring& keyPath,
                       const std::wstring& valueName, const std::wstring& entryName);

}  // namespace korvane
