#pragma once

#include <QObject>

#include <functional>

// Runs a piece of the start that the first frame does not need once the first
// window the program shows has been drawn, at the next turn of the event loop,
// so that it does not delay that frame. Input that reaches the program before
// then runs it first, right there: the work is always done before anything
// the user does is handled. If no window is drawn within atTheLatestMs, it
// runs then all the same.
class AfterFirstFrame final : public QObject
{
public:
    // Long enough for any first frame, short enough that nothing is missed
    // for long on a display that draws no window (a start under a locked
    // screen or minimised).
    static constexpr int kAtTheLatestMs = 3000;

    explicit AfterFirstFrame(std::function<void()> work, QObject* parent = nullptr,
                             int atTheLatestMs = kAtTheLatestMs);

    // Runs the work now unless it has run already.
    void runNow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_work;
    bool m_scheduled = false;
};
