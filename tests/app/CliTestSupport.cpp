#include "CliTestSupport.h"

#include "app/Cli.h"
#include "database/ShapefileDatabase.h"
#include "database/engine/Session.h"
#include "project/WinRegistry.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace quorvalis::test
{

namespace fs = std::filesystem;

void CliTest::SetUp()
{
    std::random_device random;
    Folder = fs::temp_directory_path() /
             ("quorvalis-cli-test-" + std::to_string(random()) + "-" + std::to_string(random()));
    Home = Folder / "home";
    fs::create_directories(Home);
    ::setenv("QUORVALIS_HOME", Home.c_str(), 1);
    GRegistry::SetSettingsFile(std::nullopt);
    engine::Session::Default().SetHomeDirectory({});
}

void CliTest::TearDown()
{
    engine::Session::Default().SetHomeDirectory({});
    ::unsetenv("QUORVALIS_HOME");
    std::error_code ignored;
    fs::remove_all(Folder, ignored);
}

CliRun CliTest::Run(const std::vector<std::string>& args) const
{
    return RunCliInProcess(args);
}

CliRun CliTest::Transform(const std::string& to, const std::string& file,
                          const std::vector<std::string>& options) const
{
    std::vector<std::string> args{"transform", "--to", to, "--shapefile", file};
    args.insert(args.end(), options.begin(), options.end());
    return Run(args);
}

namespace
{

std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

CliRun CliTest::Execute(const std::vector<std::string>& args) const
{
    const fs::path out = Folder / "stdout.txt";
    const fs::path err = Folder / "stderr.txt";
    std::string command =
        "QUORVALIS_HOME=" + ShellQuote(Home.string()) + " " + ShellQuote(QUORVALIS_CLI_PATH);
    for (const std::string& arg : args)
        command += " " + ShellQuote(arg);
    command += " >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    CliRun run;
    run.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Out = ReadFile(out);
    run.Err = ReadFile(err);
    return run;
}

std::string CliTest::Sample(const std::string& name)
{
    return std::string(QUORVALIS_SOURCE_DIR) + "/samples/" + name;
}

std::string CliTest::CopySample(const std::string& name) const
{
    const fs::path source = Sample(name);
    if (source.extension() == ".shp")
        for (const char* extension : {".shx", ".dbf"})
            fs::copy_file(fs::path(source).replace_extension(extension),
                          Folder / fs::path(source.filename()).replace_extension(extension),
                          fs::copy_options::overwrite_existing);
    fs::copy_file(source, Folder / source.filename(), fs::copy_options::overwrite_existing);
    return (Folder / source.filename()).string();
}

void CliTest::ImportSampleBeacons() const
{
    const CliRun run = Run(
        {"import", "--class", "TRIG", "--csv", Sample("beacons-lo29.csv"), "--lo", "29", "--yes"});
    ASSERT_EQ(run.Code, 0) << run.Err;
}

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::pair<double, double>> ShapefileVertices(const std::string& path)
{
    auto recordSet = CreateShapefileRecordSet(false, path, true, false);
    std::vector<std::pair<double, double>> vertices;
    if (!recordSet->Open())
        return vertices;
    for (recordSet->First(); !recordSet->Eof(); recordSet->Next())
        if (const auto shape = recordSet->GetShape())
            static_cast<const GShape&>(*shape).ForEachPoint(
                [&](const GPoint& point) { vertices.emplace_back(point.X, point.Y); });
    recordSet->Close();
    return vertices;
}

} // namespace quorvalis::test
