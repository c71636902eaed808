// Stored settings: the text of each kind, the defaults, and what a project loads from them.
#include "ProjectTestSupport.h"

#include <fstream>

namespace quorvalis::test
{
namespace
{

using RegistryTest = ProjectTest;

TEST_F(RegistryTest, FirstStartGivesTheReadingDefaults)
{
    GProject project;
    project.ApplyWeighting = true;
    project.LocalOrigin = 17.0;
    project.LoadDefaults();
    EXPECT_EQ(project.LocalOrigin, 31.0);
    EXPECT_EQ(project.TransformationLocalOrigin, 31.0);
    EXPECT_EQ(project.CoordinateSystem, 0);
    EXPECT_EQ(project.ProjectTransformation, 0);
    EXPECT_FALSE(project.ApplyWeighting); // the reading default, not a new project's true
    EXPECT_EQ(project.ControlDistance, 300.0);
    EXPECT_EQ(project.HelmertA, 1.0);
    EXPECT_EQ(project.HelmertB, 1.0);
    EXPECT_FALSE(project.Output);
    EXPECT_TRUE(project.ShowMessage);
    EXPECT_FALSE(std::filesystem::exists(SettingsFile)) << "reading must not create the store";
}

TEST_F(RegistryTest, ValuesAreTextAndReadBackWithTheirConversions)
{
    GRegistry registry;
    registry.WriteFloat("Helmert A", 0.99999629184520861);
    registry.WriteFloat("Cape X", -2850630.82);
    registry.WriteInteger("Local Origin", 29);
    registry.WriteBool("Exchange", true);
    EXPECT_TRUE(registry.CanCreate);

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
    EXPECT_TRUE(registry.ReadBool("Negate Y", false)); // any integer other than 0
    // Missing values give the defaults, also for floats.
    EXPECT_EQ(registry.ReadFloat("Y Constant", 2.5), 2.5);
    EXPECT_EQ(registry.ReadString("Install", "none"), "none");
}

TEST_F(RegistryTest, HandEditedListTextIsNotLost)
{
    // An INI line with a comma reads as a list in QSettings; the text must survive as written.
    {
        std::ofstream file(SettingsFile);
        file << "[General]\nHelmert%20A=1,5\nInstall=C:\\Quorvalis\n";
    }
    GRegistry registry;
    EXPECT_EQ(registry.ReadString("Helmert A", ""), "1,5");
    EXPECT_EQ(registry.ReadFloat("Helmert A", 1.0), 0.0); // '.' is the only decimal point
}

TEST_F(RegistryTest, LocalOriginLoadsBothOrigins)
{
    GRegistry registry;
    registry.WriteString("Local Origin", "29");
    registry.WriteString("Helmert A", "abc");
    registry.WriteString("Coordinate System", "9"); // no such system: the default
    GProject project;
    project.LoadDefaults();
    EXPECT_EQ(project.LocalOrigin, 29.0);
    EXPECT_EQ(project.TransformationLocalOrigin, 29.0);
    EXPECT_EQ(project.HelmertA, 0.0);
    EXPECT_EQ(project.CoordinateSystem, 0);
}

TEST_F(RegistryTest, StoredSettingsRoundTrip)
{
    GStoredSettings settings;
    settings.LocalOrigin = 25;
    settings.CoordinateSystem = 1;
    settings.ProjectTransformation = 1;
    settings.XConstant = -0.1;
    settings.YConstant = 1e20;
    settings.Exchange = settings.NegateX = settings.NegateY = settings.ApplyWeighting = true;
    settings.ControlDistance = 12.5;
    settings.HelmertA = 0.9999962319207251;
    settings.HelmertB = -1.9266753060907577e-07;
    settings.CapeX = 2475381.60473896;
    settings.WGSY = -90186.01725178555;
    settings.HelmertMode = 1;
    settings.Output = true;
    settings.OutputMode = 1;
    settings.ShowMessage = false; // not written by the defaults command
    WriteStoredSettings(settings);
    const GStoredSettings read = ReadStoredSettings();
    EXPECT_EQ(read.LocalOrigin, 25);
    EXPECT_EQ(read.CoordinateSystem, 1);
    EXPECT_EQ(read.ProjectTransformation, 1);
    EXPECT_EQ(read.XConstant, -0.1);
    EXPECT_EQ(read.YConstant, 1e20);
    EXPECT_TRUE(read.Exchange && read.NegateX && read.NegateY && read.ApplyWeighting);
    EXPECT_EQ(read.ControlDistance, 12.5);
    EXPECT_NEAR(read.HelmertA, 0.9999962319207251, 1e-15);
    EXPECT_NEAR(read.HelmertB, -1.9266753060907577e-07, 1e-21);
    EXPECT_NEAR(read.CapeX, 2475381.60473896, 1e-8);
    EXPECT_NEAR(read.WGSY, -90186.01725178555, 1e-9);
    EXPECT_EQ(read.HelmertMode, 1);
    EXPECT_TRUE(read.Output);
    EXPECT_EQ(read.OutputMode, 1);
    EXPECT_TRUE(read.ShowMessage);
}

TEST_F(RegistryTest, HomeVariableIsolatesTheSettings)
{
    GRegistry::SetSettingsFile(std::nullopt);
    EXPECT_EQ(GRegistry::SettingsFile(), Folder / "Tarnex" / "Quorvalis.conf");
    GRegistry registry;
    registry.WriteInteger("Output Mode", 1);
    EXPECT_TRUE(std::filesystem::exists(Folder / "Tarnex" / "Quorvalis.conf"));
    EXPECT_EQ(GRegistry().ReadInteger("Output Mode", 0), 1);
}

} // namespace
} // namespace quorvalis::test
