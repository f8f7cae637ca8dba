#include "analytics/upload/TallyJob.h"

#include "analytics/collect/TallyRuntime.h"
#include "analytics/device/TLANProtocolData.h"
#include "analytics/support/TallyLog.h"

using platform::Value;

namespace {

int normalisedPolicy(int64_t policy, bool integratedTest) {
    switch (policy) {
        case TallyJob::kPolicyBatch:
        case TallyJob::kPolicyInterval:
        case TallyJob::kPolicySmart:
            return static_cast<int>(policy);
        case TallyJob::kPolicyRealTime:
            return integratedTest ? TallyJob::kPolicyRealTime : TallyJob::kPolicyBatch;
        default:
            return TallyJob::kPolicyBatch;
    }
}

std::optional<int64_t> number(const std::optional<std::string>& text) {
    if (!text || text->empty()) return std::nullopt;
    try {
        size_t used = 0;
        const long long v = std::stoll(*text, &used);
        if (used != text->size()) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

TallyJob::TallyJob(TallyRuntime& runtime)
    : networkAvailable([] { return TLANProtocolData::access() != TLANProtocolData::Access::None; }),
      runtime_(runtime) {
    defcon = static_cast<int>(runtime.config().integerWithKey("tlDefcon").value_or(0));
}

std::optional<TLTImprint> TallyJob::storedImprint() const {
    const Value stored = runtime_.config().configureWithKey("tlImprint");
    if (!stored.isData()) return std::nullopt;
    try {
        return TLTDeserialize<TLTImprint>(*stored.asData());
    } catch (const TLTException& e) {
        TLLog("Exception occurred: %s, %s", e.name().c_str(), e.what());
        return std::nullopt;
    }
}

std::optional<std::string> TallyJob::imprintValue(const std::string& key) const {
    auto imprint = storedImprint();
    return imprint ? imprint->valueForKey(key) : std::nullopt;
}

bool TallyJob::integratedTestMode() const {
    return imprintValue("integrated_test") == "1";
}

int TallyJob::reportPolicy() const {
    TallyConfig& config = runtime_.config();
    const bool integrated = integratedTestMode();
    std::optional<int64_t> policy;
    if (!integrated) policy = config.integerWithKey("tlExperimentRPT");
    if (!policy) policy = number(imprintValue("report_policy"));
    if (!policy) policy = config.integerWithKey("tlcReportPolicy");
    if (!policy) policy = runtime_.app().reportPolicy.load();
    return normalisedPolicy(*policy, integrated);
}

int64_t TallyJob::sendInterval() const {
    TallyConfig& config = runtime_.config();
    std::optional<int64_t> interval;
    if (!integratedTestMode() && config.integerWithKey("tlExperimentRPT") == kPolicyInterval) {
        interval = number(config.stringWithKey("test_report_interval"));
    }
    if (!interval) interval = number(imprintValue("report_interval"));
    if (!interval) interval = config.integerWithKey("tlcReportInterval");
    if (!interval || *interval > 86'400 || *interval < 90) interval = 90;
    return *interval;
}

double TallyJob::secondsSinceLastPost() const {
    const auto last = runtime_.config().configureWithKey("lastPostInterval").asReal();
    if (!last) return -1;
    return runtime_.now() - *last;
}

bool TallyJob::shouldStartJob(int reason) {
    TallySession& session = runtime_.session();
    if (session.sessionStatus == TallySession::kNeverStarted || jobRunning) return false;
    const double e = secondsSinceLastPost();
    static constexpr double kDefconWait[] = {0, 14'400, 28'800, 86'400};
    const int level = defcon;
    if (e > 0 && level >= 1 && level <= 3 && e < kDefconWait[level]) return false;
    if (session.appBeKilling) {
        TLLog("check commit job=NO due to appbekilling");
        return false;
    }
    if (!networkAvailable()) {
        TLLog("check commit job=NO due to no network");
        return false;
    }
    const bool background = session.appInBackGround;
    switch (reportPolicy()) {
        case kPolicyRealTime:
            return e < 0 || e > 15;
        case kPolicySmart:
            return background || e < 0 || e > 93'600;
        case kPolicyInterval:
            return e < 0 || e > static_cast<double>(sendInterval()) || background;
        default:
            return reason == 0;
    }
}

void TallyJob::applyImprint(const TLTImprint& imprint) {
    TallyConfig& config = runtime_.config();
    config.setConfigure(Value(TLTSerialize(imprint)), "tlImprint");
    const auto level = number(imprint.valueForKey("defcon"));
    if (level && *level != 0) {
        config.setConfigure(Value(*level), "tlDefcon");
        defcon = static_cast<int>(*level);
    } else {
        config.removeConfigureWithKey("tlDefcon");
        defcon = 0;
    }
    for (const char* key : {"client_test", "tlExperimentGroupInfo", "tlExperimentRPT",
                            "tlExperimentDOM", "test_report_interval", "report_interval"}) {
        auto value = imprint.valueForKey(key);
        if (!value) continue;
        if (std::string_view(key) == "tlExperimentRPT") {
            if (auto n = number(value)) config.setConfigure(Value(*n), key);
        } else {
            config.setConfigure(Value(*value), key);
        }
    }
}
