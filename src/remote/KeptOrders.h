#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// Where a station keeps the orders that changed its countdown, together with
// the countdown itself: an order is noted before the change, so that the
// state written with the new numbers names it, and answered only once that
// state is on disk. A program killed at any point then either finds the
// order's change not made (and carries it out) or made and named (and only
// answers it): never carried out twice, never answered and lost.
class KeptOrders
{
public:
    struct Outcome
    {
        bool done = false;
        QString answer;
    };

    virtual ~KeptOrders() = default;

    // The outcome of an order carried out before, in this run or one before.
    virtual std::optional<Outcome> keptOutcome(const QString& id) const = 0;
    // Named in every state kept from now on; the call comes before the change.
    virtual void noteOrder(const QString& id, const Outcome& outcome,
                           std::int64_t expiresUtcMs) = 0;
    // Writes the state now; then runs on this thread once it is on disk.
    virtual void keepNow(std::function<void()> then) = 0;
};
