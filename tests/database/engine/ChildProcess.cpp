#include "tests/database/engine/ChildProcess.h"

#include <csignal>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace quorvalis::test
{

GChildProcess::GChildProcess(const std::function<void()>& body)
{
    pid_ = ::fork();
    if (pid_ == 0)
    {
        int code = 0;
        try
        {
            body();
        }
        catch (...)
        {
            code = 3;
        }
        ::_exit(code);
    }
}

GChildProcess::GChildProcess(GChildProcess&& other) noexcept : pid_(other.pid_)
{
    other.pid_ = -1;
}

GChildProcess::~GChildProcess()
{
    if (pid_ > 0)
        Wait();
}

void GChildProcess::Kill()
{
    if (pid_ > 0)
        ::kill(pid_, SIGKILL);
}

int GChildProcess::Wait()
{
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

bool KillDuringFlush(const std::function<void(const std::function<void()>& flushing)>& work,
                     std::chrono::milliseconds delay)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return false;
    GChildProcess child(
        [&]
        {
            ::close(pipe[0]);
            work([&] { (void)::write(pipe[1], "F", 1); });
        });
    ::close(pipe[1]);
    char flag = 0;
    const bool reached = ::read(pipe[0], &flag, 1) == 1;
    ::close(pipe[0]);
    if (reached)
        std::this_thread::sleep_for(delay);
    child.Kill();
    child.Wait();
    return reached;
}

} // namespace quorvalis::test
