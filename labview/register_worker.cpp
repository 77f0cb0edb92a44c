#include "labview/register_worker.h"

#include "cellregister/errors.h"

#include <QFile>

#include <sys/stat.h>

namespace labview {

std::chrono::milliseconds Backoff::after(int failures) const
{
    std::chrono::milliseconds wait = first;
    for (int i = 1; i < failures && wait < longest; ++i)
        wait *= 2;
    return std::min(wait, longest);
}

RegisterWorker::RegisterWorker(Options options) : options_(std::move(options))
{
    std::promise<void> opened;
    thread_ = std::thread([this, &opened] { loop(opened); });
    try {
        opened.get_future().get();
    } catch (...) {
        thread_.join();
        throw;
    }
}

RegisterWorker::~RegisterWorker()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    ready_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void RegisterWorker::post(Job job)
{
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    ready_.notify_one();
}

void RegisterWorker::jobFailed()
{
    suspect_ = true; // perhaps a server gone or a file damaged: looked at before the next job
}

bool RegisterWorker::tryOpen()
{
    try {
        register_ = std::make_unique<cellregister::CellRegister>(
            options_.location, options_.lockWaitMilliseconds, cellregister::Opening::MustExist);
    } catch (const core::Error &) {
        register_.reset();
        ++failures_;
        nextOpen_ = std::chrono::steady_clock::now() + options_.backoff.after(failures_);
        return false;
    }
    lastVersion_.clear();
    remember();
    poll(); // where writes are counted from
    if (!register_)
        return false; // opened but not readable: still on the backoff's schedule
    failures_ = 0;
    // What was read before may be another register's now.
    if (options_.changed)
        options_.changed();
    return true;
}

void RegisterWorker::remember()
{
    struct stat st { };
    if (!options_.location.postgres
        && ::stat(QFile::encodeName(options_.location.path).constData(), &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
        written_ = {st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size};
    }
}

void RegisterWorker::drop(std::chrono::steady_clock::time_point retryAt)
{
    register_.reset();
    nextOpen_ = retryAt;
    // What was read from it is not shown as if it were still there.
    if (options_.changed)
        options_.changed();
}

// Cheap looks between jobs. A SQLite file put back in the register's place is another file:
// the connection would go on reading the removed one for ever. A file written by anything
// but SQLite's own commits (which move the data version, not the file) may have been
// overwritten, and the connection would go on answering from its cache: opened afresh, the
// file is read from its header on (SQLite's own checkpoints cost a reopen too, rarely). Then a
// number that moves with every write: SQLite's data version of this connection moves when any other
// connection commits (this one's own writes are told by the actions); PostgreSQL's next transaction
// id moves only when a transaction writes (reads take none). Neither scans the register.
void RegisterWorker::poll()
{
    const auto now = std::chrono::steady_clock::now();
    if (!options_.location.postgres) {
        struct stat st { };
        if (::stat(QFile::encodeName(options_.location.path).constData(), &st) != 0
            || st.st_ino != inode_ || st.st_dev != device_
            || written_ != Written{st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size}) {
            drop(now);
            return;
        }
    }
    if (!options_.changed)
        return;
    try {
        QSqlQuery q = register_->run(
            register_->isPostgres()
                ? QStringLiteral("SELECT pg_snapshot_xmax(pg_current_snapshot())::text")
                : QStringLiteral("PRAGMA data_version"));
        const QString version = register_->next(q) ? q.value(0).toString() : QString();
        q.finish();
        if (!lastVersion_.isEmpty() && version != lastVersion_)
            options_.changed();
        lastVersion_ = version;
    } catch (const core::Error &) {
        // Opens but cannot be read: waited on like one that cannot be opened.
        ++failures_;
        drop(now + options_.backoff.after(failures_));
    }
}

void RegisterWorker::loop(std::promise<void> &opened)
{
    try {
        register_ = std::make_unique<cellregister::CellRegister>(
            options_.location, options_.lockWaitMilliseconds, cellregister::Opening::MustExist);
        remember();
        poll(); // where writes are counted from: a write before the first poll is one too
        opened.set_value();
    } catch (...) {
        opened.set_exception(std::current_exception());
        return;
    }
    nextPoll_ = std::chrono::steady_clock::now() + options_.poll;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            // Always a time ahead to wake at: a register that is down is retried on its
            // schedule, never in a loop.
            const auto wake = register_ ? nextPoll_ : std::min(nextPoll_, nextOpen_);
            ready_.wait_until(lock, wake, [&] { return stop_ || !jobs_.empty(); });
            if (stop_)
                break;
            if (!jobs_.empty()) {
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
        }
        auto now = std::chrono::steady_clock::now();
        if (suspect_ && register_) {
            suspect_ = false;
            drop(now); // once at once, then on the backoff's schedule
        }
        if (!register_ && now >= nextOpen_)
            tryOpen();
        if (job)
            job(register_.get());
        now = std::chrono::steady_clock::now();
        if (now >= nextPoll_) {
            nextPoll_ = now + options_.poll;
            if (register_)
                poll();
        }
    }
    // Jobs still waiting are answered rather than left to wait for ever.
    std::deque<Job> left;
    {
        std::lock_guard lock(mutex_);
        left.swap(jobs_);
    }
    register_.reset();
    for (Job &job : left)
        job(nullptr);
}

} // namespace labview
