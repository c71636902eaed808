// Shapefile open + rewrite + flush against GDAL's copy and a plain copy.
//
// Builds a 1,000,000-point shapefile and a 10,000-line shapefile of 1,000,000 vertices (each with
// a one-column ".dbf"), then for each, in separate processes so that peak memory is that of the
// work alone:
//   - this program: open (all shapes), rewrite every vertex (clone, move, replace), flush;
//   - ogr2ogr -f "ESRI Shapefile" copying the file without reprojection;
//   - cp of the three files followed by sync (the floor).
// Reports seconds and peak resident memory (above an empty process of this program) per vertex;
// each figure is the median of three runs.
//
// With QUORVALIS_CLI naming a built quorvalis-cli (and QUORVALIS_BEACONS the sample beacons
// samples/beacons-lo29.csv), it then times whole transformation runs of both files in place:
// a control run (ten beacons, weighting) on one thread and on all cores, against ogr2ogr
// reprojecting the same file from EPSG:22291 to EPSG:2054, round after round, and reports the
// least and the median of each with the peak memory above an empty process of the program. With
// QUORVALIS_CLI_BASELINE naming another build (main's, say) its one-thread run is timed in the
// same rounds. QUORVALIS_ROUNDS sets the rounds (default 5).
// Usage: bench_shapefile [folder]   (default: a fresh folder under /tmp)
#include "database/ShapefileDatabase.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvalis;

namespace
{

constexpr int kPoints = 1000000;
constexpr int kLines = 10000;
constexpr int kVerticesPerLine = 100;

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A dBase III table with one numeric column "ID", as small tools write it.
void WriteDbf(const std::string& path, int records)
{
    std::vector<std::uint8_t> out(32, 0);
    out[0] = 0x03;
    out[1] = 125;
    out[2] = 1;
    out[3] = 1;
    std::memcpy(&out[4], &records, 4);
    const std::uint16_t headerSize = 32 + 32 + 1;
    const std::uint16_t recordSize = 1 + 10;
    std::memcpy(&out[8], &headerSize, 2);
    std::memcpy(&out[10], &recordSize, 2);
    std::uint8_t field[32] = {'I', 'D'};
    field[11] = 'N';
    field[16] = 10;
    out.insert(out.end(), field, field + 32);
    out.push_back(0x0D);
    char record[16];
    for (int i = 0; i < records; ++i)
    {
        std::snprintf(record, sizeof record, " %10d", i + 1);
        out.insert(out.end(), record, record + 11);
    }
    out.push_back(0x1A);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
}

std::vector<std::uint8_t> EmptyHeader(std::uint8_t type)
{
    std::vector<std::uint8_t> header(100, 0);
    header[2] = 0x27;
    header[3] = 0x0A;
    header[27] = 50;
    header[28] = 0xE8;
    header[29] = 0x03;
    header[32] = type;
    return header;
}

void MakeFiles(const std::string& folder)
{
    {
        GShapefile points;
        const auto header = EmptyHeader(1);
        points.OpenImages(folder + "/points.shp", header, header);
        for (int i = 0; i < kPoints; ++i)
            points.AppendShape(
                std::make_unique<GPoint>(2846046.101 + i * 0.013, 79016.354 - i * 0.007));
        points.Flush();
        WriteDbf(folder + "/points.dbf", kPoints);
    }
    {
        GShapefile lines;
        const auto header = EmptyHeader(3);
        lines.OpenImages(folder + "/lines.shp", header, header);
        for (int i = 0; i < kLines; ++i)
        {
            auto line = std::make_unique<GLine>();
            auto part = std::make_unique<GPointList>();
            for (int k = 0; k < kVerticesPerLine; ++k)
                part->Add(
                    std::make_unique<GPoint>(2846000.0 + i * 1.5 + k * 0.25, 79000.0 + k * 0.5));
            line->Parts.Add(std::move(part));
            lines.AppendShape(std::move(line));
        }
        lines.Flush();
        WriteDbf(folder + "/lines.dbf", kLines);
    }
}

enum class RewriteMode
{
    InPlace,   // every vertex of the shapes the shapefile holds is moved
    Clone,     // each shape is cloned, moved and put back
    RecordSet, // the walk of a transformation run: GetShape, Edit, SetShape, Post per record
};

// The measured work of this program, run in its own process.
int ChildRewrite(const std::string& path, RewriteMode mode)
{
    const auto shift = [](GPoint& p)
    {
        p.X += 0.125;
        p.Y -= 0.25;
    };
    auto start = std::chrono::steady_clock::now();
    double open = 0;
    double rewrite = 0;
    if (mode == RewriteMode::RecordSet)
    {
        auto recordSet = CreateShapefileRecordSet(false, path, false, false);
        if (!recordSet->Open())
            return 1;
        open = Seconds(start);
        start = std::chrono::steady_clock::now();
        for (recordSet->First(); !recordSet->Eof(); recordSet->Next())
        {
            auto shape = recordSet->GetShape();
            shape->ForEachPoint(shift);
            recordSet->Edit();
            recordSet->SetShape(*shape);
            recordSet->Post();
        }
        rewrite = Seconds(start);
        start = std::chrono::steady_clock::now();
        recordSet->Flush();
    }
    else
    {
        GShapefile file;
        file.SetLoadShapesOnOpen(true);
        file.Open(path);
        open = Seconds(start);
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < file.Count(); ++i)
        {
            if (mode == RewriteMode::InPlace)
            {
                file.GetShape(i)->ForEachPoint(shift);
                continue;
            }
            auto moved = file.GetShape(i)->Clone();
            moved->ForEachPoint(shift);
            file.ReplaceShape(i, std::move(moved));
        }
        rewrite = Seconds(start);
        start = std::chrono::steady_clock::now();
        file.Flush();
    }
    const double flush = Seconds(start);
    std::printf("%.4f %.4f %.4f\n", open, rewrite, flush);
    return 0;
}

struct RunResult
{
    double Seconds = 0;
    long PeakKiB = 0;
    std::string Output;
};

RunResult Run(const std::vector<std::string>& arguments)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        std::exit(2);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0)
    {
        ::dup2(pipeEnds[1], 1);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        std::vector<char*> argv;
        for (const auto& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    RunResult result;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        result.Output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeEnds[0]);
    int status = 0;
    struct rusage usage
    {
    };
    ::wait4(pid, &status, 0, &usage);
    result.Seconds = Seconds(start);
    result.PeakKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    {
        std::fprintf(stderr, "%s failed\n", arguments[0].c_str());
        std::exit(1);
    }
    return result;
}

constexpr int kRepeats = 3;

// Runs make() kRepeats times and keeps the run of median duration (the machine may be shared).
template <class Make, class Duration> RunResult Median(Make make, Duration duration)
{
    std::vector<RunResult> runs;
    for (int i = 0; i < kRepeats; ++i)
        runs.push_back(make());
    std::sort(runs.begin(), runs.end(),
              [&](const RunResult& a, const RunResult& b) { return duration(a) < duration(b); });
    return runs[runs.size() / 2];
}

// The three durations a ChildRewrite run prints.
struct ChildTimes
{
    double Open = 0;
    double Rewrite = 0;
    double Flush = 0;

    explicit ChildTimes(const RunResult& run)
    {
        std::sscanf(run.Output.c_str(), "%lf %lf %lf", &Open, &Rewrite, &Flush);
    }
    double Total() const { return Open + Rewrite + Flush; }
};

double ChildSeconds(const RunResult& run)
{
    return ChildTimes(run).Total();
}

double WallSeconds(const RunResult& run)
{
    return run.Seconds;
}

std::string SelfPath()
{
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

struct Figures
{
    std::vector<double> Seconds;
    long PeakKiB = 0;

    void Add(const RunResult& run)
    {
        Seconds.push_back(run.Seconds);
        PeakKiB = std::max(PeakKiB, run.PeakKiB);
    }
    double Least() const { return *std::min_element(Seconds.begin(), Seconds.end()); }
    double Median() const
    {
        std::vector<double> sorted = Seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

// Whole transformation runs through the command-line program against ogr2ogr's reprojection.
void CompareRuns(const std::string& folder, const std::string& cli, const std::string& beacons)
{
    const char* baseline = std::getenv("QUORVALIS_CLI_BASELINE");
    const char* roundsText = std::getenv("QUORVALIS_ROUNDS");
    const int rounds = roundsText ? std::max(1, std::atoi(roundsText)) : 5;
    const std::string home = folder + "/home";
    std::filesystem::remove_all(home);
    Run({cli, "--home", home, "import", "--class", "TRIG", "--csv", beacons, "--lo", "29",
         "--yes"});
    // The baseline is run without --threads (an older build has none): the stored setting keeps
    // a build that has threads to one. Every other run names its threads.
    Run({cli, "--home", home, "defaults", "set", "Threads", "1"});
    const long emptyKiB = Run({cli, "--version"}).PeakKiB;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::string all = std::to_string(cores);
    std::printf("\nwhole runs: control run (10 beacons, weighting) in place against ogr2ogr "
                "-s_srs EPSG:22291 -t_srs EPSG:2054; %d rounds\n",
                rounds);
    std::printf("%-8s %-28s %9s %9s %12s %14s\n", "file", "run", "least s", "median s", "peak MiB",
                "bytes/vertex");
    for (const char* name : {"lines", "points"})
    {
        const std::string source = folder + "/" + name;
        const std::string work = folder + "/run-" + name;
        const auto transform = [&](const std::string& program, const std::string& threads)
        {
            // A fresh copy each time: every run starts from the same Cape data.
            for (const char* ext : {".shp", ".shx", ".dbf"})
                std::filesystem::copy_file(source + ext, work + ext,
                                           std::filesystem::copy_options::overwrite_existing);
            Run({"cat", work + ".shp", work + ".shx", work + ".dbf"});
            std::vector<std::string> args{program,
                                          "--home",
                                          home,
                                          "transform",
                                          "--to",
                                          "hart94",
                                          "--shapefile",
                                          work + ".shp",
                                          "--method",
                                          "control",
                                          "--coordinate-system",
                                          "geodetic",
                                          "--lo",
                                          "29",
                                          "--transformation-lo",
                                          "29",
                                          "--strategy",
                                          "count",
                                          "--count",
                                          "10",
                                          "--weighting",
                                          "--no-report",
                                          "--yes",
                                          "--force"};
            if (!threads.empty())
                args.insert(args.end(), {"--threads", threads});
            return Run(args);
        };
        Figures base, one, cores_, ogr;
        for (int round = 0; round < rounds; ++round)
        {
            if (baseline)
                base.Add(transform(baseline, ""));
            one.Add(transform(cli, "1"));
            cores_.Add(transform(cli, all));
            const std::string out = folder + "/ogr-reprojected-" + name;
            for (const char* ext : {".shp", ".shx", ".dbf", ".prj"})
                std::filesystem::remove(out + ext);
            Run({"cat", source + ".shp", source + ".shx", source + ".dbf"});
            ogr.Add(Run({"ogr2ogr", "-s_srs", "EPSG:22291", "-t_srs", "EPSG:2054", out + ".shp",
                         source + ".shp"}));
        }
        const auto row = [&](const char* label, const Figures& figures, bool memory)
        {
            std::printf("%-8s %-28s %9.3f %9.3f %12.1f", name, label, figures.Least(),
                        figures.Median(), figures.PeakKiB / 1024.0);
            if (memory)
                std::printf(" %14.1f", (figures.PeakKiB - emptyKiB) * 1024.0 / 1e6);
            std::printf("\n");
        };
        if (baseline)
            row("baseline, 1 thread", base, true);
        row("1 thread", one, true);
        row((all + " threads (all cores)").c_str(), cores_, true);
        row("ogr2ogr reprojection", ogr, false);
        const bool lines = std::strcmp(name, "lines") == 0;
        std::printf("%-8s %-28s %9.3f %9.3f   (target %s)\n", name, "ratio all cores/ogr2ogr",
                    cores_.Least() / ogr.Least(), cores_.Median() / ogr.Median(),
                    lines ? "<= 0.6, stretch 0.5" : "<= 0.05");
        std::printf("%-8s %-28s %9.3f %9.3f\n", name, "ratio 1 thread/ogr2ogr",
                    one.Least() / ogr.Least(), one.Median() / ogr.Median());
        if (baseline)
            std::printf("%-8s %-28s %9.3f %9.3f   (target <= 1)\n", name, "ratio 1 thread/baseline",
                        one.Least() / base.Least(), one.Median() / base.Median());
    }
    std::printf("empty process of the program: %.1f MiB peak\n", emptyKiB / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--child-empty") == 0)
        return 0;
    if (argc == 3 && std::strcmp(argv[1], "--child-rewrite") == 0)
        return ChildRewrite(argv[2], RewriteMode::InPlace);
    if (argc == 3 && std::strcmp(argv[1], "--child-clone") == 0)
        return ChildRewrite(argv[2], RewriteMode::Clone);
    if (argc == 3 && std::strcmp(argv[1], "--child-recordset") == 0)
        return ChildRewrite(argv[2], RewriteMode::RecordSet);
    if (argc == 3 && std::strcmp(argv[1], "--child-make") == 0)
    {
        MakeFiles(argv[2]);
        return 0;
    }

    std::string folder;
    if (argc >= 2)
    {
        folder = argv[1];
        std::filesystem::create_directories(folder);
    }
    else
    {
        char pattern[] = "/tmp/bench-shapefile-XXXXXX";
        folder = ::mkdtemp(pattern);
    }
    std::printf("building the files in %s ...\n", folder.c_str());
    const std::string self = SelfPath();
    // Built by a child, so that this process stays small and its children start small.
    Run({self, "--child-make", folder});
    const long emptyKiB = Run({self, "--child-empty", "-"}).PeakKiB;
    const bool haveOgr = std::system("ogr2ogr --version > /dev/null 2>&1") == 0;

    std::printf("\n%-8s %-28s %9s %12s %14s\n", "file", "run", "seconds", "peak MiB",
                "bytes/vertex");
    for (const char* name : {"lines", "points"})
    {
        const std::string shp = folder + "/" + name + ".shp";
        const double vertices = 1e6;
        // Warm the page cache the same way for every contender.
        Run({"cat", shp, folder + "/" + name + ".shx", folder + "/" + name + ".dbf"});

        // The first mode is the one the targets are stated for; the others show what handing
        // shapes out and back (as a transformation run does) costs on top. "process" is the
        // whole child's wall time, start-up included, as ogr2ogr's is.
        double oursSeconds = 0;
        double oursBytes = 0;
        double recordSetWall = 0;
        for (const char* mode : {"--child-rewrite", "--child-clone", "--child-recordset"})
        {
            const RunResult ours = Median([&] { return Run({self, mode, shp}); }, ChildSeconds);
            const ChildTimes times(ours);
            const double seconds = times.Total();
            const double bytes = (ours.PeakKiB - emptyKiB) * 1024.0 / vertices;
            if (oursSeconds == 0)
            {
                oursSeconds = seconds;
                oursBytes = bytes;
            }
            const bool recordSet = std::strcmp(mode, "--child-recordset") == 0;
            if (recordSet)
                recordSetWall = ours.Seconds;
            std::printf("%-8s %-28s %9.3f %12.1f %14.1f   (open %.3f, rewrite %.3f, flush %.3f; "
                        "process %.3f)\n",
                        name,
                        recordSet                                 ? "record set: run's walk"
                        : std::strcmp(mode, "--child-clone") == 0 ? "open+clone/replace+flush"
                                                                  : "open+rewrite+flush",
                        seconds, ours.PeakKiB / 1024.0, bytes, times.Open, times.Rewrite,
                        times.Flush, ours.Seconds);
        }

        double ogrSeconds = 0;
        if (haveOgr)
        {
            const std::string out = folder + "/ogr-" + name;
            std::filesystem::remove_all(out);
            const RunResult ogr = Median(
                [&]
                {
                    for (const char* ext : {".shp", ".shx", ".dbf"})
                        std::filesystem::remove(out + ext);
                    return Run({"ogr2ogr", "-f", "ESRI Shapefile", out + ".shp", shp});
                },
                WallSeconds);
            ogrSeconds = ogr.Seconds;
            std::printf("%-8s %-28s %9.3f %12.1f\n", name, "ogr2ogr copy", ogr.Seconds,
                        ogr.PeakKiB / 1024.0);
        }
        const std::string copyFolder = folder + "/copy";
        const RunResult copy = Median(
            [&]
            {
                std::filesystem::remove_all(copyFolder);
                std::filesystem::create_directories(copyFolder);
                return Run({"sh", "-c",
                            "cp \"" + shp + "\" \"" + folder + "/" + name + ".shx\" \"" + folder +
                                "/" + name + ".dbf\" \"" + copyFolder + "/\" && sync"});
            },
            WallSeconds);
        std::printf("%-8s %-28s %9.3f %12.1f\n", name, "cp + sync (floor)", copy.Seconds,
                    copy.PeakKiB / 1024.0);
        if (haveOgr && ogrSeconds > 0)
        {
            std::printf("%-8s %-28s %9.3f   (target %s)\n", name, "ratio to ogr2ogr",
                        oursSeconds / ogrSeconds,
                        std::strcmp(name, "lines") == 0 ? "<= 0.75" : "<= 0.10");
            std::printf("%-8s %-28s %9.3f   (whole processes, record set walk)\n", name,
                        "ratio to ogr2ogr", recordSetWall / ogrSeconds);
        }
        std::printf("%-8s %-28s %9s   (target <= 100 bytes/vertex: %s)\n", name, "", "",
                    oursBytes <= 100 ? "met" : "NOT met");
    }
    std::printf("\nempty process: %.1f MiB peak\n", emptyKiB / 1024.0);
    const char* cli = std::getenv("QUORVALIS_CLI");
    const char* beacons = std::getenv("QUORVALIS_BEACONS");
    if (cli && beacons && haveOgr)
        CompareRuns(folder, cli, beacons);
    if (argc < 2)
        std::filesystem::remove_all(folder);
    return 0;
}
