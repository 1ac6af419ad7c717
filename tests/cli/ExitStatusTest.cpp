// The exit statuses as the README and the help tell them, against the table the
// program ends by.
#include "cli/ExitStatus.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Help.h"

namespace korvane::cli {
namespace {

std::vector<int> TableStatuses()
{
    std::vector<int> statuses;
    for (const ExitStatusRow& row : ExitStatusTable()) statuses.push_back(row.status);
    return statuses;
}

TEST(ExitStatuses, HelpListsEveryStatusTheProgramEndsWith)
{
    for (const CommandKind command : {CommandKind::None, CommandKind::Flash}) {
        const std::string help = HelpText(command);
        const std::size_t list = help.find("Exit status:\n");
        ASSERT_NE(list, std::string::npos);
        std::vector<int> listed;
        std::istringstream lines(help.substr(list));
        std::string line;
        const std::regex entry(R"(^  (\d+) +\S.*$)");
        std::smatch match;
        while (std::getline(lines, line)) {
            if (std::regex_match(line, match, entry)) listed.push_back(std::stoi(match[1]));
        }
        EXPECT_EQ(listed, TableStatuses());
    }
}

#ifdef KORVANE_README
TEST(ExitStatuses, ReadmeTableAndOrderMatchTheProgram)
{
    std::ifstream file(KORVANE_README);
    ASSERT_TRUE(file) << KORVANE_README;
    std::string line;
    while (std::getline(file, line) && line != "Exit status, for every command:") {}
    ASSERT_TRUE(file) << "no exit-status table in the README";
    std::vector<int> rows;
    const std::regex row(R"(^\| (\d+) \|.*)");
    std::smatch match;
    std::string order;
    while (std::getline(file, line)) {
        if (std::regex_match(line, match, row)) rows.push_back(std::stoi(match[1]));
        if (line.find("in the order") != std::string::npos) {
            std::getline(file, order);  // the order runs on to the next line
            order = line + " " + order;
            break;
        }
    }
    EXPECT_EQ(rows, TableStatuses());

    // "in the order 129/130/143, 3, 2, 1, 0": each group ranks below the one
    // before it, and statuses in one group rank alike.
    const std::regex orderText(R"(in the order ([0-9/, ]+[0-9]))");
    ASSERT_TRUE(std::regex_search(order, match, orderText)) << order;
    std::istringstream groups(match[1].str());
    std::string group;
    int previousRank = Severity(kExitSignalBase + 2) + 1;
    while (std::getline(groups, group, ',')) {
        std::istringstream statuses(group);
        std::string status;
        std::getline(statuses, status, '/');
        const int rank = Severity(std::stoi(status));
        EXPECT_LT(rank, previousRank) << group;
        while (std::getline(statuses, status, '/')) {
            EXPECT_EQ(Severity(std::stoi(status)), rank) << group;
        }
        previousRank = rank;
    }
}
#endif

TEST(ExitStatuses, SeveralRadiosEndWithTheMostSevere)
{
    EXPECT_EQ(MoreSevere(kExitFailed, kExitPort), kExitPort);
    EXPECT_EQ(MoreSevere(kExitPort, kExitUsage), kExitPort);
    EXPECT_EQ(MoreSevere(kExitInterrupted, kExitPort), kExitInterrupted);
    EXPECT_EQ(MoreSevere(kExitSuccess, kExitFailed), kExitFailed);
    // Alike in rank, the first stands.
    EXPECT_EQ(MoreSevere(kExitSignalBase + 15, kExitInterrupted), kExitSignalBase + 15);
}

}  // namespace
}  // namespace korvane::cli
