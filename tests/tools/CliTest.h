#pragma once

// quellio-cli and sox run through the shell for the command tests.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "support/TestSupport.h"

namespace clitest {

// Runs quellio-cli with `env` before it and `options` after the run's
// arguments; keeps its status and what it printed on stdout (and stderr
// when `stderrTo` is "&1").
struct Cli {
    explicit Cli(std::string env = "", std::string options = "")
        : env(std::move(env)), options(std::move(options)) {}

    std::string env;
    std::string options;
    std::string stderrTo = "/dev/null";
    int rc = 0;
    std::string out;

    Cli& operator()(const std::string& args, const std::string& runEnv = "") {
        out.clear();
        rc = testsupport::run(runEnv + " " + env + " " QUELLIO_CLI " " + args + " " + options +
                                  " 2>" + stderrTo,
                              &out);
        return *this;
    }
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

inline void sox(const std::string& args) {
    std::string out;
    ASSERT_EQ(testsupport::run("sox " + args + " 2>&1", &out), 0) << args << "\n" << out;
}

}  // namespace clitest
