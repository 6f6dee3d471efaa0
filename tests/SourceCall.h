#pragma once

// A call from a test into something that throws when its peer is slow or gone
// (a window source whose compositor or shell does not answer in time): its
// value, or why it failed. The check fails with that message; the exception
// never leaves the test function, which would end the whole test binary.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTest>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

template <typename T> class SourceCall
{
public:
    static SourceCall succeeded(T value)
    {
        SourceCall call;
        call.m_value.emplace(std::move(value));
        return call;
    }
    static SourceCall failed(const char* why)
    {
        SourceCall call;
        call.m_error = QByteArray("the call failed: ") + why;
        return call;
    }

    explicit operator bool() const { return m_value.has_value(); }
    T& operator*() { return *m_value; }
    const T& operator*() const { return *m_value; }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    // Why it failed, for QVERIFY2.
    const char* error() const { return m_error.constData(); }

private:
    SourceCall() = default;

    std::optional<T> m_value;
    QByteArray m_error;
};

// What call returns (true for a call that returns nothing), or why it threw.
template <typename F> auto callSource(F&& call)
{
    using Result = std::invoke_result_t<F>;
    using Value = std::conditional_t<std::is_void_v<Result>, bool, Result>;
    try {
        if constexpr (std::is_void_v<Result>) {
            call();
            return SourceCall<Value>::succeeded(true);
        } else {
            return SourceCall<Value>::succeeded(call());
        }
    } catch (const std::exception& e) {
        return SourceCall<Value>::failed(e.what());
    }
}

// The same for a call that may be made again (reading, opening), made again
// while it fails until it succeeds or ms have passed: a loaded machine's peer
// may miss one call's own deadline and answer the next.
template <typename F> auto callSourcePatiently(F&& call, int ms = 30000)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        auto result = callSource(call);
        if (result || deadline.hasExpired())
            return result;
        QTest::qWait(100);
    }
}

// call's value; when it throws, a failed check saying why (at the caller's
// line) and an empty value, so that helpers deep in a test need no exception.
// A macro for the caller's file and line: the clang this project builds with
// has no std::source_location over Debian 12's libstdc++.
template <typename F> auto valueOrFailAt(const char* file, int line, F&& call)
{
    auto result = callSource(call);
    using Value = std::remove_reference_t<decltype(*result)>;
    if (!result) {
        QTest::qFail(result.error(), file, line);
        return Value{};
    }
    return std::move(*result);
}
#define valueOrFail(...) valueOrFailAt(__FILE__, __LINE__, __VA_ARGS__)
