// TranslateAgent's command table driven by arbitrary lines over three translated mails: RSET always brings
// back the STAT of the start, and no answer line carries a line break.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "mail/Email.h"
#include "pop3/TranslateAgent.h"

namespace {

std::unique_ptr<Email> MakeMail(int number) {
    std::vector<std::string> lines{"Subject: mail " + std::to_string(number),
                                   "Content-Type: text/plain; charset=iso-2022-jp", ""};
    for (int i = 0; i < number * 3; ++i) {
        lines.push_back(i % 2 == 0 ? "line " + std::to_string(i) : ".dot-stuffed " + std::to_string(i));
    }
    auto mail = std::make_unique<Email>();
    mail->SetMail(lines);
    return mail;
}

std::vector<std::string> Drain(TranslateAgent& agent) {
    std::vector<std::string> answer;
    std::string response;
    while (agent.GetResponse(response)) {
        if (response.find_first_of("\r\n") != std::string::npos) {
            std::abort();
        }
        answer.push_back(response);
    }
    return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TranslateAgent agent(nullptr);
    for (int number = 1; number <= 3; ++number) {
        agent.AddMail(*MakeMail(number));
    }
    Drain(agent);  // the greeting
    agent.SendCommand("STAT");
    const std::vector<std::string> initialStat = Drain(agent);
    int count = 0;
    for (std::string& line : fuzz::Lines(fuzz::View(data, size))) {
        if (++count > 200) {
            break;  // longer inputs only repeat what shorter ones reach
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // A leading '!' sends the line the way the connection thread does; its answers go nowhere here.
        if (!line.empty() && line.front() == '!') {
            agent.ProcessCommand(line.substr(1));
        } else {
            agent.SendCommand(line);
        }
        Drain(agent);
    }
    agent.SendCommand("RSET");
    Drain(agent);
    agent.SendCommand("STAT");
    if (Drain(agent) != initialStat) {
        std::abort();
    }
    agent.StopAndWait();
    return 0;
}
