// Child processes for the tests that kill a writer in the middle of its flush or run writers side
// by side: forked, so that the child shares the test's set-up but never its test machinery.
#pragma once

#include <chrono>
#include <functional>

namespace quorvalis::test
{

/// A forked child process; the child ends with _exit (0 when body returned, 3 when it raised).
/// No store may be open in the parent when it is started.
class GChildProcess
{
public:
    explicit GChildProcess(const std::function<void()>& body);
    /// Waits for a child not waited for yet.
    ~GChildProcess();
    GChildProcess(const GChildProcess&) = delete;
    GChildProcess& operator=(const GChildProcess&) = delete;
    GChildProcess(GChildProcess&& other) noexcept;
    GChildProcess& operator=(GChildProcess&&) = delete;

    /// Ends the child at once (SIGKILL).
    void Kill();
    /// The exit code, or minus the signal that ended the child.
    int Wait();

private:
    int pid_ = -1;
};

/// Runs work in a child and kills it (SIGKILL) delay after it calls its argument, which it does
/// just before its flush; waits for the child. False when the child ended without calling it.
bool KillDuringFlush(const std::function<void(const std::function<void()>& flushing)>& work,
                     std::chrono::milliseconds delay);

} // namespace quorvalis::test
