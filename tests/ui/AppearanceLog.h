#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/platform/ViewController.h"

namespace uitest {

// A screen that writes its appearance calls ("A+" will appear, "A!" did
// appear, "A-" will disappear, "A." did disappear) into a shared log.
class LoggingController : public platform::ViewController {
public:
    LoggingController(std::string name, std::shared_ptr<std::vector<std::string>> log)
        : name_(std::move(name)), log_(std::move(log)) {}
    void viewWillAppear(bool animated) override {
        ViewController::viewWillAppear(animated);
        log_->push_back(name_ + "+");
    }
    void viewDidAppear(bool animated) override {
        ViewController::viewDidAppear(animated);
        log_->push_back(name_ + "!");
    }
    void viewWillDisappear(bool animated) override {
        ViewController::viewWillDisappear(animated);
        log_->push_back(name_ + "-");
    }
    void viewDidDisappear(bool animated) override {
        ViewController::viewDidDisappear(animated);
        log_->push_back(name_ + ".");
    }
    std::string pageName() const override { return name_; }

private:
    std::string name_;
    std::shared_ptr<std::vector<std::string>> log_;
};

// Takes what the log holds so far.
inline std::vector<std::string> take(std::vector<std::string>& log) {
    return std::exchange(log, {});
}

}  // namespace uitest
