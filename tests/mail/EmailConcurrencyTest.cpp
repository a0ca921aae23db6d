// One Email used by several threads at once, as the relay, translate and agent threads may: the locked
// operations must never expose a half-made body or header list.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "mail/Email.h"

namespace {

std::vector<std::string> BodyOf(char letter, int lines) {
    return std::vector<std::string>(static_cast<std::size_t>(lines), std::string(20, letter));
}

TEST(EmailConcurrency, ReadersSeeWholeBodiesWhileWritersReplaceThem) {
    Email mail;
    std::vector<std::string> initial = {"Subject: s", "To: t", ""};
    mail.SetMail(initial);
    mail.SetBody(BodyOf('a', 50));

    constexpr int kRounds = 300;
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            mail.SetBody(BodyOf(i % 2 ? 'a' : 'b', i % 2 ? 50 : 80));
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
                // Header lines, the empty line, then 50 lines of a or 80 of b, then ".".
                const std::size_t body = out.size() - 4;
                const char letter = out[3][0];
                bool whole = (letter == 'a' && body == 50) || (letter == 'b' && body == 80);
                for (std::size_t k = 3; whole && k < 3 + body; ++k) {
                    whole = out[k] == std::string(20, letter);
                }
                torn += whole ? 0 : 1;
                Email copy(mail);
                std::int32_t rate = 0;
                copy.GetEnglishRate(rate);
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
