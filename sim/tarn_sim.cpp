// tarn-sim: stands in for the calibrator on a pseudo-terminal. It prints the
// terminal's device path, answers the query forms from the output state the
// commands set, and logs every line it receives. Options make it misbehave.

#include "sim/calibrator_model.h"

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

enum class Manner { Answer, Silent, Garbage };

struct Options {
    Manner manner = Manner::Answer;
    long closeAfter = 0;  // 0: never
    std::string link;     // a symbolic link to the device, for a fixed name
    std::string raw;      // a file that receives every byte as it came
    std::string state;    // a file that holds the output state after every line
};

void usage(std::FILE* to)
{
    std::fputs("usage: tarn-sim [--silent | --garbage] [--close-after N] [--link PATH] [--raw FILE]\n"
               "                [--state-file FILE]\n"
               "  Creates a pseudo-terminal, prints its device path and answers as the\n"
               "  Tarn Calibrator: commands end with LF, CR or CR LF; replies with CR LF.\n"
               "  --silent         never answer\n"
               "  --garbage        answer every query with unprintable bytes\n"
               "  --close-after N  close the line after the N-th received line\n"
               "  --link PATH      also reach the device through this symbolic link\n"
               "  --raw FILE       append every received byte to FILE\n"
               "  --state-file FILE  rewrite FILE with the output state after every line,\n"
               "                   for scope-sim --input FILE\n",
               to);
}

bool parse(int argc, char* argv[], Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--silent") {
            options.manner = Manner::Silent;
        } else if (arg == "--garbage") {
            options.manner = Manner::Garbage;
        } else if (arg == "--close-after" && hasValue) {
            char* end = nullptr;
            options.closeAfter = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || options.closeAfter < 1)
                return false;
        } else if (arg == "--link" && hasValue) {
            options.link = argv[++i];
        } else if (arg == "--raw" && hasValue) {
            options.raw = argv[++i];
        } else if (arg == "--state-file" && hasValue) {
            options.state = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

double elapsedMs()
{
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The bytes as a C-style literal: printable ASCII as is, the rest escaped.
std::string quoted(const std::string& bytes)
{
    std::string out = "\"";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (u >= 0x20 && u < 0x7f) {
                out += c;
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02x", u);
                out += hex;
            }
        }
    }
    return out + "\"";
}

void logLine(const char* direction, const std::string& bytes, const char* note = "")
{
    std::printf("%9.1f ms %s %s%s\n", elapsedMs(), direction, quoted(bytes).c_str(), note);
    std::fflush(stdout);
}

// The link, removed again when the simulator is stopped.
char g_link[4096] = "";

void stop(int)
{
    if (g_link[0] != '\0')
        ::unlink(g_link);
    ::_exit(0);
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Written aside and renamed into place, so that a reader never sees half a state.
bool writeState(const std::string& path, const std::string& text)
{
    const std::string aside = path + ".new";
    std::FILE* file = std::fopen(aside.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written)
        return false;
    return std::rename(aside.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char* argv[])
{
    Options options;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (!parse(argc, argv, options)) {
        usage(stderr);
        return 2;
    }

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::perror("tarn-sim: pseudo-terminal");
        return 1;
    }
    const char* name = ::ptsname(master);
    if (!name) {
        std::perror("tarn-sim: ptsname");
        return 1;
    }
    const std::string device = name;
    // Held open by the simulator itself, so that the line stays up while the
    // program closes and re-opens its side; raw, so that no byte is changed.
    const int own = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    if (own < 0) {
        std::perror("tarn-sim: open");
        return 1;
    }
    termios settings{};
    if (::tcgetattr(own, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetispeed(&settings, B9600);
        ::cfsetospeed(&settings, B9600);
        ::tcsetattr(own, TCSANOW, &settings);
    }
    if (!options.link.empty()) {
        ::unlink(options.link.c_str());
        if (::symlink(device.c_str(), options.link.c_str()) != 0) {
            std::perror("tarn-sim: link");
            return 1;
        }
        std::snprintf(g_link, sizeof g_link, "%s", options.link.c_str());
    }
    std::signal(SIGINT, stop);
    std::signal(SIGTERM, stop);
    std::signal(SIGHUP, stop);
    std::FILE* raw = options.raw.empty() ? nullptr : std::fopen(options.raw.c_str(), "ab");
    if (!options.raw.empty() && !raw) {
        std::perror("tarn-sim: raw file");
        return 1;
    }

    std::printf("%s\n", device.c_str());
    std::fflush(stdout);
    elapsedMs();

    tarn::sim::CalibratorModel calibrator;
    if (!options.state.empty() && !writeState(options.state, calibrator.stateText())) {
        std::perror("tarn-sim: state file");
        return 1;
    }
    std::string line;
    bool afterCr = false;
    long lines = 0;
    for (;;) {
        pollfd watch{master, POLLIN, 0};
        const int ready = ::poll(&watch, 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0 && errno == EIO) {
            // No one has the device open: wait for the next opening.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        if (n <= 0) {
            std::perror("tarn-sim: read");
            return 1;
        }
        if (raw) {
            std::fwrite(buffer, 1, static_cast<std::size_t>(n), raw);
            std::fflush(raw);
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n' && afterCr) {
                afterCr = false;  // the second half of CR LF
                continue;
            }
            afterCr = c == '\r';
            if (c != '\r' && c != '\n') {
                line += c;
                continue;
            }
            const std::optional<std::string> reply = calibrator.receive(line);
            logLine("<-", line + c, calibrator.lastLineKnown() ? "" : "  (unknown)");
            if (!options.state.empty() && !writeState(options.state, calibrator.stateText()))
                std::perror("tarn-sim: state file");
            line.clear();
            ++lines;
            if (reply && options.manner == Manner::Answer) {
                writeAll(master, *reply + "\r\n");
                logLine("->", *reply + "\r\n");
            } else if (reply && options.manner == Manner::Garbage) {
                const std::string garbage = "\x07\xff\x1b\xfe\r\n";
                writeAll(master, garbage);
                logLine("->", garbage);
            }
            if (options.closeAfter > 0 && lines >= options.closeAfter) {
                std::printf("closing the line after %ld lines\n", lines);
                std::fflush(stdout);
                if (!options.link.empty())
                    ::unlink(options.link.c_str());
                ::close(own);
                ::close(master);
                return 0;
            }
        }
    }
}
