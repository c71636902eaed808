// Stored settings: the text of each kind, the defaults, and what a project loads from them.
#include "ProjectTestSupport.h"

#include <fstream>
#include <tuple>

namespace quorvalis::test
{
namespace
{

using RegistryTest = ProjectTest;

TEST_F(RegistryTest, ValuesAreTextAndReadBackWithTheirConversions)
{
    GRegistry registry;
    registry.WriteFloat("Helmert A", 0.99999629184520861);
    registry.WriteFloat("Cape X", -2850630.82);
    registry.WriteInteger("Local Origin", 29);
    registry.WriteBool("Exchange", true);
    // The stored text itself: 15 significant digits with '.', decimal integers, "0"/"1".
    EXPECT_EQ(registry.ReadString("Helmert A", ""), "0.999996291845209");
    EXPECT_EQ(registry.ReadString("Cape X", ""), "-2850630.82");
    EXPECT_EQ(registry.ReadString("Local Origin", ""), "29");
    EXPECT_EQ(registry.ReadString("Exchange", ""), "1");
    EXPECT_DOUBLE_EQ(registry.ReadFloat("Helmert A", 1.0), 0.999996291845209);
    EXPECT_EQ(registry.ReadInteger("Local Origin", 31), 29);
    EXPECT_TRUE(registry.ReadBool("Exchange", false));

    // Text that is not a number: floats read 0.0, integers and booleans their default.
    registry.WriteString("Helmert A", "abc");
    registry.WriteString("Local Origin", "29.5");
    registry.WriteString("Negate X", "yes");
    registry.WriteString("Negate Y", "7");
    EXPECT_EQ(registry.ReadFloat("Helmert A", 1.0), 0.0);
    EXPECT_EQ(registry.ReadInteger("Local Origin", 31), 31);
    EXPECT_TRUE(registry.ReadBool("Negate X", true));
    EXPECT_FALSE(registry.ReadBool("Negate X", false));
    EXPECT_TRUE(registry.ReadBool("Negate Y", false));     // any integer other than 0
    EXPECT_EQ(registry.ReadFloat("Y Constant", 2.5), 2.5); // missing: the default, also for floats
}

TEST_F(RegistryTest, HandEditedListTextIsNotLost)
{
    // An INI line with a comma reads as a list in QSettings; the text must survive as written.
    std::ofstream(SettingsFile) << "[General]\nHelmert%20A=1,5\nInstall=C:\\Quorvalis\n";
    GRegistry registry;
    EXPECT_EQ(registry.ReadString("Helmert A", ""), "1,5");
    // Stored under a ',' locale: still the number, never 0.
    EXPECT_DOUBLE_EQ(registry.ReadFloat("Helmert A", 1.0), 1.5);
    registry.WriteString("Cape X", "-2850630,82");
    EXPECT_DOUBLE_EQ(registry.ReadFloat("Cape X", 0.0), -2850630.82);
    registry.WriteFloat("Cape X", 0.5); // written back with '.' whatever the locale
    EXPECT_EQ(registry.ReadString("Cape X", ""), "0.5");
}

TEST_F(RegistryTest, ProjectLoadsTheStoredOrTheReadingDefaults)
{
    GProject project;
    project.ApplyWeighting = true;
    project.LoadDefaults();
    EXPECT_EQ(project.TransformationLocalOrigin, 31.0);
    EXPECT_FALSE(project.ApplyWeighting); // the reading default, not a new project's true
    EXPECT_FALSE(std::filesystem::exists(SettingsFile)) << "reading must not create the store";

    GRegistry registry;
    registry.WriteString("Local Origin", "29");
    registry.WriteString("Helmert A", "abc");
    registry.WriteString("Coordinate System", "9"); // no such system: the default
    project.LoadDefaults();
    EXPECT_EQ(project.LocalOrigin, 29.0);
    EXPECT_EQ(project.TransformationLocalOrigin, 29.0);
    EXPECT_EQ(project.HelmertA, 0.0);
    EXPECT_EQ(project.CoordinateSystem, 0);
}

auto Fields(GStoredSettings& s)
{
    return std::tie(s.LocalOrigin, s.CoordinateSystem, s.ProjectTransformation, s.XConstant,
                    s.YConstant, s.Exchange, s.NegateX, s.NegateY, s.ApplyWeighting,
                    s.ControlDistance, s.HelmertA, s.HelmertB, s.CapeX, s.CapeY, s.WGSX, s.WGSY,
                    s.HelmertMode, s.Output, s.OutputMode, s.ShowMessage);
}

TEST_F(RegistryTest, StoredSettingsRoundTrip)
{
    // Every value differs from its default and has at most 15 significant digits.
    GStoredSettings settings;
    Fields(settings) = std::tuple(25, 1, 1, -0.1, 1e20, true, true, true, true, 12.5,
                                  0.999996231920725, -1.92667530609076e-07, 2475381.60473896, -3.5,
                                  7.25, -90186.0172517856, 1, true, 1, false);
    WriteStoredSettings(settings);
    settings.ShowMessage = true; // not written by the defaults command
    GStoredSettings read = ReadStoredSettings();
    EXPECT_EQ(Fields(read), Fields(settings));
}

} // namespace
} // namespace quorvalis::test
