// One 32 KiB English text/plain mail through the steps of a translation (SetMail, DecodeBody, EncodeBody,
// GetMail), the rule decision (LoadRules of a 30-pair rule text, one RuleList::Match over that mail), and a
// 4 MiB mail turned from a relay capture (one text and line lengths) into an Email and freed.
#include <benchmark/benchmark.h>

#include "mail/Email.h"
#include "mail/MailCodec.h"
#include "rules/RuleList.h"

namespace {

std::vector<std::string> EnglishMail(std::size_t bodyOctets = 32 * 1024) {
    std::vector<std::string> lines = {
        "Return-Path: <alice@example.org>",
        "Received: from mail.example.org (mail.example.org [192.0.2.10])",
        "\tby mx.example.net with ESMTP id 4Q1x2y3z; Mon, 2 Dec 2024 09:15:02 +0000",
        "From: Alice Example <alice@example.org>",
        "To: Bob <bob@example.net>",
        "Cc: team@example.net",
        "Subject: Quarterly report and plans for the next quarter",
        "Date: Mon, 2 Dec 2024 09:15:00 +0000",
        "Message-ID: <20241202091500.1234@example.org>",
        "MIME-Version: 1.0",
        "Content-Type: text/plain; charset=us-ascii",
        "Content-Transfer-Encoding: 7bit",
        "",
    };
    static const char* const kParagraph[] = {
        "The quarterly figures are in, and revenue grew by four percent compared",
        "with the last quarter. Most of the growth came from the new office, which",
        "opened on time in October and has already signed three large customers.",
        "> Did the shipping delays affect the numbers for September at all?",
        "> We expected a small dip after the port strike in the second week.",
        "Only slightly: the delayed orders were delivered in the first days of",
        "October, so they count towards this quarter instead of the last one.",
        "",
    };
    std::size_t bytes = 0;
    for (std::size_t i = 0; bytes < bodyOctets; ++i) {
        const std::string line = kParagraph[i % std::size(kParagraph)];
        lines.push_back(line);
        bytes += line.size() + 2;
    }
    lines.push_back(".");
    return lines;
}

std::string WordRule(const std::string& className, int type, const std::string& text, int mode) {
    return className + "\n{\nWordRule\n{\nMailRule\n{\n" + std::to_string(type) + "\n}\n" +
           std::to_string(text.size()) + "\n" + text + "\n" + std::to_string(mode) + "\n0\n0\n}\n}\n";
}

std::string ValueRule(const std::string& className, int type, int op, int value) {
    return className + "\n{\nMailRule\n{\n" + std::to_string(type) + "\n}\n" + std::to_string(op) + "\n" +
           std::to_string(value) + "\n}\n";
}

// 30 pairs as a user might keep them: mostly Subject and sender rules, some on recipients, the MIME type, the
// size and the priority, and `bodyRules` of them (every tenth) on the body text. None matches the benchmark
// mail, so every pair is evaluated.
std::string ThirtyPairs(int bodyRules) {
    std::string text;
    for (int i = 0; i < 30; ++i) {
        std::string entries;
        int count = 1;
        const std::string word = "keyword" + std::to_string(i);
        switch (i % 10) {
            case 0: case 1: case 2: case 3:
                entries = WordRule("WordContainSubjectRule", 0, "[" + word + "]", 1);
                break;
            case 4: case 5:
                entries = WordRule("UserContainFromRule", 1, word + "@example.com", 1);
                break;
            case 6:
                entries = WordRule("UserContainToRule", 7, word, 1) + WordRule("UserContainCcRule", 8, word, 1);
                count = 2;
                break;
            case 7:
                entries = i / 10 < bodyRules ? WordRule("WordContainMessageRule", 2, "unsubscribe " + word, 1)
                                             : WordRule("WordContainSubjectRule", 0, "[" + word + "]", 5);
                break;
            case 8:
                entries = ValueRule("ContentTypeMessageRule", 3, 2, 1) + ValueRule("MailSizeRule", 5, 1, 1000000);
                count = 2;
                break;
            default:
                entries = ValueRule("PriorityMessageRule", 6, 1, 1) + ValueRule("CharsetMessageRule", 4, 1, 4);
                count = 2;
                break;
        }
        text += "Rule\n{\n1\nPair" + std::to_string(i) + "\n0\n0\n" + std::to_string(count) + "\n" + entries +
                "}\n";
    }
    return text;
}

void TranslationSteps(benchmark::State& state) {
    const std::vector<std::string> lines = EnglishMail();
    for (auto _ : state) {
        Email mail;
        mail.SetMail(lines);
        std::vector<std::string> decoded;
        MailCodec().DecodeBody(mail, decoded);
        mail.SetBody(decoded);
        MailCodec().EncodeBody(mail);
        LineList out;
        mail.GetMail(out);
        benchmark::DoNotOptimize(out.size());
    }
}

void RuleDecision(benchmark::State& state) {
    const std::string rules = ThirtyPairs(static_cast<int>(state.range(0)));
    Email mail;
    mail.SetMail(EnglishMail());
    for (auto _ : state) {
        RuleList list;
        list.LoadRules(rules);
        benchmark::DoNotOptimize(list.Match(mail));
    }
}

// Arg 0: each captured line copied into a std::string first, then SetMail (how the capture was handed over
// before); Arg 1: views into the captured text, SetMail copying each line once.
void CaptureToEmail(benchmark::State& state) {
    std::string text;
    std::vector<std::uint32_t> lengths;
    for (const std::string& line : EnglishMail(4 * 1024 * 1024)) {
        text += line;
        lengths.push_back(static_cast<std::uint32_t>(line.size()));
    }
    const bool views = state.range(0) == 1;
    for (auto _ : state) {
        Email mail;
        std::size_t position = 0;
        if (views) {
            std::vector<std::string_view> lines;
            lines.reserve(lengths.size());
            for (const std::uint32_t length : lengths) {
                lines.push_back(std::string_view(text).substr(position, length));
                position += length;
            }
            mail.SetMail(lines);
        } else {
            std::vector<std::string> lines;
            lines.reserve(lengths.size());
            for (const std::uint32_t length : lengths) {
                lines.emplace_back(text, position, length);
                position += length;
            }
            mail.SetMail(lines);
        }
        benchmark::DoNotOptimize(mail.size);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

BENCHMARK(TranslationSteps)->Unit(benchmark::kMicrosecond);
BENCHMARK(RuleDecision)->ArgName("bodyRules")->Arg(0)->Arg(1)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(CaptureToEmail)->ArgName("views")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
