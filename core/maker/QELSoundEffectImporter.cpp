#include "core/maker/QELSoundEffectImporter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/catalogue/QELSoundEffect.h"
#include "core/maker/QELRecordingSave.h"
#include "core/maker/QELSoundEffectMakeViewModel.h"
#include "core/settings/QELAudioSettings.h"
#include "foundation/DebugLog.h"
#include "foundation/RunLoop.h"

namespace {

// Below this a sound counts as silence; trimming it would leave nothing.
constexpr double kTrimThresholdDb = -50.0;

QELImportResult failure(QELImportResult::Code code, std::string message) {
    return {code, {}, std::move(message)};
}

}  // namespace

QELImportOptions QELImportOptions::fromSettings(const QELAudioSettings& settings) {
    QELImportOptions options;
    options.normalise = settings.normaliseLoudness();
    options.loudnessTarget = settings.loudnessTarget();
    return options;
}

const char* QELImportResult::name() const {
    switch (code) {
        case Code::Imported:
            return "Imported";
        case Code::Cancelled:
            return "Cancelled";
        case Code::InvalidName:
            return "InvalidName";
        case Code::NameTaken:
            return "NameTaken";
        case Code::NotFound:
            return "NotFound";
        case Code::IsDirectory:
            return "IsDirectory";
        case Code::Unreadable:
            return "Unreadable";
        case Code::Empty:
            return "Empty";
        case Code::TooLarge:
            return "TooLarge";
        case Code::TooLong:
            return "TooLong";
        case Code::NotAudio:
            return "NotAudio";
        case Code::SaveFailed:
            return "SaveFailed";
    }
    return "";
}

QELSoundEffectImporter::Environment QELSoundEffectImporter::Environment::standard() {
    return {kUserCollectionFileBasePath(), &QELMySoundEffectStorage::sharedStorage()};
}

QELSoundEffectImporter& QELSoundEffectImporter::shared() {
    static auto* importer = new QELSoundEffectImporter();
    return *importer;
}

QELSoundEffectImporter::QELSoundEffectImporter(Environment environment)
    : env_(std::move(environment)),
      queue_(std::make_unique<platform::DispatchQueue>("com.zentrik.quellio.import")) {}

QELSoundEffectImporter::~QELSoundEffectImporter() {
    *alive_ = false;
    for (auto& weak : tasks_)
        if (auto task = weak.lock()) task->cancel();
    queue_.reset();  // runs what is queued (each stops at once) and joins
}

std::string QELSoundEffectImporter::defaultTitle(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

bool QELSoundEffectImporter::hasSoundEffectNamed(const std::string& title) const {
    return QELRecordingSave::hasRecordingNamed(*env_.storage, env_.userCollectionBasePath, title);
}

std::optional<std::vector<uint8_t>> QELSoundEffectImporter::prepare(
    const std::string& path, const QELImportOptions& options,
    const std::function<bool(double)>& progress, QELImportResult& result) {
    using Code = QELImportResult::Code;
    const std::string file = std::filesystem::path(path).filename().string();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        result = errno == ENOENT
                     ? failure(Code::NotFound, "找不到文件“" + path + "”")
                     : failure(Code::Unreadable, "无法读取“" + file + "”：" + std::strerror(errno));
        return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) {
        result = failure(Code::IsDirectory, "“" + file + "”是文件夹，不是声音文件");
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK) != 0) {
        result = failure(Code::Unreadable, "无法读取“" + file + "”");
        return std::nullopt;
    }
    if (st.st_size == 0) {
        result = failure(Code::Empty, "“" + file + "”是空文件");
        return std::nullopt;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
        result = failure(Code::TooLarge, "“" + file + "”超过 200 MB，不能导入");
        return std::nullopt;
    }

    // Decoding is most of the work; the rest is a few passes over the samples.
    constexpr double kDecodeShare = 0.8;
    platform::DecodeOptions decode;
    decode.mixToMono = true;
    if (progress) decode.progress = [&](double done) { return progress(done * kDecodeShare); };
    platform::AudioError error;
    auto decoded = platform::decodeAudioFile(path, QELRecordingSave::kSampleRate, decode, &error);
    if (!decoded) {
        using E = platform::AudioError::Code;
        switch (error.code) {
            case E::Cancelled:
                result = failure(Code::Cancelled, "已取消导入“" + file + "”");
                break;
            case E::TooLong:
                result = failure(Code::TooLong, "“" + file + "”长于 10 分钟，不能导入");
                break;
            case E::FileUnreadable:
                result = failure(Code::Unreadable, "无法读取“" + file + "”");
                break;
            default:
                result = failure(Code::NotAudio,
                                 "“" + file + "”不是能导入的声音文件（" + error.message + "）");
        }
        return std::nullopt;
    }
    if (decoded->frames() == 0) {
        result = failure(Code::Empty, "“" + file + "”里没有声音");
        return std::nullopt;
    }
    platform::PcmBuffer pcm = *decoded;
    decoded.reset();

    result = {Code::Imported, {}, {}};
    float peak = 0;
    for (float s : pcm.samples) peak = std::max(peak, std::fabs(s));
    const bool silent = peak < std::pow(10.0, kTrimThresholdDb / 20.0);
    if (options.trimSilence && !silent) platform::trimSilence(pcm, kTrimThresholdDb);
    if (progress && !progress(0.9)) {
        result = failure(Code::Cancelled, "已取消导入“" + file + "”");
        return std::nullopt;
    }
    if (options.normalise) {
        const auto measure = platform::normaliseLoudness(pcm, options.loudnessTarget);
        if (!measure.measurable)
            result.message = "“" + file + "”几乎无声，测不出响度，已按原样导入";
    }
    auto bytes = QELRecordingSave::encodeWAV(pcm);
    if (progress && !progress(1.0)) {
        result = failure(Code::Cancelled, "已取消导入“" + file + "”");
        return std::nullopt;
    }
    return bytes;
}

std::shared_ptr<QELSoundEffectImporter::Task> QELSoundEffectImporter::importFile(
    const std::string& path, QELImportOptions options, Completion completion, Progress progress) {
    using Code = QELImportResult::Code;
    auto task = std::make_shared<Task>();
    std::erase_if(tasks_, [](const std::weak_ptr<Task>& t) { return t.expired(); });
    tasks_.push_back(task);
    std::weak_ptr<bool> alive = alive_;
    auto finish = [alive, completion](QELImportResult result) {
        platform::MainQueue::async([alive, completion, result = std::move(result)] {
            if (alive.lock() && *alive.lock() && completion) completion(result);
        });
    };
    if (options.title.empty()) options.title = defaultTitle(path);
    if (!QELRecordingSave::isAcceptableName(options.title) || options.title.empty()) {
        finish(
            {Code::InvalidName, options.title, QELSoundEffectMakeViewModel::kInvalidNameMessage});
        return task;
    }
    if (!options.replace && hasSoundEffectNamed(options.title)) {
        finish({Code::NameTaken, options.title, "已有同名音效“" + options.title + "”"});
        return task;
    }
    QELMySoundEffectStorage* storage = env_.storage;
    const std::string base = env_.userCollectionBasePath;
    queue_->async([task, path, options, base, storage, alive, progress, finish] {
        double shown = -1;
        auto report = [&](double done) {
            // A step of a hundredth at most reaches the main queue.
            if (progress && done - shown >= 0.01) {
                shown = done;
                platform::MainQueue::async([alive, progress, done] {
                    if (alive.lock() && *alive.lock()) progress(done);
                });
            }
            return !task->isCancelled();
        };
        QELImportResult result;
        auto bytes = prepare(path, options, report, result);
        result.title = options.title;
        if (!bytes) {
            if (result.code != Code::Cancelled) QEL_DEBUG_ERROR(result.message);
            finish(std::move(result));
            return;
        }
        // Imports run one at a time, so only the maker or another process
        // can have taken the name since it was checked.
        std::error_code ec;
        if (!options.replace &&
            std::filesystem::exists(base + QELRecordingSave::relativePath(options.title), ec)) {
            finish({Code::NameTaken, options.title, "已有同名音效“" + options.title + "”"});
            return;
        }
        std::string error;
        if (!QELRecordingSave::write(base, options.title, *bytes, &error)) {
            QEL_DEBUG_ERROR("import " + path + ": " + error);
            finish({Code::SaveFailed, options.title, "保存“" + options.title + "”失败：" + error});
            return;
        }
        // Added even if the importer has gone meanwhile: the file is there.
        platform::MainQueue::async([storage, result, completion = finish]() mutable {
            QELRecordingSave::addEntry(*storage, result.title);
            completion(std::move(result));
        });
    });
    return task;
}
