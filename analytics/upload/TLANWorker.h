#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TallyRuntime;
class TallyJob;

// The service's two endpoints: base URLs ("scheme://host[:port]"); posts
// go to their "/app_logs".
struct TLANEndpoints {
    std::string primary;
    std::string alternate;
};

// One upload job's work on the send queue: posts the envelope files,
// oldest first, and stops at the first that cannot be delivered.
class TLANWorker {
public:
    struct Response {
        long status = 0;
        std::string contentType;
        std::vector<uint8_t> body;
        std::string error;  // a transport error; empty when an answer came
    };

    TLANWorker(TallyRuntime& runtime, TallyJob& job, TLANEndpoints endpoints,
               std::vector<std::string> files);

    // Runs on the send queue; clears the job's running flag at the end.
    void main();

    enum class Outcome { Sent, Failed, DropAll };
    Outcome postFile(const std::string& path);

    // A synchronous POST of `body` to `url` with the SDK's headers.
    static Response post(const std::string& url, const std::vector<uint8_t>& body,
                         const std::vector<std::string>& headers);

private:
    std::vector<std::string> requestHeaders() const;
    void saveIdTracking();

    TallyRuntime& runtime_;
    TallyJob& job_;
    TLANEndpoints endpoints_;
    std::vector<std::string> files_;
};
