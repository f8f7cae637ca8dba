#include "analytics/upload/TLANWorker.h"

#include <curl/curl.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <mutex>

#include "analytics/collect/TallyRuntime.h"
#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyLog.h"
#include "analytics/upload/TallyJob.h"
#include "analytics/wire/TLPayloadBuild.h"
#include "foundation/Files.h"

using platform::Value;

namespace {

constexpr long kTimeoutSeconds = 30;

size_t appendBody(char* data, size_t size, size_t count, void* out) {
    auto* body = static_cast<std::vector<uint8_t>*>(out);
    body->insert(body->end(), data, data + size * count);
    return size * count;
}

std::string withPath(const std::string& base) {
    std::string url = base;
    while (!url.empty() && url.back() == '/') url.pop_back();
    return url.ends_with("/app_logs") ? url : url + "/app_logs";
}

}  // namespace

TLANWorker::TLANWorker(TallyRuntime& runtime, TallyJob& job, TLANEndpoints endpoints,
                       std::vector<std::string> files)
    : runtime_(runtime), job_(job), endpoints_(std::move(endpoints)), files_(std::move(files)) {}

TLANWorker::Response TLANWorker::post(const std::string& url, const std::vector<uint8_t>& body,
                                      const std::vector<std::string>& headers) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    Response response;
    CURL* curl = curl_easy_init();
    if (!curl) {
        response.error = "curl_easy_init failed";
        return response;
    }
    curl_slist* list = nullptr;
    for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    const CURLcode rc = curl_easy_perform(curl);
    if (rc != CURLE_OK) {
        response.error = error[0] ? error : curl_easy_strerror(rc);
    } else {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
        const char* type = nullptr;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
        if (type) response.contentType = type;
    }
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    return response;
}

std::vector<std::string> TLANWorker::requestHeaders() const {
    TallyApp& app = runtime_.app();
    const std::string sdk =
        TLFormat("%s/%s %s/%s %s/%s %s", "IOS", TallyApp::kSDKVersion,
                 TLANUtil::urlEncode(TLANUtil::displayName()).c_str(),
                 TLANUtil::urlEncode(app.appVersion()).c_str(), TLANUtil::deviceModel().c_str(),
                 TLANUtil::osVersion().c_str(), TLANUtil::md5(app.appid()).c_str());
    const auto nowMs = static_cast<long long>(std::llround(runtime_.now() * 1000));
    return {"Msg-Type: envelope/json",
            "Content-Type: envelope/json",
            "X-Tally-Sdk: " + sdk,
            TLFormat("X-Tally-UTC: %lld", nowMs),
            "Cache-Control: no-cache",
            "Pragma: no-cache",
            "Expect:"};
}

void TLANWorker::saveIdTracking() {
    TallyConfig& config = runtime_.config();
    const std::string id = runtime_.sharedUDID().value();
    const auto nowMs = static_cast<int64_t>(std::llround(runtime_.now() * 1000));
    TLTIdTracking tracking;
    if (const Value stored = config.configureWithKey("tlIDTracking"); stored.isData()) {
        try {
            tracking = TLTDeserialize<TLTIdTracking>(*stored.asData());
        } catch (const TLTException&) {
        }
    }
    auto snapshots = tracking.snapshots();
    auto journals = tracking.journals();
    auto it = snapshots.find("udid");
    if (it != snapshots.end() && it->second.identity() == id) return;
    if (it != snapshots.end()) {
        TLTIdJournal journal;
        journal.set_domain("udid");
        journal.set_old_id(it->second.identity());
        journal.set_new_id(id);
        journal.set_ts(nowMs);
        journals.push_back(std::move(journal));
        tracking.set_journals(std::move(journals));
    }
    TLTIdSnapshot snapshot;
    snapshot.set_identity(id);
    snapshot.set_ts(nowMs);
    snapshot.set_version(1);
    snapshots["udid"] = std::move(snapshot);
    tracking.set_snapshots(std::move(snapshots));
    config.setConfigure(Value(TLTSerialize(tracking)), "tlIDTracking");
}

TLANWorker::Outcome TLANWorker::postFile(const std::string& path) {
    const auto bytes = platform::readFile(path);
    if (!bytes) return Outcome::Sent;  // gone meanwhile: nothing left to send
    TallyConfig& config = runtime_.config();
    for (const std::string* endpoint : {&endpoints_.primary, &endpoints_.alternate}) {
        if (endpoint->empty()) continue;
        const auto started = std::chrono::steady_clock::now();
        const Response r = post(withPath(*endpoint), *bytes, requestHeaders());
        config.setConfigure(Value(runtime_.now()), "lastPostInterval");
        const auto spentMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - started)
                                 .count();
        const bool thrift = r.contentType.rfind("application/thrift", 0) == 0;
        if (r.error.empty() && r.status == 200 && thrift && !r.body.empty()) {
            const auto response = TLPayloadBuild::responseFromData(r.body);
            const bool ok = response && response->resp_code() == 1;
            if (ok) {
                saveIdTracking();
                if (response->imprint_isSet() && response->imprint().checksumValid()) {
                    job_.applyImprint(response->imprint());
                }
            }
            TLLog(ok ? "(Response Applog) {\"success\": \"ok\"}"
                     : "(Response Applog) {\"fail\": \"error\"}");
            std::error_code ec;
            std::filesystem::remove(path, ec);
            config.incrementRequest(ok, spentMs);
            return Outcome::Sent;
        }
        if (!r.error.empty()) {
            TLLog("(Error   Applog) %s", r.error.c_str());
        } else if (r.status != 200) {
            TLLog("(Response Applog) {\"fail\": \"statusCode\":%ld}", r.status);
        } else {
            TLLog("(Response Applog) {\"fail\": \"content type\":%s}", r.contentType.c_str());
        }
        config.incrementRequest(false, spentMs);
        // Under defcon the service's own refusal gives the job's data up; a
        // service that could not be reached said nothing, so the files wait.
        if (job_.defcon != 0 && r.error.empty()) return Outcome::DropAll;
    }
    return Outcome::Failed;
}

void TLANWorker::main() {
    for (size_t i = 0; i < files_.size(); ++i) {
        const Outcome outcome = postFile(files_[i]);
        if (outcome == Outcome::Sent) continue;
        TLLog("ERROR: post data failed!");
        if (outcome == Outcome::DropAll) {
            // The service asked for quiet: this job's data is given up.
            for (size_t j = i; j < files_.size(); ++j) {
                std::error_code ec;
                std::filesystem::remove(files_[j], ec);
            }
        }
        break;
    }
    job_.jobRunning = false;
    runtime_.app().endBackgroundTask();
}
