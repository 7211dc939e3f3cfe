// quorvex-virtual-unit: a QUORVEX unit in software, presented to the Linux
// kernel as a USB HID device, so that the real Vantrel (or any program
// using the kernel's HID stack) can talk to it without hardware.

#include "common/Version.h"
#include "unit/VirtualUnit.h"
#include "unit/VirtualUnitTransport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int signal)
{
    const char byte = char(signal);
    const int saved = errno;
    (void)!::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void InstallSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot make the signal pipe");
    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2})
        ::sigaction(s, &action, nullptr);
}

// The signals that came, oldest first; waits up to `ms` for one.
std::string TakeSignals(int ms)
{
    pollfd p{signalPipe[0], POLLIN, 0};
    std::string taken;
    if (::poll(&p, 1, ms) > 0) {
        char buffer[16];
        ssize_t n = 0;
        while ((n = ::read(signalPipe[0], buffer, sizeof buffer)) > 0)
            taken.append(buffer, std::size_t(n));
    }
    return taken;
}

void Say(const std::string& line)
{
    std::cout << "quorvex-virtual-unit: " << line << std::endl;
}

int Run(const vantrel::VirtualUnitOptions& options)
{
    using namespace vantrel;
    std::ofstream traceFile;
    std::ostream* trace = nullptr;
    if (options.TraceFile == "-") {
        trace = &std::cout;
    } else if (!options.TraceFile.empty()) {
        traceFile.open(options.TraceFile, std::ios::out | std::ios::trunc);
        if (!traceFile)
            throw std::runtime_error("cannot write the trace file " + options.TraceFile);
        trace = &traceFile;
    }
    VirtualUnit unit(options, trace);
    InstallSignals();
    std::unique_ptr<UnitTransport> transport = options.Transport == VirtualTransport::Uhid
                                                   ? MakeUhidTransport(options)
                                                   : MakeUsbGadgetTransport(options);
    Say("present: " + transport->Describe());

    // The host's node appears once its HID driver has taken the device.
    std::string hidraw;
    for (int i = 0; i < 50 && hidraw.empty(); ++i) {
        hidraw = FindHostHidraw();
        if (hidraw.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Say(hidraw.empty() ? "no hidraw node on this machine yet (the host may be another computer)"
                       : "this machine sees it as " + hidraw);
    Say("ready; Ctrl-C removes it");

    for (;;) {
        pollfd p[2] = {{transport->PollFd(), POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0 && errno != EINTR)
            throw std::runtime_error("poll failed");
        for (char s : TakeSignals(0)) {
            if (s == SIGUSR1) {
                transport->Unplug();
                Say("unplugged");
            } else if (s == SIGUSR2) {
                transport->PlugIn();
                Say("plugged in");
            } else {
                Say("removed");
                return 0;
            }
        }
        if (!(p[0].revents & POLLIN))
            continue;
        const std::optional<Report> request = transport->TakeRequest();
        if (!request)
            continue;
        const VirtualUnit::Outcome outcome = unit.OnRequest(*request);
        switch (outcome.What) {
        case VirtualUnit::Action::Unplug:
            transport->Unplug();
            Say("unplugged on request " + std::to_string(unit.RequestCount()));
            break;
        case VirtualUnit::Action::Silent:
            break;
        case VirtualUnit::Action::Reply:
            if (options.AnswerDelayMs > 0) {
                // A signal during the wait is kept for the loop.
                const std::string early = TakeSignals(options.AnswerDelayMs);
                for (char s : early)
                    OnSignal(s);
            }
            if (!transport->SendReply(outcome.Reply))
                Say("the host did not take the reply to request " + std::to_string(unit.RequestCount()));
            break;
        }
    }
}

} // namespace

int main(int argc, char* argv[])
{
    try {
        const vantrel::VirtualUnitOptions options =
            vantrel::ParseVirtualUnitArgs(std::vector<std::string>(argv + 1, argv + argc));
        if (options.Help || options.Version) {
            if (options.Help)
                std::cout << vantrel::VirtualUnitUsage();
            else
                std::cout << "quorvex-virtual-unit " << vantrel::ToolVersion().toStdString() << "\n";
            return std::cout.flush() ? 0 : 1;
        }
        return Run(options);
    } catch (const std::invalid_argument& e) {
        std::cerr << "quorvex-virtual-unit: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "quorvex-virtual-unit: " << e.what() << "\n";
        return 1;
    }
}
