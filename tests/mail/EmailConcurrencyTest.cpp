// One Email used by several threads at once, as the relay, translate and agent threads may: the locked
// operations must never expose a half-made body or header list.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "mail/Email.h"

namespace {

// The two bodies the writer swaps: 50 lines of "a" or 80 lines of "b".
std::vector<std::string> BodyOf(char letter) {
    return std::vector<std::string>(letter == 'a' ? 50 : 80, std::string(20, letter));
}

TEST(EmailConcurrency, ReadersSeeWholeBodiesWhileWritersReplaceThem) {
    Email mail;
    mail.SetMail(std::vector<std::string>{"Subject: s", "To: t", ""});
    mail.SetBody(BodyOf('a'));
    constexpr int kRounds = 300;
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            mail.SetBody(BodyOf(i % 2 ? 'a' : 'b'));
        }
    });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            mail.SetHeader("Subject", "round " + std::to_string(i));
        }
    });
    for (int reader = 0; reader < 2; ++reader) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                LineList out;
                mail.GetMail(out);
                // Two header lines and the empty line, the body, then ".".
                const std::vector<std::string> body(out.Lines().begin() + 3, out.Lines().end() - 1);
                torn += !body.empty() && body == BodyOf(body.front()[0]) ? 0 : 1;
                std::int32_t rate = 0;
                Email(mail).GetEnglishRate(rate);
                torn += rate == 100 ? 0 : 1;
                mail.BodyLineStartsWith("b", true, false);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
