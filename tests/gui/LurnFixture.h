#pragma once

#include "platform/Beep.h"
#include "platform/Clock.h"
#include "platform/Platform.h"

#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QWidget;

// A clock that moves only when told to.
class FakeClock final : public platform::Clock
{
public:
    DayFraction now() const override { return m_now; }
    void set(DayFraction now) { m_now = now; }
    void advanceMs(double ms) { m_now += ms / kMillisecondsPerDay; }

private:
    DayFraction m_now = 46'000.25; // a morning in 2025
};

class FakeBeep final : public platform::Beep
{
public:
    void beep() override { ++count; }
    int count = 0;
};

// The program's three windows as the entry creates them, on the real display
// with the real window manager, but with a fake clock and beep and a private
// settings file.
class LurnFixture final
{
public:
    // configHome: an existing directory to use as XDG_CONFIG_HOME, or empty
    // for a fresh temporary one.
    explicit LurnFixture(const QString& configHome = {});
    ~LurnFixture();
    LurnFixture(const LurnFixture&) = delete;
    LurnFixture& operator=(const LurnFixture&) = delete;

    // Destroys the windows as the entry does at exit (the settings are saved).
    void destroyWindows();
    QString configHome() const { return m_configHome; }
    QString settingsFile() const { return m_configHome + QStringLiteral("/Lurn.conf"); }

    FakeClock clock;
    FakeBeep beep;

private:
    QTemporaryDir m_tempDir;
    QString m_configHome;
    std::unique_ptr<platform::Backend> m_backend;
};

// What a message box showed.
struct SeenBox
{
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Runs action on the next modal window that comes up (polling, so it also
// works while the test itself is blocked in a modal loop). Returns at once.
void onNextModal(std::function<void(QWidget*)> action);

// Closes the next message box with its OK button and records it in seen.
void answerNextMessageBox(SeenBox* seen);

// Pumps events until no modal window is up, or fails the test after timeoutMs.
bool waitForNoModal(int timeoutMs = 5000);
