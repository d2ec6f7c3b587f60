// Connecting to the test display. A busy Xvfb refuses a connection now and
// then while its listen queue is full (the connect fails with EAGAIN, or the
// server resets it), so a test program that started while many others did
// would report "no display" although the server is up. A connection that
// fails is tried again for a while; without DISPLAY, or with a display that
// never answers, it still fails.
//
//     KsnConnectToTheTestDisplay([&] { return (display = XOpenDisplay(nullptr)) != nullptr; });
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

// Calls connect() until it returns true; false when there is no display to
// wait for or the display kept refusing for half a minute.
template <class TConnect>
bool KsnConnectToTheTestDisplay(TConnect connect)
{
    using TClock = std::chrono::steady_clock;
    const auto end = TClock::now() + std::chrono::seconds(30);
    auto pause = std::chrono::milliseconds(5);
    for (;;) {
        if (connect()) return true;
        const char* name = std::getenv("DISPLAY");
        if (!name || !*name || TClock::now() >= end) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(200));
    }
}
