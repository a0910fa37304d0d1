#include "regtool.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    RegToolOutput output;
    const int code = RunRegTool({argv + 1, argv + argc}, StoreBackEnd(), output);
    std::fwrite(output.err.data(), 1, output.err.size(), stderr);
    std::fwrite(output.out.data(), 1, output.out.size(), stdout);
    // Output that never arrived (a full disk, a closed pipe) is a failure.
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const std::string message = CannotWriteOutput(std::strerror(errno ? errno : EIO));
        std::fwrite(message.data(), 1, message.size(), stderr);
        return 1;
    }
    return code;
}
