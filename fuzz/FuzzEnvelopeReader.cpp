// Reads arbitrary bytes as an envelope file and opens its entity. The
// checksum is made to match, so decryption and inflation are reached too.
#include <cstdio>
#include <cstdlib>

#include "analytics/support/TallyLog.h"
#include "analytics/wire/TallyEnvelope.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (setTallyLogSink([](const std::string&) {}), true);
    (void)quiet;
    auto envelope = TallyEnvelope::readEnvelope(std::vector<uint8_t>(data, data + size));
    if (!envelope) return 0;
    envelope->set_checksum(
        TallyEnvelope::envelopeChecksum(envelope->signature(), envelope->serial_num(),
                                        envelope->ts_secs(), envelope->length(), envelope->guid()));
    const auto payload = TallyEnvelope::openEntity(*envelope);
    if (payload && payload->size() != static_cast<size_t>(envelope->length())) {
        std::fprintf(stderr, "payload of %zu bytes, envelope says %d\n", payload->size(),
                     envelope->length());
        std::abort();
    }
    return 0;
}
