#pragma once

#include "core/store/regvalue.h"

#include <string>
#include <string_view>

// Both stores keep each value in one of two places: this user's own (a file
// in the home folder, a key under HKEY_CURRENT_USER) and the machine-wide one.
// These are the rules they share, written once, so that the program and the
// settings tool behave the same over either.

// "HKEY_LOCAL_MACHINE\SOFTWARE\Pelmora\Brisko": the root's name and the key
// path, cut at a NUL and without backslashes at either end; "" for a root
// without a name.
std::string FullKeyPath(RegistryRoot root, std::string_view keyPath);

// The quit request: "isClose" (in any case) under the program's own key.
bool IsQuitRequest(std::string_view fullKeyPath, std::string_view valueName);

// The copy reads see, of this user's own and the machine-wide one (either may
// be null, and a copy of any type counts): the user's own when there is one,
// so that no older copy hides what was written last. The exception is the
// quit request: a string that reads as 1 machine-wide ends every user's
// copies, whatever their own copy says.
const RegValue *CopyReadsSee(std::string_view fullKeyPath, const RegValue *user,
                             const RegValue *machine);

// Whether a write goes to this user's own copy first: when the user holds the
// value already, except the quit request, which is written machine-wide
// whenever that may be written, so that it reaches every user.
bool WritesToUserCopy(std::string_view fullKeyPath, std::string_view valueName, bool userHoldsIt);
