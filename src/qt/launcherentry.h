#pragma once

#include "core/platform/services.h"

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

// The run's progress for the Linux docks and task managers that read the
// launcher-entry signal (Ubuntu's dock, Plasma's task manager): an Update
// signal on the session bus for application://brisko.desktop with progress,
// progress-visible and urgent. The attention is also the window manager's
// hint (QApplication::alert), which any task bar shows.
//
// Signals only: nothing waits for an answer, and nobody listening costs one
// small message now and then. Changes are gathered and sent at most once a
// second (the latest state wins); an idle window sends nothing. Without a
// session bus nothing is sent at all.
class QtLauncherEntry : public TaskbarProgress {
public:
    // gapMs: the shortest time between two signals.
    explicit QtLauncherEntry(const QString &desktopFile = QStringLiteral("brisko.desktop"),
                             int gapMs = 1000);
    ~QtLauncherEntry() override;
    QtLauncherEntry(const QtLauncherEntry &) = delete;
    QtLauncherEntry &operator=(const QtLauncherEntry &) = delete;

    void show(WindowHandle window, TaskbarState state, double fraction) override;
    void requestAttention(WindowHandle window) override;

    // The object path the signals come from.
    QString objectPath() const { return path_; }
    // For tests: where the signals go instead of the session bus.
    std::function<void(const QDBusMessage &)> sendVia;

private:
    struct Entry {
        double progress = 0;
        bool progressVisible = false;
        bool urgent = false;
        friend bool operator==(const Entry &, const Entry &) = default;
    };
    void schedule();
    void send();
    void watchForUser(QWidget *window);

    QString appUri_;
    QString path_;
    int gapMs_;
    Entry wanted_;
    Entry sent_;
    QTimer timer_;
    QElapsedTimer sinceSent_;
    QPointer<QWidget> waiting_;
    QMetaObject::Connection focusWatch_;
};
