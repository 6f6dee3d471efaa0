#pragma once

#include "platform/Backend.h"
#include "platform/Beep.h"
#include "platform/Clock.h"
#include "platform/Platform.h"

#include <QMessageBox>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>

class QWidget;

// Clocks that move only when told to. set() and advanceMs() move both the
// elapsed-time clock and the wall clock; stepWallMs() moves only the wall
// clock, as an administrator or NTP would.
class FakeClock final : public platform::Clock
{
public:
    DayFraction now() const override { return m_now; }
    std::int64_t utcMs() const override { return m_utcMs; }
    void set(DayFraction now)
    {
        m_utcMs += std::int64_t((now - m_now) * kMillisecondsPerDay);
        m_now = now;
    }
    void advanceMs(double ms)
    {
        m_now += ms / kMillisecondsPerDay;
        m_utcMs += std::int64_t(ms);
    }
    void stepWallMs(std::int64_t ms) { m_utcMs += ms; }
    // The boot the elapsed-time readings belong to; another id is a reboot.
    std::string bootId() const override { return m_bootId; }
    void setBootId(std::string id) { m_bootId = std::move(id); }

private:
    // Any reading will do; at this one the millisecond steps of the tests
    // reach the countdown's boundaries exactly.
    DayFraction m_now = 46'000.25;
    std::int64_t m_utcMs = 1'765'360'800'000LL; // 2025-12-10 10:00 UTC
    std::string m_bootId = "fake-boot";
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
