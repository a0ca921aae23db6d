#include "pop3/TranslateAgent.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mail/Email.h"

namespace {

const std::string kContentType = "Content-Type: text/plain; charset=iso-2022-jp";

class TranslateAgentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        agent = std::make_unique<TranslateAgent>(nullptr);
        // Each mail ends with its loop turn: the agent serves copies of its own.
        for (int i = 1; i <= 3; ++i) {
            std::vector<std::string> lines(i, "line " + std::to_string(i));  // mail i has i body lines
            lines.insert(lines.begin(), {"Subject: mail " + std::to_string(i), kContentType, ""});
            Email mail;
            mail.SetMail(lines);
            sizes.push_back(mail.size);
            ids.push_back(mail.uniqueId);
            agent->AddMail(mail);
        }
        std::string greeting;
        ASSERT_TRUE(agent->GetResponse(greeting));
    }

    void TearDown() override { agent->StopAndWait(); }

    // Runs one command and collects every line it queued; an unknown command is refused and queues nothing.
    std::vector<std::string> Run(const std::string& line)
    {
        const bool accepted = agent->SendCommand(line);
        std::vector<std::string> answer;
        std::string response;
        while (agent->GetResponse(response)) {
            answer.push_back(response);
        }
        EXPECT_EQ(accepted, !answer.empty()) << line;
        return answer;
    }

    std::string SizeLine(int number) { return std::to_string(number) + " " + std::to_string(sizes[number - 1]); }

    std::unique_ptr<TranslateAgent> agent;
    std::vector<std::uint32_t> sizes;
    std::vector<std::string> ids;
};

// Each row's commands get the same answer; a row with no lines is a refused command.
TEST_F(TranslateAgentTest, CommandTable)
{
    using Lines = std::vector<std::string>;
    const Lines list = {"+OK", SizeLine(1), SizeLine(2), SizeLine(3), "."};
    const struct {
        Lines commands;
        Lines expected;
    } cases[] = {
        {{"user anyone", "Pass secret", "NOOP"}, {"+OK"}},
        {{"STAT"}, {"+OK 3 " + std::to_string(sizes[0] + sizes[1] + sizes[2])}},
        {{"LIST", "LIST "}, list},
        {{"LIST 2"}, {"+OK " + SizeLine(2)}},
        {{"UIDL"}, {"+OK", "1 " + ids[0], "2 " + ids[1], "3 " + ids[2], "."}},
        {{"uidl 3"}, {"+OK 3 " + ids[2]}},
        {{"RETR 1"}, {"+OK", "Subject: mail 1", kContentType, "", "line 1", "."}},
        {{"TOP 2 1"}, {"+OK", "Subject: mail 2", kContentType, "", "line 2", "."}},
        {{"TOP 3 0"}, {"+OK", "Subject: mail 3", kContentType, "", "."}},
        // Numbers past 32 bits are out of range, never wrapped onto mail 1 or 2.
        {{"RETR 0", "LIST 0", "UIDL 0", "TOP 0 0", "RETR 4", "RETR abc", "RETR -1", "RETR 4294967297",
          "TOP 4294967298 0", "LIST 4294967297", "UIDL 4294967298"},
         {"-ERR no such message."}},
        {{"DELE 4294967297", "DELE 7"}, {"-ERR"}},
        {{"TOP 1", "TOP 1 -5", "TOP"}, {"-ERR syntax error"}},
        {{"APOP a b", "CAPA", "", "STLS", "RETRX 1"}, {}},
        {{"quit"}, {"+OK"}},
    };
    for (const auto& c : cases) {
        for (const std::string& command : c.commands) {
            SCOPED_TRACE(command);
            EXPECT_EQ(Run(command), c.expected);
        }
    }
}

TEST_F(TranslateAgentTest, DeletionMarks)
{
    EXPECT_EQ(Run("DELE 2"), std::vector<std::string>{"+OK"});
    EXPECT_EQ(Run("DELE 2"), std::vector<std::string>{"+OK"}) << "a marked mail may be marked again";
    EXPECT_EQ(Run("STAT"), std::vector<std::string>{"+OK 2 " + std::to_string(sizes[0] + sizes[2])});
    EXPECT_EQ(Run("LIST"), (std::vector<std::string>{"+OK", SizeLine(1), SizeLine(3), "."}));
    EXPECT_EQ(Run("UIDL"), (std::vector<std::string>{"+OK", "1 " + ids[0], "3 " + ids[2], "."}));
    for (const char* command : {"LIST 2", "RETR 2", "UIDL 2"}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(Run(command), std::vector<std::string>{"-ERR no such message."});
    }
    EXPECT_EQ(Run("TOP 2 0").at(0), "+OK") << "TOP does not look at the mark";
    EXPECT_EQ(Run("RSET"), std::vector<std::string>{"+OK"});
    EXPECT_EQ(Run("LIST 2"), std::vector<std::string>{"+OK " + SizeLine(2)});
    EXPECT_EQ(Run("QUIT"), std::vector<std::string>{"+OK"});
    EXPECT_EQ(Run("LIST 2"), std::vector<std::string>{"+OK " + SizeLine(2)}) << "QUIT deletes nothing";
}

}  // namespace
