#pragma once

#include "core/async/CancelToken.h"
#include "core/async/ResultSlot.h"

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// One contestant of firstOf(): started with a token of its own, it delivers a value or nothing
// (std::nullopt: it has no answer and drops out), or throws.
template <typename T> using Racer = std::function<QCoro::Task<std::optional<T>>(CancelToken& cancel)>;

namespace FirstOfDetail {

template <typename T> struct Race
{
    std::vector<Racer<T>> racers;
    std::vector<std::unique_ptr<CancelToken>> tokens;
    std::size_t running = 0;
    bool decided = false;
    std::shared_ptr<ResultSlot<std::optional<T>>> outcome = ResultSlot<std::optional<T>>::create();

    // The losers hear about it before the awaiter resumes, so they can stop while it goes on.
    template <typename Settle> void decide(Settle settle)
    {
        decided = true;
        for (const auto& token : tokens)
            token->cancel();
        settle(*outcome);
    }
};

// Runs detached; the frame owns the race (and so every racer's closure and token) until the
// racer ends, however long after the decision that is.
template <typename T> QCoro::Task<> runRacer(std::shared_ptr<Race<T>> race, std::size_t index)
{
    std::optional<T> value;
    std::exception_ptr error;
    try {
        QCoro::Task<std::optional<T>> task = race->racers[index](*race->tokens[index]);
        value = co_await std::move(task);
    } catch (...) {
        error = std::current_exception();
    }
    --race->running;
    if (race->decided)
        co_return;
    if (error)
        race->decide([&](auto& outcome) { outcome.setError(error); });
    else if (value)
        race->decide([&](auto& outcome) { outcome.setValue(std::move(value)); });
    else if (race->running == 0)
        race->decide([](auto& outcome) { outcome.setValue(std::nullopt); });
}

} // namespace FirstOfDetail

// Starts every racer at once and gives the first value one of them delivers. A racer that
// delivers nothing is passed over; when all have done so, the result is std::nullopt. The first
// exception a racer throws before a value has won is rethrown. Either way, once decided every
// other racer's token is raised and the race is not awaited further: losers end in the background
// and whatever they deliver or throw is dropped.
//
// Main thread only. Racers take everything they use by value (or by shared ownership): they may
// outlive the caller.
template <typename T> QCoro::Task<std::optional<T>> firstOf(std::vector<Racer<T>> racers)
{
    auto race = std::make_shared<FirstOfDetail::Race<T>>();
    race->racers = std::move(racers);
    race->running = race->racers.size();
    for (std::size_t i = 0; i < race->racers.size(); ++i)
        race->tokens.push_back(std::make_unique<CancelToken>());
    if (race->racers.empty())
        race->decide([](auto& outcome) { outcome.setValue(std::nullopt); });
    // A racer that ends at once may decide the race before the later ones start; those are skipped.
    for (std::size_t i = 0; i < race->racers.size() && !race->decided; ++i)
        FirstOfDetail::runRacer(race, i);
    const std::shared_ptr<ResultSlot<std::optional<T>>> outcome = race->outcome;
    co_return co_await outcome->wait();
}
