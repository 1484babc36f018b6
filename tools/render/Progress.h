// A progress bar on stderr for renders that take a while: it appears only
// once a render has run for a second, only on a terminal, and redraws at most
// ten times a second. Used by the rendering thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace tam::render {

class Progress
{
public:
    static constexpr std::chrono::milliseconds showAfter{1000};
    static constexpr std::chrono::milliseconds redrawEvery{100};
    static constexpr int barWidth = 40;

    /// `enabled` false draws nothing (quiet, or stderr is not a terminal).
    Progress(std::int64_t totalFrames, double sampleRate, bool enabled);
    /// Clears the bar if one was drawn.
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(std::int64_t framesDone);
    /// Removes the bar from the terminal line.
    void clear();

    /// Whether stderr is a terminal.
    static bool stderrIsTerminal();

private:
    void draw(std::int64_t framesDone);

    std::int64_t total;
    double rate;
    bool enabled;
    bool drawn = false;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastDraw;
};

} // namespace tam::render
