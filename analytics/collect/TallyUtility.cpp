#include "analytics/collect/TallyUtility.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

#include "analytics/collect/TallyRuntime.h"
#include "analytics/device/TLANUtil.h"
#include "analytics/support/TallyLog.h"
#include "foundation/Files.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kEnvelopeSuffix = "_envelope.log";

}  // namespace

std::string TallyUtility::tallyDirectory(TallyRuntime& runtime) {
    const std::string dir = runtime.tallyDirectory();
    std::string error;
    if (!platform::createDirectories(dir, &error))
        TLLog("ERROR create dir %s: %s", dir.c_str(), error.c_str());
    return dir;
}

std::string TallyUtility::cacheFilePath(TallyRuntime& runtime) {
    return tallyDirectory(runtime) + "/." + TLANUtil::packageName() + "_tallyCache.plist";
}

std::string TallyUtility::journalFilePath(TallyRuntime& runtime) {
    return tallyDirectory(runtime) + "/." + TLANUtil::packageName() + "_tallyJournal.log";
}

std::string TallyUtility::databasePath(TallyRuntime& runtime) {
    return tallyDirectory(runtime) + "/cache.db";
}

std::string TallyUtility::exchangeIdentityPath(TallyRuntime& runtime) {
    return tallyDirectory(runtime) + "/exchangeIdentity.json";
}

std::string TallyUtility::crashRecordPath(TallyRuntime& runtime) {
    return tallyDirectory(runtime) + "/crash.record";
}

std::vector<TallyUtility::EnvelopeFile> TallyUtility::envelopeFiles(TallyRuntime& runtime) {
    std::vector<EnvelopeFile> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(tallyDirectory(runtime), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= kEnvelopeSuffix.size() || !name.ends_with(kEnvelopeSuffix)) continue;
        EnvelopeFile file{entry.path().string(), 0};
        const char* end = name.data() + name.size() - kEnvelopeSuffix.size();
        std::from_chars(name.data(), end, file.createdMs);
        files.push_back(std::move(file));
    }
    std::sort(files.begin(), files.end(), [](const EnvelopeFile& a, const EnvelopeFile& b) {
        return a.createdMs != b.createdMs ? a.createdMs < b.createdMs : a.path < b.path;
    });
    return files;
}

std::string TallyUtility::writeEnvelopeFile(TallyRuntime& runtime, int64_t nowMs,
                                            const std::vector<uint8_t>& bytes) {
    const std::string dir = tallyDirectory(runtime);
    // Two envelopes in one millisecond must not overwrite each other.
    std::string path;
    std::error_code ec;
    for (int64_t ms = nowMs;; ++ms) {
        path = dir + TLFormat("/%lld", static_cast<long long>(ms)) + std::string(kEnvelopeSuffix);
        if (!fs::exists(path, ec)) break;
    }
    std::string error;
    if (!platform::writeFileAtomically(path, bytes, &error)) {
        TLLog("ERROR write envelope file %s: %s", path.c_str(), error.c_str());
        return {};
    }
    return path;
}
