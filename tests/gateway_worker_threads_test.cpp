// A bus worker as the service runs it, in this process: its own thread polling the
// simulator while writes come from several threads at once and a listener takes
// every event. Built with ThreadSanitizer too, which watches the worker's queue, its
// write list and the listener queues.
#include "support/sim_bus.h"

#include "gateway/bus_worker.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <thread>

namespace tavo::gateway {
namespace {

TEST(GatewayWorkerThreads, WritesFromManyThreadsAreEachAnsweredOnceBetweenPolls) {
    test::SimBus sim("0A R550 inputs=A5\n0B R550 inputs=0F\n");
    BusConfig config;
    config.name = "line1";
    config.port = sim.path();
    config.timeoutMs = 500; // every request is answered: only a lost reply waits it out
    config.pollMs = 0;
    for (const int address : {0x0A, 0x0B}) {
        ModuleConfig m;
        m.where = {address, -1, PointProtocol::Ascii};
        m.model = "R550";
        m.writable = {"do0", "do1"};
        config.modules.push_back(m);
    }
    auto events = std::make_shared<EventQueue>();
    BusWorker worker(config, [](const std::string&) {});
    worker.AddListener(events);
    std::string error;
    ASSERT_TRUE(worker.Open(error)) << error;
    worker.Start();

    constexpr int kThreads = 4, kEach = 10;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                WriteRequest w;
                w.key = {"line1", {t % 2 ? 0x0B : 0x0A, -1, PointProtocol::Ascii}};
                w.point = t < 2 ? "do0" : "do1";
                w.value = i % 2;
                w.tag = static_cast<std::uint64_t>(t * kEach + i);
                w.replyTo = events;
                std::string why;
                // The worker holds at most kMaxQueuedWrites: 40 fit.
                EXPECT_TRUE(worker.Submit(std::move(w), why)) << why;
            }
        });
    for (auto& w : writers) w.join();

    std::vector<int> answers(kThreads * kEach, 0);
    int done = 0, states = 0;
    for (int waits = 0; waits < 600; ++waits) {
        // The read after the last write follows its answer: once every answer is in,
        // the worker stops after it, and what is left is taken once more.
        const bool last = done == kThreads * kEach;
        if (last) worker.Stop();
        pollfd fd{events->Descriptor(), POLLIN, 0};
        if (!last) ::poll(&fd, 1, 100);
        for (auto& event : events->TakeAll()) {
            if (const auto* d = std::get_if<WriteDone>(&event)) {
                EXPECT_TRUE(d->ok) << d->point << ": " << d->error;
                ASSERT_LT(d->tag, answers.size());
                ++answers[d->tag];
                ++done;
            } else if (std::holds_alternative<ModuleState>(event)) {
                ++states;
            }
        }
        if (last) break;
    }
    worker.Stop();
    EXPECT_EQ(done, kThreads * kEach);
    for (std::size_t tag = 0; tag < answers.size(); ++tag) EXPECT_EQ(answers[tag], 1) << "write " << tag;
    // Each good write is followed by a fresh read of its module.
    EXPECT_GE(states, kThreads * kEach);
}

} // namespace
} // namespace tavo::gateway
