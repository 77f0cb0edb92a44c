// Time from process start to the first painted window, and resident memory once idle, of
// the program against a bare Qt window and a plain Qt program with the same controls, all
// started in turn on the same X server.
//
// "Painted" is measured with the X DAMAGE extension: the first time the server reports
// drawing into a window the new process mapped. This needs no hook in the program itself.
//
//   bench_startup PROGRAM BARE_WINDOW PLAIN_WINDOW   (DISPLAY names an X server)
#include "harness.h"

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Sample {
    double firstPaintSeconds = 0;
    double residentMiB = 0;
};

double residentMiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

class Display {
public:
    Display()
    {
        conn_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(conn_))
            throw std::runtime_error("cannot connect to the X server named by DISPLAY");
        root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
        const xcb_query_extension_reply_t *ext = xcb_get_extension_data(conn_, &xcb_damage_id);
        if (!ext || !ext->present)
            throw std::runtime_error("the X server has no DAMAGE extension");
        damageEvent_ = ext->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(conn_, xcb_damage_query_version(conn_, 1, 1), nullptr));
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(conn_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(conn_);
    }
    ~Display() { xcb_disconnect(conn_); }

    // Starts argv and returns the seconds until the first drawing into a window it created.
    Sample run(const std::vector<std::string> &argv)
    {
        drain();
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);

        const auto start = bench::Clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0)
            throw std::runtime_error("cannot start " + argv[0]);

        std::vector<xcb_damage_damage_t> damages;
        double painted = -1;
        while (painted < 0) {
            xcb_generic_event_t *event = xcb_wait_for_event(conn_);
            if (!event)
                throw std::runtime_error("lost the X server");
            const uint8_t type = event->response_type & 0x7F;
            if (type == XCB_CREATE_NOTIFY) {
                // Every window the process creates is watched from its creation on, so the
                // first drawing is never missed.
                const auto *create = reinterpret_cast<xcb_create_notify_event_t *>(event);
                const xcb_damage_damage_t damage = xcb_generate_id(conn_);
                xcb_damage_create(conn_, damage, create->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                damages.push_back(damage);
                xcb_flush(conn_);
            } else if (type == damageEvent_) {
                painted = bench::secondsSince(start);
            }
            free(event);
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
                throw std::runtime_error(argv[0] + " ended before it painted");
        }

        // Idle memory: after the first paint has settled and the first clock tick passed.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        Sample sample{painted, residentMiB(pid)};
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        for (xcb_damage_damage_t d : damages)
            xcb_damage_destroy(conn_, d);
        xcb_flush(conn_);
        return sample;
    }

private:
    void drain()
    {
        xcb_flush(conn_);
        while (xcb_generic_event_t *event = xcb_poll_for_event(conn_))
            free(event);
    }

    xcb_connection_t *conn_ = nullptr;
    xcb_window_t root_ = 0;
    uint8_t damageEvent_ = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_startup PROGRAM BARE_WINDOW PLAIN_WINDOW\n");
        return 2;
    }
    try {
        Display display;
        // One warm-up run of each, so all start from a warm file cache; then the three in
        // turn, so a busy moment of the machine hits all alike.
        constexpr int kPrograms = 3;
        for (int p = 0; p < kPrograms; ++p)
            display.run({argv[1 + p]});
        std::vector<double> paint[kPrograms], memory[kPrograms];
        for (int i = 0; i < 9; ++i) {
            for (int p = 0; p < kPrograms; ++p) {
                const Sample s = display.run({argv[1 + p]});
                paint[p].push_back(s.firstPaintSeconds);
                memory[p].push_back(s.residentMiB);
            }
        }
        const double app = median(paint[0]);
        const char *baselines[] = {nullptr, "a bare Qt window",
                                   "a plain Qt window with the same controls and texts"};
        for (int p = 1; p < kPrograms; ++p) {
            const double base = median(paint[p]);
            bench::row("start to first paint", app * 1000, "ms", app / base,
                       std::string("x ") + baselines[p] + " ("
                           + std::to_string(int(base * 1000 + 0.5)) + " ms)",
                       p == 1 ? "<= 1.25" : "<= 1.1");
        }
        const double appMiB = median(memory[0]);
        for (int p = 1; p < kPrograms; ++p) {
            const double base = median(memory[p]);
            char extra[32];
            std::snprintf(extra, sizeof extra, "%+.1f MiB", appMiB - base);
            bench::row("resident memory idle", appMiB, "MiB", appMiB / base,
                       std::string("x ") + baselines[p] + " (" + extra + ")",
                       p == 1 ? "<= +10 MiB" : "<= +2 MiB");
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_startup: %s\n", e.what());
        return 1;
    }
    return 0;
}
