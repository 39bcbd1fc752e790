// Start-up benchmark: how long the client takes from process start to its
// login dialog shown and painted, how much processor time that costs and how
// much memory the process peaks at, against the floor: a minimal Qt program
// showing a dialog with one line of Chinese text.
//
// Both are started alternately as fresh processes (fork and exec), so that a
// change in the machine's load hits both alike; each reports its first paint
// on its standard output and ends at once. Wall time runs from just before
// the fork to the reported paint; processor time and peak resident memory are
// the child's own, from wait4(). The medians are compared.
//
// Usage: freymo-bench-startup [--runs N] [--platform offscreen|xcb] [--phases]
//   --platform xcb  runs both on a private Xvfb server (default: offscreen)
//   --phases        also prints the client's start-up step by step
#include "benchclock.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run
{
    double wallMs = 0;
    double cpuMs = 0;
    double peakMiB = 0;
};

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double milliseconds(const timeval& t)
{
    return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3;
}

// Starts `program` in `folder` with `arguments`, its standard output on a
// pipe and its standard error discarded, and waits for it to end.
bool runChild(const std::string& program, const std::vector<std::string>& arguments, const std::string& folder,
    Run& run, std::string& output)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return false;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    const long long start = monotonicNanoseconds();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    output.clear();
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, size_t(got));
    close(pipeEnds[0]);

    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return false;
    const size_t at = output.find("painted ");
    if (at != std::string::npos)
        run.wallMs = double(std::atoll(output.c_str() + at + 8) - start) / 1e6;
    run.cpuMs = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
    run.peakMiB = double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
    return true;
}

void printSummary(const char* name, const std::vector<Run>& runs, double& wall, double& cpu, double& peak)
{
    std::vector<double> w, c, p;
    for (const Run& run : runs) {
        w.push_back(run.wallMs);
        c.push_back(run.cpuMs);
        p.push_back(run.peakMiB);
    }
    wall = median(w);
    cpu = median(c);
    peak = median(p);
    std::printf("%-8s wall %7.1f ms (min %7.1f)   cpu %7.1f ms (min %7.1f)   peak RSS %6.1f MiB\n", name, wall,
        *std::min_element(w.begin(), w.end()), cpu, *std::min_element(c.begin(), c.end()), peak);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    int runs = 10;
    QString platform = QStringLiteral("offscreen");
    bool phases = false;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QLatin1String("--platform") && i + 1 < args.size())
            platform = args.at(++i);
        else if (args.at(i) == QLatin1String("--phases"))
            phases = true;
        else {
            std::fprintf(stderr, "usage: %s [--runs N] [--platform offscreen|xcb] [--phases]\n", argv[0]);
            return 2;
        }
    }

    const QString folder = QCoreApplication::applicationDirPath();
    const std::string client = QDir(folder).filePath(QStringLiteral("freymo-bench-startup-client")).toStdString();
    const std::string floor = QDir(folder).filePath(QStringLiteral("freymo-bench-startup-floor")).toStdString();

    // account.dat is read from the working folder: an empty one, as at a
    // station's first start.
    QTemporaryDir workFolder;
    if (!workFolder.isValid())
        return 1;

    QProcess xvfb;
    if (platform == QLatin1String("xcb")) {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (server.isEmpty()) {
            std::fprintf(stderr, "Xvfb is not installed\n");
            return 1;
        }
        xvfb.start(server,
            { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x800x24") });
        if (!xvfb.waitForStarted() || !xvfb.waitForReadyRead(30000)) {
            std::fprintf(stderr, "Xvfb did not start\n");
            return 1;
        }
        const QByteArray display = ':' + xvfb.readLine().trimmed();
        qputenv("DISPLAY", display);
    } else if (platform != QLatin1String("offscreen")) {
        std::fprintf(stderr, "unknown platform %s\n", qPrintable(platform));
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", platform.toLatin1());

    const std::string work = workFolder.path().toStdString();
    std::string output;
    Run run;
    // One discarded start of each: the libraries and fonts come into the
    // page cache.
    if (!runChild(client, {}, work, run, output) || !runChild(floor, {}, work, run, output)) {
        std::fprintf(stderr, "a child failed to start or to paint\n");
        return 1;
    }

    std::vector<Run> clientRuns, floorRuns;
    for (int i = 0; i < runs; ++i) {
        for (int which = 0; which < 2; ++which) {
            // Alternate the order too, so neither always follows the other.
            const bool clientTurn = (which == 0) == (i % 2 == 0);
            if (!runChild(clientTurn ? client : floor, {}, work, run, output) || run.wallMs <= 0) {
                std::fprintf(stderr, "a child failed to start or to paint\n");
                return 1;
            }
            (clientTurn ? clientRuns : floorRuns).push_back(run);
        }
    }

    std::printf("start-up to the first window painted, %d runs each, platform %s, medians\n", runs,
        qPrintable(platform));
    double clientWall, clientCpu, clientPeak, floorWall, floorCpu, floorPeak;
    printSummary("floor", floorRuns, floorWall, floorCpu, floorPeak);
    printSummary("client", clientRuns, clientWall, clientCpu, clientPeak);
    std::printf("ratio    wall %.2fx   cpu %.2fx   peak RSS %.2fx\n", clientWall / floorWall, clientCpu / floorCpu,
        clientPeak / floorPeak);

    if (phases) {
        std::printf("\nthe client's start-up step by step (one run):\n");
        if (!runChild(client, { "--phases" }, work, run, output)) {
            std::fprintf(stderr, "the phased run failed\n");
            return 1;
        }
        std::fputs(output.c_str(), stdout);
    }

    if (xvfb.state() == QProcess::Running) {
        xvfb.terminate();
        xvfb.waitForFinished(10000);
    }
    return 0;
}
