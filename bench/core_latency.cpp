// Latency of the infrastructure's two hops that every relayed line takes: a message sent to a window of another
// thread and answered (how workers reach the main thread), and a byte arriving on a loopback socket until the
// worker waiting in AsyncSocketNotifier::Wait wakes up. Each reports median and p99 over 10,000 runs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "core/AsyncSocketNotifier.h"
#include "core/NotifierMaker.h"
#include "core/ZEvent.h"
#include "platform/Sockets.h"
#include "platform/Sync.h"
#include "platform/Window.h"
#include "support/LoopbackSockets.h"
#include "support/MainLoopThread.h"

namespace {

constexpr int kRuns = 10000;
constexpr win32::UINT kEchoMessage = win32::WM_USER + 90;

using Clock = std::chrono::steady_clock;

double Microseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::micro>(duration).count();
}

void ReportPercentiles(benchmark::State& state, std::vector<double>& samples)
{
    if (samples.empty()) {
        return;
    }
    std::sort(samples.begin(), samples.end());
    state.counters["median_us"] = samples[samples.size() / 2];
    state.counters["p99_us"] = samples[samples.size() * 99 / 100];
    state.counters["max_us"] = samples.back();
}

class EchoWindow : public win32::Window {
public:
    EchoWindow() { Create(nullptr, "EchoWindow", "EchoWindow", 0, 0, 0, 0, 0); }
    ~EchoWindow() override { DestroyWindow(); }

protected:
    bool ProcessWindowMessage(win32::HWND, win32::UINT message, win32::WPARAM wParam, win32::LPARAM,
                              win32::LRESULT& result) override
    {
        if (message != kEchoMessage) {
            return false;
        }
        result = static_cast<win32::LRESULT>(wParam);
        return true;
    }
};

void BM_CrossThreadSendMessage(benchmark::State& state)
{
    MainLoopThread mainLoop;
    std::unique_ptr<EchoWindow> echo;
    mainLoop.Invoke([&] { echo = std::make_unique<EchoWindow>(); });
    std::vector<double> samples;
    samples.reserve(kRuns);
    for (auto _ : state) {
        for (int run = 0; run < kRuns; ++run) {
            const Clock::time_point start = Clock::now();
            const win32::LRESULT answer = win32::SendMessage(echo->Handle(), kEchoMessage, run, 0);
            samples.push_back(Microseconds(Clock::now() - start));
            if (answer != run) {
                state.SkipWithError("wrong answer");
                break;
            }
        }
    }
    mainLoop.Invoke([&] { echo.reset(); });
    ReportPercentiles(state, samples);
}
BENCHMARK(BM_CrossThreadSendMessage)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SocketByteToWorkerWakeUp(benchmark::State& state)
{
    win32::WSADATA data;
    win32::WSAStartup(win32::MAKEWORD(1, 1), &data);
    {
        MainLoopThread mainLoop;
        std::uint16_t port = 0;
        ScopedSocket listener = ListenOnLoopback(port);
        ScopedSocket client = ConnectToLoopback(port);
        ScopedSocket accepted(win32::accept(listener.Get(), nullptr));
        AsyncSocketNotifier* notifier = CreateNotifier();
        if (!accepted.IsValid() || notifier == nullptr) {
            state.SkipWithError("no loopback connection or notifier");
            return;
        }
        win32::SetNoDelay(client.Get(), true);
        notifier->SetSocket(accepted.Get(), win32::FD_READ | win32::FD_CLOSE);

        std::atomic<Clock::rep> wokenAt{0};
        ZEvent received(false, false);
        // The worker as a receive loop runs: wait, note the time, take the byte (which re-arms the read signal).
        std::thread worker([&] {
            for (;;) {
                const win32::DWORD position = notifier->Wait(win32::FD_READ | win32::FD_CLOSE);
                wokenAt = Clock::now().time_since_epoch().count();
                char byte;
                if (position != 0 || win32::recv(accepted.Get(), &byte, 1, 0) != 1) {
                    received.Set();
                    return;
                }
                received.Set();
            }
        });

        std::vector<double> samples;
        samples.reserve(kRuns);
        for (auto _ : state) {
            for (int run = 0; run < kRuns; ++run) {
                const Clock::time_point sentAt = Clock::now();
                if (win32::send(client.Get(), "x", 1, 0) != 1) {
                    state.SkipWithError("send failed");
                    break;
                }
                win32::WaitForSingleObject(received.Handle(), win32::INFINITE);
                samples.push_back(Microseconds(Clock::duration(wokenAt.load()) - sentAt.time_since_epoch()));
            }
        }
        client.Close();
        worker.join();
        notifier->SetSocket(win32::INVALID_SOCKET, 0);
        DestroyNotifier(notifier);
        ReportPercentiles(state, samples);
    }
    win32::WSACleanup();
}
BENCHMARK(BM_SocketByteToWorkerWakeUp)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
