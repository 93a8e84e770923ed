#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// A phase of a benchmark measured in a child process of its own, so that
// its peak memory is its own: the child's peak resident size when it ends
// minus the size it had when the phase began (the program, what the parent
// had made before forking and what the setup made). The phase runs `runs`
// times; the time is the best of them (the first pays for fresh pages), the
// peak covers them all.
struct Measure
{
    double seconds = 0;
    long startKiB = 0;
    long peakKiB = 0;
    qint64 result = 0; // what the phase produced, so that it is not optimised away
    long grownKiB() const { return peakKiB - startKiB; }
};

inline long maxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

template<typename Setup, typename Phase> Measure inChild(Setup setup, Phase phase, int runs = 3)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        setup();
        Measure m;
        m.startKiB = maxRssKiB();
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            m.result = phase();
            const double seconds = double(timer.nsecsElapsed()) / 1e9;
            if (run == 0 || seconds < m.seconds)
                m.seconds = seconds;
        }
        m.peakKiB = maxRssKiB();
        [[maybe_unused]] const ssize_t written = write(fds[1], &m, sizeof m);
        _exit(0);
    }
    close(fds[1]);
    Measure m;
    if (read(fds[0], &m, sizeof m) != ssize_t(sizeof m))
        m = {};
    close(fds[0]);
    waitpid(child, nullptr, 0);
    return m;
}

template<typename Phase> Measure inChild(Phase phase)
{
    return inChild([] {}, phase);
}
