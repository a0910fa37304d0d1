// brisko-reg over the settings files (core/store/posix/filestore.h).

#include "core/store/posix/filestore.h"
#include "regtool.h"

#include <sys/stat.h>

namespace {

// A store file must be a regular file (or none yet) in a folder: nothing is
// read from or made beside a device such as /dev/null.
void checkStorePath(const std::string &path)
{
    struct stat st;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    if (path.empty() || path.back() == '/' ||
        (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) ||
        (::stat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)))
        throw RegToolUsageError{"not a regular file in a folder: " + path};
}

} // namespace

RegToolBackEnd StoreBackEnd()
{
    RegToolBackEnd backEnd;
    backEnd.storeFiles = true;
    backEnd.options =
        "\n"
        "  --file PATH  use exactly this store file\n"
        "  --dir DIR    use DIR as the machine-wide folder instead of " BRISKO_SETTINGS_DIR "\n";
    backEnd.whereValuesLive =
        "A value is read from the user's own file ($XDG_CONFIG_HOME/brisko/settings.reg)\n"
        "when that holds it, otherwise from the machine-wide file, and written where\n"
        "it is read from; a value neither file holds is written machine-wide when\n"
        "that may be written (no permission, a read-only file system or something\n"
        "other than a file at its path send it to the user's own file, and say why;\n"
        "any other failure, such as a full disk, is an error). isClose set to 1\n"
        "machine-wide applies to every user.\n"
        "Lines of a store file that cannot be read are named on standard error.\n";
    backEnd.open = [](const RegCommand &c) {
        const std::string machine =
            c.file ? *c.file
                   : MachineSettingsFile(c.dir ? *c.dir : std::string(BRISKO_SETTINGS_DIR));
        // A file named on the command line must be one; a machine-wide file
        // that is not is passed over for the user's own, as one that may not
        // be written.
        if (c.file)
            checkStorePath(machine);
        return std::make_unique<FileStore>(machine, c.file ? std::string() : UserSettingsFile());
    };
    return backEnd;
}
