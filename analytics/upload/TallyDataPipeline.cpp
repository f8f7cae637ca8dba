#include "analytics/upload/TallyDataPipeline.h"

#include <chrono>
#include <cmath>
#include <filesystem>

#include "analytics/collect/TallyRuntime.h"
#include "analytics/collect/TallyUtility.h"
#include "analytics/crash/TallyUncaughtExceptionHandler.h"
#include "analytics/support/TallyLog.h"
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

bool TallyDataPipeline::readCacheFile(const std::string& path, TallyInternal& collector) {
    if (!fs::exists(path)) return false;
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
            return true;
        }
    }
    TLLog("WARNING cache file unreadable: %s", error.c_str());
    std::error_code ec;
    fs::remove(path, ec);
    return false;
}

TallyJournal& TallyDataPipeline::journal() {
    if (journal_) return *journal_;
    const std::string path = TallyUtility::journalFilePath(runtime_);
    // A process that ended without ending its session (a crash, a kill)
    // left what it had collected here.
    TallyJournal::Contents left = TallyJournal::read(path);
    TallyInternal& collector = runtime_.internal();
    collector.terminates.insert(collector.terminates.begin(), left.terminates.begin(),
                                left.terminates.end());
    collector.events.insert(collector.events.begin(), left.events.begin(), left.events.end());
    collector.ekv.insert(collector.ekv.begin(), left.ekv.begin(), left.ekv.end());
    collector.errors.insert(collector.errors.begin(), left.errors.begin(), left.errors.end());
    journal_ = std::make_unique<TallyJournal>(path);
    if (left.unended) {
        TLLog("session %s rebuilt from the journal", left.unended->session_id.c_str());
        journal_->recorded(*left.unended, runtime_.now());
        scheduleJournalFlush();
    }
    return *journal_;
}

void TallyDataPipeline::scheduleJournalFlush() {
    if (journalFlushPosted_) return;
    journalFlushPosted_ = true;
    // After the items already queued: one write for the whole turn.
    runtime_.runLoop().post([this, alive = std::weak_ptr<int>(alive_)] {
        if (!alive.lock()) return;
        journalFlushPosted_ = false;
        if (journal_) journal_->flush();
    });
}

void TallyDataPipeline::journalSessionBegan(const std::string& sessionId, double begin) {
    journal().sessionBegan(sessionId, begin, runtime_.now());
    scheduleJournalFlush();
}

void TallyDataPipeline::journalPage(const Value& item) {
    journal().pageLogged(item, runtime_.now());
    scheduleJournalFlush();
}

void TallyDataPipeline::journalRecord(const TLANBaseEvent& record) {
    journal().recorded(record, runtime_.now());
    scheduleJournalFlush();
}

void TallyDataPipeline::restartJournal() {
    TallyJournal& j = journal();
    TallyInternal& c = runtime_.internal();
    const double now = runtime_.now();
    j.discardBuffered();
    if (c.inSession()) j.sessionBegan(c.sessionID, runtime_.session().lastLaunchTime, now);
    for (const Value& page : c.pageItems) j.pageLogged(page, now);
    auto log = [&](const auto& records) {
        for (const auto& r : records) j.recorded(*r, now);
    };
    log(c.terminates);
    log(c.events);
    log(c.ekv);
    log(c.errors);
    log(c.temporary.events);
    log(c.temporary.ekv);
    log(c.temporary.errors);
    j.rewrite();
}

void TallyDataPipeline::loadCache(TallyInternal& collector) {
    journal();
    // Read once: until its records are in an envelope or saved again, they
    // are in memory and the file is their copy on disk.
    if (!cacheFileLoaded_) {
        cacheFileLoaded_ = readCacheFile(TallyUtility::cacheFilePath(runtime_), collector);
    }
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
            cacheFileLoaded_ = false;
            restartJournal();
        }
        // Otherwise kept in memory: better sent late than lost.
    }
    events_.saveCache();
    runtime_.config().setConfigure(Value(runtime_.app().appVersion()), "TLAppVersion");
}

bool TallyDataPipeline::makeEnvelopeFile() {
    const bool written = envelope_.makeEnvelopeData();
    const TallyInternal& c = runtime_.internal();
    // Written, or dropped as too large: either way no longer in memory.
    if (c.terminates.empty() && c.events.empty() && c.ekv.empty() && c.errors.empty()) {
        if (cacheFileLoaded_) {
            std::error_code ec;
            fs::remove(TallyUtility::cacheFilePath(runtime_), ec);
            cacheFileLoaded_ = false;
        }
        restartJournal();
    }
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
