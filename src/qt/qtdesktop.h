#pragma once

#include "core/platform/services.h"

// What the program asks of the system around it: whether a file is there and
// where the program itself is, a page in the user's browser, and its own end.

class QtFileSystem : public FileSystem {
public:
    bool fileExists(const std::string &path) override;
    std::string programFolder() override;
};

class QtBrowserOpener : public BrowserOpener {
public:
    void open(WindowHandle owner, const std::string &url) override;
};

class QtProcessControl : public ProcessControl {
public:
    [[noreturn]] void endNow() override;
};
