// Reads arbitrary bytes as the service's Response. What reads must write
// and read back the same.
#include <cstdio>
#include <cstdlib>

#include "analytics/support/TallyLog.h"
#include "analytics/wire/TLPayloadBuild.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (setTallyLogSink([](const std::string&) {}), true);
    (void)quiet;
    const auto response = TLPayloadBuild::responseFromData(std::vector<uint8_t>(data, data + size));
    if (!response) return 0;
    const auto bytes = TLTSerialize(*response);
    if (TLTDeserialize<TLTResponse>(bytes) != *response) {
        std::fprintf(stderr, "round trip changed %s\n", response->description().c_str());
        std::abort();
    }
    if (response->imprint_isSet()) (void)response->imprint().checksumValid();
    return 0;
}
