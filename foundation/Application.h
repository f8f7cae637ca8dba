#pragma once

// Application life-cycle notifications. The host posts them on the default
// notification centre, on the main thread, as its windowing system reports
// the application's state; components that save or pause work observe them.
namespace platform {

inline constexpr const char* kApplicationDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
inline constexpr const char* kApplicationWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";
inline constexpr const char* kApplicationWillTerminateNotification =
    "UIApplicationWillTerminateNotification";

}  // namespace platform
