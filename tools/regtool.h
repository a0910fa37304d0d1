#pragma once

#include "core/store/valuestore.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// brisko-reg: looks at and changes the settings store from the command line,
// in the manner of the Windows reg command, so that other programs and
// administrators can set a value (for example "isClose" to 1 to make every
// running copy quit). One command line (its arguments, usage text, messages
// and exit codes) over either store: the settings files on Linux, the
// registry on Windows.

struct RegCommand {
    std::string verb; // query, add or delete
    std::string key;  // below HKEY_LOCAL_MACHINE
    std::optional<std::string> name, type, data, file, dir;
    bool help = false;
};

struct RegToolUsageError {
    std::string message;
};

// What differs from one system to the other.
struct RegToolBackEnd {
    // Whether --file and --dir may name a settings file (the file store).
    bool storeFiles = false;
    // The lines of --help on the options only this system has, and on where
    // values are read from and written to.
    std::string options;
    std::string whereValuesLive;
    // The store the command names; throws RegToolUsageError for one it
    // refuses.
    std::function<std::unique_ptr<ValueStore>(const RegCommand &)> open;
};

// This build's back-end (tools/posix or tools/windows).
RegToolBackEnd StoreBackEnd();

struct RegToolOutput {
    std::string out; // for standard output, UTF-8
    std::string err; // for standard error, shown before it
};

// Runs brisko-reg with its arguments (the program's name left out). Exit
// status: 0 done; 1 value or key not found, or not written (or not put on
// disk); 2 bad arguments. Output that cannot be written is the caller's to
// report, with 1.
int RunRegTool(const std::vector<std::string> &args, const RegToolBackEnd &backEnd,
               RegToolOutput &output);

// The message for output that could not be written.
std::string CannotWriteOutput(const std::string &why);
