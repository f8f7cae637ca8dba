#pragma once

#include <functional>
#include <optional>
#include <string>

// Why a save did not happen, in words the save dialog can show.
struct QELSaveRecordError {
    enum class Code { InvalidName, CopyFailed };
    Code code;
    std::string message;
};

// The save operation the save dialog holds.
class QELSoundEffectSaveViewModel {
public:
    // `result` is what the collection's add returned (false once saved as
    // well); `error` is set when nothing was saved.
    using SaveCompletion = std::function<void(QELSoundEffectSaveViewModel&, bool result,
                                              const std::optional<QELSaveRecordError>& error)>;

    virtual ~QELSoundEffectSaveViewModel() = default;
    // Copies the current take into the collection under `name` and adds a
    // record for it; the completion, if any, comes on the main queue. A
    // recording of that name is replaced whole or, on failure, kept as it was.
    virtual void saveRecord(const std::string& name, SaveCompletion completion = nullptr) = 0;
    // Whether saving under `name` would replace a recording the user has.
    virtual bool hasSoundEffectNamed(const std::string& name) const = 0;
};
