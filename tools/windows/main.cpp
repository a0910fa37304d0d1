#include "core/text/utf16.h"
#include "regtool.h"

#include <windows.h>

#include <cstdio>

namespace {

// Text to the console as Unicode; to a file or pipe as UTF-8. False when it
// did not arrive.
bool Print(DWORD which, FILE *stream, const std::string &utf8)
{
    if (utf8.empty())
        return true;
    const HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    if (handle && GetConsoleMode(handle, &mode)) {
        const std::wstring wide = Utf8ToWide(utf8);
        DWORD written = 0;
        return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                             nullptr) &&
               written == wide.size();
    }
    return std::fwrite(utf8.data(), 1, utf8.size(), stream) == utf8.size() &&
           std::fflush(stream) == 0;
}

} // namespace

int wmain(int argc, wchar_t *argv[])
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(WideToUtf8(argv[i]));
    RegToolOutput output;
    const int code = RunRegTool(args, StoreBackEnd(), output);
    Print(STD_ERROR_HANDLE, stderr, output.err);
    if (!Print(STD_OUTPUT_HANDLE, stdout, output.out)) {
        Print(STD_ERROR_HANDLE, stderr,
              CannotWriteOutput("error " + std::to_string(GetLastError())));
        return 1;
    }
    return code;
}
