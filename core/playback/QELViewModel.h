#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <semaphore>
#include <string>
#include <utility>

#include "foundation/DispatchQueue.h"

// Why a view model could not load its data.
struct QELError {
    std::string message;
};

// A screen's model that owns a data provider.
template <typename DataProvider>
class QELViewModel {
public:
    using DataProviderType = DataProvider;
    using DataProviderRef = std::shared_ptr<DataProvider>;
    using Completion = std::function<void(DataProviderRef, std::optional<QELError>)>;
    using Result = std::pair<DataProviderRef, std::optional<QELError>>;

    virtual ~QELViewModel() = default;

    // Calls `completion` exactly once, with the provider or an error.
    virtual void loadData(Completion completion) = 0;

    // loadData, waited for. The result is handed over on the default global
    // queue, so the completion must not be delivered later on the calling
    // thread: a model that completes on the main loop must not be loaded
    // this way from it.
    Result loadDataSync() {
        struct HandOff {
            std::binary_semaphore done{0};
            Result result;
        };
        auto handOff = std::make_shared<HandOff>();
        loadData([handOff](DataProviderRef provider, std::optional<QELError> error) {
            platform::globalQueue(platform::QueuePriority::Default)
                .async([handOff, result = Result{std::move(provider), std::move(error)}]() mutable {
                    handOff->result = std::move(result);
                    handOff->done.release();
                });
        });
        handOff->done.acquire();
        return std::move(handOff->result);
    }
};
