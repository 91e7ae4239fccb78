// Start-up benchmark: the time from starting the process to its window shown, and the process's
// peak memory, for the tool against a bare Qt Widgets window built the same way, and against the
// same form built from plain Qt widgets with nothing behind them. A bare window draws no text and
// so never loads the fonts; the plain form pays for what showing this window needs at all, so the
// tool's cost over it is the cost of the tool's own code.
//
// Each probe is started as a child process N times, the kinds taking turns so that a drift of the
// machine spreads over all of them. The clock starts just before the child is spawned and stops
// when the child reports its first window painted; the peak resident set comes from the child's
// resource usage once it has ended. The platform is whatever QT_QPA_PLATFORM says (run this under
// xvfb-run for X11). Every probe runs with a configuration directory of its own in a temporary
// folder, so nothing here reads or writes the user's settings.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Sample {
    double milliseconds;
    double peakMiB;     // peak resident set, shared library pages included
    double privateMiB;  // written memory of its own when shown
};

struct Probe {
    std::string label;
    std::string program;
    // Prepares the configuration directory before each run.
    std::function<void(const fs::path& config)> prepare;
    bool judged;  // held to the target
    std::vector<Sample> samples;
};

void nothingStored(const fs::path& config) {
    // A first start: nothing configured at all, so the status control writes its default games.
    fs::remove_all(config);
    fs::create_directories(config);
}

void storedServer(const fs::path& config) {
    // A returning user: the last-used server is complete, so start-up runs Step 1 and the preview
    // is configured (and sends its first query) as the window opens. The status control's own
    // games were written by an earlier start and are left as they are.
    fs::create_directories(config / "Tamarin");
    std::ofstream(config / "Tamarin" / "Tamarin.ini") << "[LastServer]\n"
                                                         "Game=4\n"
                                                         "Players=8\n"
                                                         "IP=127.0.0.1\n"
                                                         "Port=27960\n"
                                                         "Refresh=30\n"
                                                         "Details=1\n";
}

// The returning user again, whose status control lists `games` games, their names in no order,
// as the options screen writes them: the cost of reading and listing a large game list.
void storedGames(const fs::path& config, int games) {
    storedServer(config);
    fs::create_directories(config / "Vireo");
    std::ofstream out(config / "Vireo" / "Vireo.ini");
    out << "[Config]\nServerCount=" << games - 1 << "\nGameList=";
    for (int game = 0; game < games; ++game) {
        out << (game > 0 ? "," : "") << 'g' << game;
    }
    out << '\n';
    for (int game = 0; game < games; ++game) {
        // 7919 is a prime, so the names are a shuffle of 0 .. games-1.
        out << "\n[g" << game << "]\nGameName=Game " << (game * 7919LL) % games
            << "\nDefaultPort=27960\nGameType=q3\n";
    }
}

// Runs the program once; false when it did not report a shown window within ten seconds.
bool runOnce(const std::string& program, const fs::path& config, bool quietChildren,
             Sample& sample) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return false;
    }
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "XDG_CONFIG_HOME=", 16) != 0) {
            env.emplace_back(*entry);
        }
    }
    env.push_back("XDG_CONFIG_HOME=" + config.string());
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string argv0 = program;
    char* argv[] = {argv0.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (quietChildren) {
        // Qt's warnings about the platform would bury the table.
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);

    pid_t child = 0;
    const Clock::time_point start = Clock::now();
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), std::strerror(spawned));
        return false;
    }

    std::string output;
    bool shown = false;
    Clock::time_point shownAt;
    const Clock::time_point deadline = start + std::chrono::seconds(10);
    while (!shown && Clock::now() < deadline) {
        pollfd fd{pipeFds[0], POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (::poll(&fd, 1, int(std::max<long long>(1, left.count()))) <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;  // the child ended without a window
        }
        output.append(buffer, size_t(got));
        const size_t line = output.find("shown ");
        if (line != std::string::npos && output.find('\n', line) != std::string::npos) {
            sample.privateMiB = std::atof(output.c_str() + line + 6) / 1024.0;
            shownAt = Clock::now();
            shown = true;
        }
    }
    ::close(pipeFds[0]);
    if (!shown) {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    if (!shown) {
        std::fprintf(stderr, "%s showed no window\n", program.c_str());
        return false;
    }
    sample.milliseconds = std::chrono::duration<double, std::milli>(shownAt - start).count();
    sample.peakMiB = double(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB on Linux
    return true;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

double percentile(const std::vector<Sample>& samples, double p) {
    std::vector<double> times;
    for (const Sample& sample : samples) {
        times.push_back(sample.milliseconds);
    }
    std::sort(times.begin(), times.end());
    return times[size_t(p * double(times.size() - 1) + 0.5)];
}

Sample typicalOf(const std::vector<Sample>& samples) {
    std::vector<double> times;
    std::vector<double> peaks;
    std::vector<double> privates;
    for (const Sample& sample : samples) {
        times.push_back(sample.milliseconds);
        peaks.push_back(sample.peakMiB);
        privates.push_back(sample.privateMiB);
    }
    return {median(times), median(peaks), median(privates)};
}

bool within(const Sample& probe, const Sample& baseline) {
    return probe.milliseconds <= 1.3 * baseline.milliseconds &&
           probe.peakMiB <= 1.2 * baseline.peakMiB;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 20;
    bool check = false;
    bool quietChildren = true;
    std::vector<Probe> probes = {
        {"bare Qt window", TAMARIN_BARE_PROBE, nothingStored, false, {}},
        {"bare window, one label", TAMARIN_BARE_TEXT_PROBE, nothingStored, false, {}},
        {"bare form, same widgets", TAMARIN_BARE_FORM_PROBE, nothingStored, false, {}},
        {"tamarin, first start", TAMARIN_TOOL_PROBE, nothingStored, true, {}},
        {"tamarin, stored server", TAMARIN_TOOL_PROBE, storedServer, true, {}},
    };
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--check") == 0) {
            check = true;
        } else if (std::strcmp(argv[i], "--games") == 0 && i + 1 < argc &&
                   std::atoi(argv[i + 1]) > 0) {
            const int games = std::atoi(argv[++i]);
            probes.push_back({"tamarin, " + std::to_string(games) + " games",
                              TAMARIN_TOOL_PROBE,
                              [games](const fs::path& config) { storedGames(config, games); },
                              false,
                              {}});
        } else if (std::strcmp(argv[i], "--verbose") == 0) {
            quietChildren = false;
        } else if (std::strcmp(argv[i], "--also") == 0 && i + 1 < argc &&
                   std::strchr(argv[i + 1], '=') != nullptr) {
            // Another program that reports its window the same way, for finding out where the
            // time goes: a variant of the bare window or of the tool.
            const std::string entry = argv[++i];
            const size_t equals = entry.find('=');
            probes.push_back(
                {entry.substr(0, equals), entry.substr(equals + 1), nothingStored, false, {}});
        } else {
            std::fprintf(
                stderr,
                "usage: %s [--runs N] [--check] [--verbose] [--games N]... "
                "[--also LABEL=PROGRAM]...\n"
                "  --check  exit with 1 when the tool takes more than 1.3 times the time or\n"
                "           1.2 times the peak memory of the same form in plain Qt\n"
                "           (medians)\n"
                "  --verbose  let the children's standard error through\n"
                "  --games  also time the tool with a stored server and N games listed\n"
                "  --also   time another program that reports its first paint likewise\n",
                argv[0]);
            return 2;
        }
    }

    char folderTemplate[] = "/tmp/tamarin-startup-XXXXXX";
    if (::mkdtemp(folderTemplate) == nullptr) {
        std::perror("mkdtemp");
        return 2;
    }
    const fs::path folder = folderTemplate;

    const char* platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("Start-up to window shown, %d runs each, platform %s\n", runs,
                platform ? platform : "(Qt's default)");

    bool failed = false;
    // Two rounds unmeasured: the first start of each writes its settings and fills the caches.
    for (int round = -2; round < runs && !failed; ++round) {
        for (size_t i = 0; i < probes.size() && !failed; ++i) {
            Probe& probe = probes[i];
            const fs::path config = folder / std::to_string(i);
            probe.prepare(config);
            Sample sample{};
            failed = !runOnce(probe.program, config, quietChildren, sample);
            if (round >= 0 && !failed) {
                probe.samples.push_back(sample);
            }
        }
    }
    fs::remove_all(folder);
    if (failed) {
        return 2;
    }

    std::printf("%-24s %9s %8s %8s %9s %9s %7s %7s %7s %7s\n", "", "median ms", "p10 ms", "p90 ms",
                "peak MiB", "priv MiB", "x time", "x peak", "/form t", "/form p");
    std::vector<Sample> typical;
    for (const Probe& probe : probes) {
        typical.push_back(typicalOf(probe.samples));
    }
    // The bare window comes first, the same form in plain Qt third.
    const Sample& bare = typical[0];
    const Sample& form = typical[2];
    bool withinBare = true;
    bool withinForm = true;
    for (size_t i = 0; i < probes.size(); ++i) {
        const Sample& t = typical[i];
        if (probes[i].judged) {
            withinBare = withinBare && within(t, bare);
            withinForm = withinForm && within(t, form);
        }
        std::printf("%-24s %9.1f %8.1f %8.1f %9.1f %9.1f %7.2f %7.2f %7.2f %7.2f\n",
                    probes[i].label.c_str(), t.milliseconds, percentile(probes[i].samples, 0.1),
                    percentile(probes[i].samples, 0.9), t.peakMiB, t.privateMiB,
                    t.milliseconds / bare.milliseconds, t.peakMiB / bare.peakMiB,
                    t.milliseconds / form.milliseconds, t.peakMiB / form.peakMiB);
    }
    std::printf(
        "at most 1.30 x time and 1.20 x peak memory: against the bare window %s, "
        "against the same form in plain Qt %s\n",
        withinBare ? "met" : "NOT met", withinForm ? "met" : "NOT met");
    return check && !withinForm ? 1 : 0;
}
