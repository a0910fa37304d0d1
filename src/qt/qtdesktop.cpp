#include "qt/qtdesktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>

#include <unistd.h>

// --- files and folders -------------------------------------------------------

bool QtFileSystem::fileExists(const std::string &path)
{
    const QFileInfo info(QString::fromStdString(path));
    return info.isFile() && !info.isHidden();
}

std::string QtFileSystem::programFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath()).toStdString();
}

// --- the browser --------------------------------------------------------------

void QtBrowserOpener::open(WindowHandle, const std::string &url)
{
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

// --- ending -------------------------------------------------------------------

void QtProcessControl::endNow()
{
    std::fflush(nullptr);
    _exit(0);
}
