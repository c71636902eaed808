// The built program itself: exit codes, which stream gets what, and the state it keeps under
// QUORVALIS_HOME (or --home).
#include "CliTestSupport.h"

#include <gmock/gmock.h>

namespace quorvalis::test
{
namespace
{

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(CliTest, ExecutableExitCodesAndStreams)
{
    const CliRun help = Execute({"--help"});
    EXPECT_EQ(help.Code, 0);
    EXPECT_THAT(help.Out, StartsWith("Usage: quorvalis-cli"));
    EXPECT_EQ(help.Err, "");

    const CliRun usage = Execute({"transform", "--to", "hart94", "--shapefile"});
    EXPECT_EQ(usage.Code, 2);
    EXPECT_EQ(usage.Out, "");
    EXPECT_EQ(usage.Err, "quorvalis-cli: option '--shapefile' needs 1 value\n"
                         "Try 'quorvalis-cli transform --help'.\n");

    const std::string missing = (Folder / "gone.shp").string();
    const CliRun error = Execute({"transform", "--to", "hart94", "--shapefile", missing, "--yes"});
    EXPECT_EQ(error.Code, 1);
    EXPECT_EQ(error.Out, "");
    EXPECT_EQ(error.Err, "error: You must select a valid shapefile!\n");
}

TEST_F(CliTest, ExecutableKeepsItsStateInTheHomeFolder)
{
    // No progress bar and no warnings when stderr is not a terminal.
    const CliRun import = Execute(
        {"import", "--class", "TRIG", "--csv", Sample("beacons-lo29.csv"), "--lo", "29", "--yes"});
    EXPECT_EQ(import.Code, 0);
    EXPECT_EQ(import.Err, "");
    EXPECT_THAT(import.Out, HasSubstr("20 beacons added"));
    EXPECT_TRUE(std::filesystem::exists(Home / "aliases.ini"));

    EXPECT_EQ(Execute({"defaults", "set", "Local Origin", "27"}).Code, 0);
    EXPECT_TRUE(std::filesystem::exists(Home / "Tarnex" / "Quorvalis.conf"));
    EXPECT_EQ(Execute({"defaults", "get", "Local Origin"}).Out, "27\n");

    // --home points at another folder, which starts empty.
    const std::string other = (Folder / "other").string();
    EXPECT_EQ(Execute({"--home", other, "defaults", "get", "Local Origin"}).Out, "31\n");
    EXPECT_THAT(Execute({"--home", other, "control", "list"}).Out,
                HasSubstr("\n0 control coordinates\n"));
    EXPECT_THAT(Execute({"control", "list"}).Out, HasSubstr("\n20 control coordinates\n"));
}

} // namespace
} // namespace quorvalis::test
