#pragma once

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace korvane {
}
using namespace korvane;

// Guards a test that hands a FIFO to code which must refuse it. Code that opens it for reading
// instead would block for ever; after the grace time the watchdog opens the other end, which lets
// such a reader go on (and read nothing), so the test fails on fired() instead of hanging.
class FifoWatchdog
{
public:
    explicit FifoWatchdog(const QString& fifoPath, std::chrono::milliseconds grace = std::chrono::seconds(5))
        : path(QFile::encodeName(fifoPath)), thread([this, grace] { run(grace); })
    {
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopped = true;
        }
        wake.notify_all();
        thread.join();
    }
    FifoWatchdog(const FifoWatchdog&) = delete;
    FifoWatchdog& operator=(const FifoWatchdog&) = delete;

    // Whether some reader had to be released.
    bool fired() const { return released; }

private:
    void run(std::chrono::milliseconds grace)
    {
        std::unique_lock<std::mutex> lock(mutex);
        if (wake.wait_for(lock, grace, [this] { return stopped; }))
            return;
        // Without a reader the non-blocking open fails; try until one shows up or the test ends.
        while (!stopped) {
            const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                ::close(fd);
                released = true;
            }
            wake.wait_for(lock, std::chrono::milliseconds(20), [this] { return stopped; });
        }
    }

    const QByteArray path;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopped = false;
    std::atomic<bool> released{false};
    std::thread thread;
};
