// Shared pieces of the command line tests: a scratch folder that holds the settings and the
// QUORVALIS store of each test, and runs of the program in this process or as the real
// executable.
#pragma once

#include "tests/InProcessCli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace quorvalis::test
{

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// RunCli in this process (no progress bar).
    CliRun Run(const std::vector<std::string>& args) const;
    /// Run of "transform --to <to> --shapefile <file>" followed by options.
    CliRun Transform(const std::string& to, const std::string& file,
                     const std::vector<std::string>& options = {}) const;
    /// The built quorvalis-cli with QUORVALIS_HOME set to Home.
    CliRun Execute(const std::vector<std::string>& args) const;

    /// A sample file copied into the scratch folder (with its sibling files for a shapefile);
    /// returns the copy's path.
    std::string CopySample(const std::string& name) const;
    static std::string Sample(const std::string& name);
    /// Imports samples/beacons-lo29.csv as TRIG with Lo 29.
    void ImportSampleBeacons() const;

    std::filesystem::path Folder; ///< scratch folder of the test
    std::filesystem::path Home;   ///< Folder/home: settings and store
};

std::string ReadFile(const std::filesystem::path& file);
/// The vertices (x, y) of every shape of a shapefile, record by record.
std::vector<std::pair<double, double>> ShapefileVertices(const std::string& path);

} // namespace quorvalis::test
