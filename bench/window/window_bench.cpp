// Figures of the window, printed one a line:
//   start       process start (and main's entry) to the main window shown and painted
//   memory      resident memory once the window stands
//   log         100,000 log lines appended one by one, the event loop run after each; then one
//               append plus a repaint of the list at that length
//   terminal    one terminal entry plus the event loop's turn, at 10 and at 100,000 lines
//   idle        processor time used by 10 s of waiting, without and with the 50 ms poll timer
// Run it offscreen (QT_QPA_PLATFORM=offscreen) or on a display; it says which.
#include "ui/dispatch.h"
#include "ui/log_view.h"
#include "ui/main_window.h"
#include "ui/qt_dialogs.h"
#include "ui/startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Milliseconds since this process was started, from /proc (10 ms resolution).
double msSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Field 22 (start time in clock ticks after boot) follows the command name in parentheses.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i < 22; ++i)
        fields >> field;
    unsigned long long startTicks = 0;
    fields >> startTicks;
    timespec now {};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = static_cast<double>(now.tv_sec) * 1000.0 + now.tv_nsec / 1e6;
    return nowMs
        - static_cast<double>(startTicks) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

double cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// Runs the event loop for ms milliseconds and returns the processor time it used.
double idleCpuMs(int ms)
{
    const double before = cpuMs();
    QTimer::singleShot(ms, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    return cpuMs() - before;
}

struct Spread
{
    double mean, median, max;
};

Spread spread(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples)
        sum += s;
    return {sum / static_cast<double>(samples.size()), samples[samples.size() / 2], samples.back()};
}

} // namespace

int main(int argc, char** argv)
{
    const auto mainEntry = Clock::now();
    QApplication application(argc, argv);
    kalvenor::applyApplicationLook(application);
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));

    auto app = std::make_unique<kalvenor::AppState>();
    kalvenor::QtDialogs dialogs;
    kalvenor::MainWindow window(*app, dialogs);
    dialogs.setOwner(&window);
    kalvenor::Dispatch dispatch(*app, window);
    kalvenor::startUp(*app, window, dispatch);
    window.show();
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    window.repaint();
    const double fromMain = msSince(mainEntry);
    const double fromProcess = msSinceProcessStart();
    std::printf("start: window shown %.0f ms after process start (%.1f ms after main)\n",
        fromProcess, fromMain);
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    std::printf("memory: %.1f MB resident after start\n", residentKiB() / 1024.0);

    // The log, one line at a time, each followed by a turn of the event loop.
    kalvenor::LogView* log = window.logView();
    window.clearLog();
    const int lines = 100000;
    const auto appendStart = Clock::now();
    for (int i = 0; i < lines; ++i) {
        window.appendLog("RX (9 B): 01 03 04 00 0A 00 14 DA 3E  Zeile " + std::to_string(i));
        QCoreApplication::processEvents();
    }
    const double appendMs = msSince(appendStart);
    std::printf("log: %d appends with the event loop after each: %.0f ms (%.2f us each)\n", lines,
        appendMs, appendMs * 1000.0 / lines);
    {
        // The same split in its two halves, for telling where the time goes.
        const auto appendsAlone = Clock::now();
        for (int i = 0; i < lines; ++i)
            window.appendLog("RX (9 B): 01 03 04 00 0A 00 14 DA 3E  Zeile " + std::to_string(i));
        const double aloneMs = msSince(appendsAlone);
        const auto turnsAlone = Clock::now();
        for (int i = 0; i < lines; ++i)
            QCoreApplication::processEvents();
        std::printf("log: of which appends alone %.2f us, an event loop turn alone %.2f us\n",
            aloneMs * 1000.0 / lines, msSince(turnsAlone) * 1000.0 / lines);
        window.clearLog();
        for (int i = 0; i < lines; ++i)
            window.appendLog("RX (9 B): 01 03 04 00 0A 00 14 DA 3E  Zeile " + std::to_string(i));
    }
    std::vector<double> samples;
    for (int i = 0; i < 300; ++i) {
        const auto start = Clock::now();
        window.appendLog("OK: Lesen FC03, 2 Register ab 0");
        log->viewport()->repaint();
        samples.push_back(msSince(start));
    }
    Spread s = spread(samples);
    std::printf(
        "log: one append + repaint at %d lines: mean %.3f ms, median %.3f ms, max %.3f ms\n",
        log->count(), s.mean, s.median, s.max);
    std::printf(
        "memory: %.1f MB resident with %d log lines\n", residentKiB() / 1024.0, log->count());

    // The terminal view, shown on its tab.
    window.setCurrentIndex(kalvenor::WidgetId::TabPanel, kalvenor::SerialTerminalTab);
    QCoreApplication::processEvents();
    auto* terminal = window.findChild<QPlainTextEdit*>("TerminalView");
    auto measureTerminal = [&](int count) {
        std::vector<double> each;
        for (int i = 0; i < count; ++i) {
            const auto start = Clock::now();
            window.terminalAppend("<< OK " + std::to_string(i));
            QCoreApplication::processEvents();
            each.push_back(msSince(start));
        }
        return spread(each);
    };
    for (int i = 0; i < 10; ++i)
        window.terminalAppend(">> AT");
    s = measureTerminal(200);
    std::printf("terminal: one entry at %d lines: mean %.3f ms, median %.3f ms, max %.3f ms\n", 10,
        s.mean, s.median, s.max);
    {
        // Filled in one block: only the cost of the next entry is measured here.
        QString block;
        for (int i = terminal->blockCount(); i < lines; ++i)
            block += "\n<< Zeile " + QString::number(i);
        QTextCursor cursor(terminal->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(block);
        QCoreApplication::processEvents();
    }
    const int terminalLines = terminal->blockCount();
    s = measureTerminal(200);
    std::printf("terminal: one entry at %d lines: mean %.3f ms, median %.3f ms, max %.3f ms\n",
        terminalLines, s.mean, s.median, s.max);

    // Idle: nothing to do but wait, first without the poll timer, then with it (port closed,
    // terminal tab shown, so every tick is a poll that finds nothing).
    window.pollTimer()->stop();
    const double idle = idleCpuMs(10000);
    window.pollTimer()->start();
    const double polling = idleCpuMs(10000);
    std::printf("idle: %.0f ms processor time in 10 s without the poll timer, %.0f ms with it\n",
        idle, polling);
    return 0;
}
