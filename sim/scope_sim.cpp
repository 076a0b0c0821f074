// scope-sim: stands in for the oscilloscope under test. It listens on a TCP
// port of 127.0.0.1, prints the resource to reach it, speaks the dialect of
// a driver file and measures the calibrator's output as tarn-sim's state
// file describes it. Options give it errors of its own and make it misbehave.

#include "sim/scope_model.h"
#include "uut/driver.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Options {
    QString driver;
    QString input;
    QString idn = QStringLiteral("TARN LABS,SCOPE-SIM,SIM000001,1.0");
    tarn::sim::ScopeErrors errors;
    int port = 0;
    int slowMs = 0;
    long silentAfter = -1;  // queries answered before falling silent; -1 never
    long closeAfter = 0;    // lines per connection before closing it; 0 never
    bool header = false;
    bool unit = false;
    bool garbage = false;
};

void usage(std::FILE* to)
{
    std::fputs(
        "usage: scope-sim --driver FILE [--input FILE] [--port N] [--idn TEXT] [--channel N]\n"
        "                 [--gain F] [--offset V] [--timebase F] [--noise F] [--seed N] [--bandwidth MHZ]\n"
        "                 [--slow MS] [--silent | --silent-after N] [--close-after N]\n"
        "                 [--header] [--unit] [--garbage]\n"
        "  Listens on 127.0.0.1, prints TCPIP::127.0.0.1::PORT::SOCKET and answers in the\n"
        "  dialect of the driver FILE; lines end with LF.\n"
        "  --input FILE     the calibrator's output, as tarn-sim --state-file writes it;\n"
        "                   without it, or when the output is off: \"no measurement\"\n"
        "  --port N         the port (0: any free one; the default)\n"
        "  --idn TEXT       the *IDN? reply (the driver's identify pattern must match it)\n"
        "  --channel N      the channel the calibrator is connected to (1)\n"
        "  --gain F         gain error of the levels, a fraction: 0.01 reads 1 % high\n"
        "  --offset V       offset added to mean levels, volts\n"
        "  --timebase F     time-base error, a fraction added to frequencies\n"
        "  --noise F        noise, a fraction of the reading (one standard deviation)\n"
        "  --seed N         seed of the noise, so that a run repeats (1)\n"
        "  --bandwidth MHZ  the oscilloscope's bandwidth, for rise times (200)\n"
        "  --slow MS        wait MS before every reply\n"
        "  --silent         never answer a query; --silent-after N: after N answers\n"
        "  --close-after N  close each connection after its N-th line\n"
        "  --header         put a header before every reply; --unit: a unit after numbers\n"
        "  --garbage        answer every query with unprintable bytes\n",
        to);
}

bool number(const char* text, double& out)
{
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text, &end);
    return errno == 0 && *end == '\0' && end != text;
}

bool whole(const char* text, long& out, long least)
{
    char* end = nullptr;
    errno = 0;
    out = std::strtol(text, &end, 10);
    return errno == 0 && *end == '\0' && end != text && out >= least;
}

bool parse(int argc, char* argv[], Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        double x = 0;
        auto takes = [&] { return value != nullptr && (++i, true); };
        if (arg == "--header") o.header = true;
        else if (arg == "--unit") o.unit = true;
        else if (arg == "--garbage") o.garbage = true;
        else if (arg == "--silent") o.silentAfter = 0;
        else if (arg == "--driver" && takes()) o.driver = QString::fromLocal8Bit(value);
        else if (arg == "--input" && takes()) o.input = QString::fromLocal8Bit(value);
        else if (arg == "--idn" && takes()) o.idn = QString::fromLocal8Bit(value);
        else if (arg == "--port" && takes() && whole(value, n, 0) && n <= 65535) o.port = static_cast<int>(n);
        else if (arg == "--channel" && takes() && whole(value, n, 1)) o.errors.channel = static_cast<int>(n);
        else if (arg == "--gain" && takes() && number(value, x)) o.errors.gain = x;
        else if (arg == "--offset" && takes() && number(value, x)) o.errors.offset = x;
        else if (arg == "--timebase" && takes() && number(value, x)) o.errors.timebase = x;
        else if (arg == "--noise" && takes() && number(value, x) && x >= 0) o.errors.noise = x;
        else if (arg == "--seed" && takes() && whole(value, n, 0)) o.errors.seed = static_cast<unsigned>(n);
        else if (arg == "--bandwidth" && takes() && number(value, x) && x > 0) o.errors.bandwidthMHz = x;
        else if (arg == "--slow" && takes() && whole(value, n, 0)) o.slowMs = static_cast<int>(n);
        else if (arg == "--silent-after" && takes() && whole(value, n, 0)) o.silentAfter = n;
        else if (arg == "--close-after" && takes() && whole(value, n, 1)) o.closeAfter = n;
        else return false;
    }
    return !o.driver.isEmpty();
}

tarn::sim::CalibratorOutput readInput(const QString& path)
{
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return tarn::sim::CalibratorOutput::fromText(QString::fromUtf8(file.readAll()));
}

bool sendAll(int fd, const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

void log(const char* direction, const QByteArray& text, const char* note = "")
{
    std::printf("%s %s%s\n", direction, text.constData(), note);
    std::fflush(stdout);
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
    const tarn::DriverReading reading = tarn::ReadUutDriverFile(options.driver);
    if (!reading.driver) {
        for (const tarn::DriverProblem& p : reading.problems)
            std::fprintf(stderr, "%s:%d: %s\n", options.driver.toLocal8Bit().constData(), p.line,
                         p.message.toLocal8Bit().constData());
        return 2;
    }
    tarn::sim::ScopeModel scope(*reading.driver, options.idn, options.errors);
    scope.withHeader = options.header;
    scope.withUnit = options.unit;

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(options.port));
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("scope-sim: listen");
        return 1;
    }
    std::printf("TCPIP::127.0.0.1::%d::SOCKET\n", ntohs(address.sin_port));
    std::fflush(stdout);
    std::signal(SIGPIPE, SIG_IGN);

    long answered = 0;
    for (;;) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            if (errno == EINTR)
                continue;
            std::perror("scope-sim: accept");
            return 1;
        }
        log("**", "connected");
        QByteArray pending;
        long lines = 0;
        bool open = true;
        while (open) {
            char buffer[1024];
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            pending.append(buffer, n);
            qsizetype end;
            while (open && (end = pending.indexOf('\n')) >= 0) {
                QByteArray line = pending.left(end);
                pending.remove(0, end + 1);
                if (line.endsWith('\r'))
                    line.chop(1);
                const tarn::sim::ScopeModel::Answer answer =
                    scope.receive(QString::fromUtf8(line), readInput(options.input));
                log("<-", line, answer.known ? "" : "  (unknown)");
                ++lines;
                if (answer.reply) {
                    if (options.silentAfter >= 0 && answered >= options.silentAfter) {
                        log("--", "(silent)");
                    } else {
                        if (options.slowMs > 0)
                            std::this_thread::sleep_for(std::chrono::milliseconds(options.slowMs));
                        const QByteArray reply =
                            options.garbage ? QByteArray("\x07\xff\x1b\xfe") : answer.reply->toUtf8();
                        ++answered;
                        log("->", options.garbage ? QByteArray("(garbage)") : reply);
                        if (!sendAll(client, reply + '\n'))
                            open = false;
                    }
                }
                if (options.closeAfter > 0 && lines >= options.closeAfter) {
                    log("**", "closing the connection");
                    open = false;
                }
            }
        }
        ::close(client);
        log("**", "disconnected");
    }
}
