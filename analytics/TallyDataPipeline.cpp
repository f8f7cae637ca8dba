#include "analytics/TallyDataPipeline.h"

#include <chrono>
#include <cmath>
#include <filesystem>

#include "analytics/TallyLog.h"
#include "analytics/TallyRuntime.h"
#include "analytics/TallyUncaughtExceptionHandler.h"
#include "analytics/TallyUtility.h"
#include "foundation/KeyedArchive.h"
#include "foundation/PropertyList.h"

using platform::Value;
namespace fs = std::filesystem;

namespace {

template <class T>
Value::Array archived(const std::vector<std::shared_ptr<T>>& records) {
    return Value::Array(records.begin(), records.end());
}

// The cache comes before what was recorded since.
template <class T>
void restore(const Value::Dictionary& body, const char* key, std::vector<std::shared_ptr<T>>& to) {
    auto it = body.find(key);
    if (it == body.end() || !it->second.isArray()) return;
    std::vector<std::shared_ptr<T>> cached;
    for (const Value& item : *it->second.asArray()) {
        if (auto record = item.asObject<T>()) cached.push_back(std::const_pointer_cast<T>(record));
    }
    to.insert(to.begin(), cached.begin(), cached.end());
}

}  // namespace

TallyDataPipeline::TallyDataPipeline(TallyRuntime& runtime)
    : runtime_(runtime), events_(runtime), envelope_(runtime, events_), job_(runtime) {}

TallyDataPipeline::~TallyDataPipeline() {
    sendQueue_.waitUntilIdle();
}

bool TallyDataPipeline::writeCacheFile(const std::string& path, TallyInternal& collector) {
    // Records made outside a session go into the cache as well.
    auto events = collector.events;
    auto errors = collector.errors;
    auto ekv = collector.ekv;
    events.insert(events.end(), collector.temporary.events.begin(),
                  collector.temporary.events.end());
    errors.insert(errors.end(), collector.temporary.errors.begin(),
                  collector.temporary.errors.end());
    ekv.insert(ekv.end(), collector.temporary.ekv.begin(), collector.temporary.ekv.end());
    const Value::Dictionary body{{"terminates", Value(archived(collector.terminates))},
                                 {"events", Value(archived(events))},
                                 {"ekv", Value(archived(ekv))},
                                 {"errors", Value(archived(errors))}};
    std::string error;
    const auto data = platform::KeyedArchiver::archivedDataWithRootObject(Value(body), &error);
    if (data &&
        platform::PropertyList::writeFile(path, Value(Value::Dictionary{{"body", Value(*data)}}),
                                          platform::PropertyList::Format::Binary, &error)) {
        return true;
    }
    TLLog("ERROR save cache file: %s", error.c_str());
    return false;
}

void TallyDataPipeline::readCacheFile(const std::string& path, TallyInternal& collector) {
    if (!fs::exists(path)) return;
    std::string error;
    const auto plist = platform::PropertyList::readFile(path, &error);
    const Value* body = plist ? plist->find("body") : nullptr;
    if (body && body->isData()) {
        const auto unarchived = platform::KeyedUnarchiver::unarchiveObjectWithData(
            *body->asData(), TLANBaseEvent::archiveClasses(), &error);
        if (unarchived && unarchived->isDictionary()) {
            const auto& d = *unarchived->asDictionary();
            restore(d, "terminates", collector.terminates);
            restore(d, "events", collector.events);
            restore(d, "ekv", collector.ekv);
            restore(d, "errors", collector.errors);
        }
    } else {
        TLLog("WARNING cache file unreadable: %s", error.c_str());
    }
    std::error_code ec;
    fs::remove(path, ec);
}

void TallyDataPipeline::removeCheckpoint() {
    std::error_code ec;
    fs::remove(TallyUtility::checkpointFilePath(runtime_), ec);
}

void TallyDataPipeline::scheduleCheckpoint() {
    runtime_.runLoop().postAfter(
        std::chrono::seconds(kCheckpointSeconds), [this, alive = std::weak_ptr<int>(alive_)] {
            if (!alive.lock()) return;
            TallyInternal& collector = runtime_.internal();
            if (collector.hasPendingData()) {
                writeCacheFile(TallyUtility::checkpointFilePath(runtime_), collector);
            } else {
                removeCheckpoint();
            }
            scheduleCheckpoint();
        });
}

void TallyDataPipeline::loadCache(TallyInternal& collector) {
    if (!checkpointing_) {
        // A process that ended without ending its session (a crash, a kill)
        // left its data here.
        checkpointing_ = true;
        readCacheFile(TallyUtility::checkpointFilePath(runtime_), collector);
        scheduleCheckpoint();
    }
    readCacheFile(TallyUtility::cacheFilePath(runtime_), collector);
    events_.start();
}

void TallyDataPipeline::saveAndCleanCache(TallyInternal& collector) {
    if (collector.hasPendingData() && !runtime_.app().appid().empty()) {
        if (writeCacheFile(TallyUtility::cacheFilePath(runtime_), collector)) {
            collector.terminates.clear();
            collector.events.clear();
            collector.ekv.clear();
            collector.errors.clear();
            collector.temporary = {};
            removeCheckpoint();
        }
        // Otherwise kept in memory: better sent late than lost.
    }
    events_.saveCache();
    runtime_.config().setConfigure(Value(runtime_.app().appVersion()), "TLAppVersion");
}

bool TallyDataPipeline::makeEnvelopeFile() {
    const bool written = envelope_.makeEnvelopeData();
    if (written) removeCheckpoint();
    return written;
}

bool TallyDataPipeline::makeEnvelope(TallyInternal&) {
    return makeEnvelopeFile();
}

void TallyDataPipeline::preparePerformJob(TallyInternal&, int reason) {
    if (job_.shouldStartJob(reason)) beginPerformJob();
}

void TallyDataPipeline::aggregate(const Value::Dictionary& keyPath, int64_t timeMs) {
    std::vector<std::string> path;
    int64_t value = 0;
    std::string label;
    if (auto it = keyPath.find("ccKeyPath"); it != keyPath.end() && it->second.isArray()) {
        for (const Value& item : *it->second.asArray()) {
            if (auto* s = item.asString()) path.push_back(*s);
        }
    }
    if (auto it = keyPath.find("ccValue"); it != keyPath.end()) {
        value = it->second.asInteger().value_or(0);
    }
    if (auto it = keyPath.find("ccLabel"); it != keyPath.end() && it->second.isString()) {
        label = *it->second.asString();
    }
    events_.aggregate(path, value, timeMs, label);
}

void TallyDataPipeline::setCrashReportEnabled(bool enabled) {
    if (!enabled) {
        TallyUncaughtExceptionHandler::uninstall();
        return;
    }
    const std::string recordPath = TallyUtility::crashRecordPath(runtime_);
    auto crash = TallyUncaughtExceptionHandler::takeRecord(recordPath);
    TallyUncaughtExceptionHandler::install(recordPath);
    if (!crash) return;
    auto error = std::make_shared<TLANError>();
    error->ts = crash->ts;
    error->context = crash->context;
    Value::Dictionary info{{"binary_uuid", Value(crash->binaryUUID)},
                           {"cpu_arch", Value(crash->cpuArch)},
                           {"slide_address", Value(crash->slideAddress)},
                           {"image_name", Value(crash->imageName)},
                           {"image_base_address", Value(crash->imageBaseAddress)}};
    runtime_.onMain(
        [this, info = std::move(info)] { runtime_.internal().error_support_info = info; });
    runtime_.dispatch().send(Value(std::move(error)), kTLDispatchError);
}

std::vector<std::string> TallyDataPipeline::validatedEnvelopeFiles() {
    std::vector<std::string> kept;
    int64_t dropped = 0;
    const auto nowMs = static_cast<int64_t>(std::llround(runtime_.now() * 1000));
    for (const auto& file : TallyUtility::envelopeFiles(runtime_)) {
        std::error_code ec;
        const auto size = fs::file_size(file.path, ec);
        if (ec) {
            ++dropped;
            continue;
        }
        const auto bytes = static_cast<int64_t>(size);
        if (bytes >= kMaxEnvelopeBytes || bytes <= kMinEnvelopeBytes ||
            nowMs - file.createdMs > kMaxEnvelopeAgeMs) {
            fs::remove(file.path, ec);
            ++dropped;
            continue;
        }
        kept.push_back(file.path);
    }
    if (dropped > 0) events_.recordMeta("__evp_file_of", dropped, "envelop_file_count_or_date_out");
    return kept;
}

bool TallyDataPipeline::beginPerformJob() {
    const TLANEndpoints endpoints{runtime_.app().primaryURL(), runtime_.app().alternateURL()};
    const bool noEndpoint = endpoints.primary.empty() && endpoints.alternate.empty();
    auto files = validatedEnvelopeFiles();
    if (!runtime_.app().appid().empty()) {
        const bool activationPending = runtime_.config().configureWithKey("tlActivateMsg").isNull();
        // With nowhere to send them, the records go into envelopes all the
        // same, so the newest ten envelopes bound what is kept.
        if (noEndpoint
                ? runtime_.internal().hasPendingData()
                : files.empty() && (runtime_.internal().hasPendingData() || activationPending)) {
            makeEnvelopeFile();
            files = validatedEnvelopeFiles();
        }
    }
    if (files.empty()) return false;
    if (files.size() > kMaxEnvelopeFiles) {
        const size_t excess = files.size() - kMaxEnvelopeFiles;
        events_.recordMeta("__evp_file_of", static_cast<int64_t>(excess), "envelop_file_count_out");
        for (size_t i = 0; i < excess; ++i) {
            std::error_code ec;
            fs::remove(files[i], ec);
        }
        files.erase(files.begin(), files.begin() + static_cast<std::ptrdiff_t>(excess));
    }
    if (noEndpoint) {
        TLLog("no analytics endpoint: %zu envelope files kept", files.size());
        return false;
    }
    TLLog("prepare to post log data");
    job_.jobRunning = true;
    auto worker = std::make_shared<TLANWorker>(runtime_, job_, endpoints, std::move(files));
    sendQueue_.async([worker, &runtime = runtime_] {
        worker->main();
        // Wakes the main loop so waiters see the job end.
        runtime.onMain([] {});
    });
    return true;
}
