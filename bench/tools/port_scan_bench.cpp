// Times whole port scans (list rebuilt, every candidate probed by open and close, log line) with
// the real POSIX port layer: this machine's devices, missing names, and openable pty pairs.
// Prints milliseconds per scan; the median and the slowest of the runs.

#include "link/clock.h"
#include "tests/support/fake_view.h"
#include "tests/support/pty_pair.h"
#include "tools/port_scan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

using namespace kalvenor;

namespace {

class NamedPorts : public SerialPortProvider
{
public:
    explicit NamedPorts(std::vector<std::string> names)
        : m_names(std::move(names))
    {
    }
    std::unique_ptr<SerialPort> open(const SerialPortConfig& config) override
    {
        return posixSerialPorts().open(config);
    }
    std::vector<std::string> candidateNames() override { return m_names; }

private:
    std::vector<std::string> m_names;
};

double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void run(const char* label, SerialPortProvider& ports, int scans)
{
    SerialSettings serial;
    serial.ports = &ports;
    std::vector<double> times;
    int listed = 0;
    std::size_t candidates = 0;
    for (int i = 0; i < scans; ++i) {
        test::FakeView view;
        double start = nowMs();
        portScan(serial, view);
        times.push_back(nowMs() - start);
        listed = view.itemCount(WidgetId::RtuPortCombo);
    }
    candidates = ports.candidateNames().size();
    std::sort(times.begin(), times.end());
    std::printf("%-44s candidates %3zu  listed %3d  median %8.3f ms/scan  max %8.3f ms\n", label,
        candidates, listed, times[times.size() / 2], times.back());
}

} // namespace

int main()
{
    constexpr int scans = 21;
    std::printf("port scan, %d scans each\n", scans);

    {
        double start = nowMs();
        std::vector<std::string> names = posixSerialPorts().candidateNames();
        std::printf("%-44s %zu names in %.3f ms\n", "candidate listing of this machine",
            names.size(), nowMs() - start);
    }
    run("this machine's devices", posixSerialPorts(), scans);

    std::vector<std::string> missing;
    for (int n = 1; n <= 64; ++n)
        missing.push_back("/dev/kalvenor-phantom" + std::to_string(n));
    NamedPorts phantoms(missing);
    run("64 missing names", phantoms, scans);

    std::vector<std::unique_ptr<test::PtyPair>> ptys;
    std::vector<std::string> ptyNames;
    for (int n = 0; n < 32; ++n) {
        ptys.push_back(std::make_unique<test::PtyPair>());
        ptyNames.push_back(ptys.back()->devicePath());
    }
    NamedPorts openable(ptyNames);
    run("32 openable pty devices", openable, scans);

    std::vector<std::string> mixed = ptyNames;
    mixed.insert(mixed.end(), missing.begin(), missing.begin() + 32);
    NamedPorts half(mixed);
    run("32 pty devices + 32 missing names", half, scans);
    return 0;
}
