#pragma once

#include <memory>
#include <string>

#include "analytics/api/Tally.h"

// Event ids the program sends.
inline constexpr const char* kEventClickTab = "click_tab";
inline constexpr const char* kEventPlaySound = "playSound";
inline constexpr const char* kEventPlayFavorite = "playFavorite";
inline constexpr const char* kEventAddFavorite = "addFavorite";
inline constexpr const char* kEventRecordSound = "record_sound";
inline constexpr const char* kEventMakeSound = "makeSound";
inline constexpr const char* kEventClickSoundEffect = "click_sound_effect";

// Where the program's usage statistics go: the analytics SDK, or a
// recorder that tests put in its place.
class QELStatisticsSink {
public:
    virtual ~QELStatisticsSink() = default;
    virtual void event(const std::string& eventId) { Tally::event(eventId); }
    virtual void event(const std::string& eventId, const Tally::Attributes& attributes) {
        Tally::event(eventId, attributes);
    }
    virtual void beginLogPageView(const std::string& pageName) {
        Tally::beginLogPageView(pageName);
    }
    virtual void endLogPageView(const std::string& pageName) { Tally::endLogPageView(pageName); }

    static QELStatisticsSink& shared();
    // Replaces the shared sink (null: back to the analytics SDK).
    static void setShared(std::shared_ptr<QELStatisticsSink> sink);
};

// Installs, once per process, the control hook (a logging action after every
// addTarget for a logged event) and the page-view hook (begin and end after
// the base appearance calls). The application installs them at launch,
// before any control exists.
void installStatisticsHooks();

// Configures and starts the analytics SDK with the program's key and
// channel and the application's version.
void setupStatistics();

// The application key and channel the program reports under.
inline constexpr const char* kStatisticsAppKey = "5f8e2a91c3d74b06e1a9c2d7";
inline constexpr const char* kStatisticsChannel = "App Store";
