#pragma once

#include "cellregister/cell_register.h"
#include "cellregister/location.h"
#include "core/error.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

// The register is down (damaged, gone, unreadable, its server away) and is being waited on.
// Its message is the same for everyone and names no file, user or socket: it is shown to
// anyone who can reach the pages.
CORE_DECLARE_ERROR(ERegisterDown);

namespace labview {

// How a worker waits on a register that cannot be opened: the first retry soon, each next one
// later, up to the longest wait, so that a register that comes back is seen within that.
struct Backoff {
    std::chrono::milliseconds first{100};
    std::chrono::milliseconds longest{3'000};
    // The wait after `failures` failed opens in a row (1 or more).
    std::chrono::milliseconds after(int failures) const;
};

// One connection to the register on a thread of its own, that jobs run on in turn: a
// connection belongs to the thread that opened it. A register that fails is closed and
// opened again on the backoff's schedule only, never once per job: meanwhile jobs fail at
// once with ERegisterDown. A SQLite file replaced under it (a restore) is opened afresh.
class RegisterWorker {
public:
    struct Options {
        cellregister::Location location;
        int lockWaitMilliseconds = 2'000;
        // Polls the register for other programs' writes and calls changed() on each, and on
        // every reopen; without it the worker only runs jobs.
        std::function<void()> changed;
        Backoff backoff;
        std::chrono::milliseconds poll{250};
    };
    // Opens the register first: raises ERegisterFault, with the register's name, when it
    // cannot be opened now.
    explicit RegisterWorker(Options options);
    ~RegisterWorker();
    RegisterWorker(const RegisterWorker &) = delete;
    RegisterWorker &operator=(const RegisterWorker &) = delete;

    // Runs f on the worker's thread and returns what it returns or raises what it raises.
    template <typename F>
    auto run(F f) -> decltype(f(std::declval<cellregister::CellRegister &>()));

    // Looks for other connections' writes now rather than at the next poll, and returns once
    // changed() has been called for them: a write of this program's own through another
    // worker is then told once, at once, and not again by the next poll.
    void lookNow()
    {
        run([this](cellregister::CellRegister &) {
            if (options_.changed)
                poll();
            return 0;
        });
    }

private:
    using Job = std::function<void(cellregister::CellRegister *)>;
    void post(Job job);
    void loop(std::promise<void> &opened);
    bool tryOpen();
    void remember(); // which file is open
    void drop(std::chrono::steady_clock::time_point retryAt);
    void poll();
    // Whether a job's fault may be the register gone bad rather than the request's own.
    void jobFailed();

    Options options_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Job> jobs_;
    bool stop_ = false;

    // The worker thread's alone.
    std::unique_ptr<cellregister::CellRegister> register_;
    bool suspect_ = false;
    int failures_ = 0;
    std::chrono::steady_clock::time_point nextOpen_, nextPoll_;
    unsigned long long device_ = 0, inode_ = 0;
    struct Written {
        long long seconds = 0, nanoseconds = 0, size = 0;
        bool operator==(const Written &) const = default;
    } written_;
    QString lastVersion_;
};

template <typename F>
auto RegisterWorker::run(F f) -> decltype(f(std::declval<cellregister::CellRegister &>()))
{
    using Result = decltype(f(std::declval<cellregister::CellRegister &>()));
    auto task = std::make_shared<std::packaged_task<Result(cellregister::CellRegister *)>>(
        [this, f = std::move(f)](cellregister::CellRegister *r) -> Result {
            if (!r)
                throw ERegisterDown(QString());
            try {
                return f(*r);
            } catch (const ERegisterFault &) {
                jobFailed();
                throw;
            }
        });
    auto result = task->get_future();
    post([task](cellregister::CellRegister *r) { (*task)(r); });
    return result.get();
}

} // namespace labview
