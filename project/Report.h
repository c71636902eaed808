// The transformation report: fixed-column plain text, lines ended by CR LF, numbers with a space
// as thousands separator and a comma as decimal separator (produced directly; the process-wide
// number formatting is never changed). Coordinates are Lo metres, Y before X.
//
// The file is written through a temporary and renamed into place by Close, so a reader never sees
// half a report; a run ended by an error closes it with what was written so far.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalis
{

class GAtomicFile;
class GHelmertTransformation;
struct GSheetParameters;

class GReport
{
public:
    /// Creates (or will replace) the file; raises GFileException when it cannot be created.
    explicit GReport(const std::string& fileName);
    /// Without Close the file is left as it was before (nothing is written).
    ~GReport();
    GReport(const GReport&) = delete;
    GReport& operator=(const GReport&) = delete;

    /// One line followed by CR LF.
    void WriteLine(std::string_view text);
    /// Makes the report the file's content. Calling it again does nothing.
    void Close();
    /// Close that never throws (for the error path of a run); false when it failed.
    bool CloseQuietly() noexcept;
    bool Closed() const;

    /// "TRANSFORMATION CONTROL BEACONS" with one block of four lines per pair of helmert (name
    /// with source and target, transformed source, misclosure, blank), then SCALE, SWING and a
    /// blank line. The headings follow sourceDatum (0: Clarke first, 1: WGS`84 first). Raises
    /// "The transformation in not valid" with fewer than two pairs, after the pair blocks'
    /// headings.
    void WriteControlBeaconSection(GHelmertTransformation& helmert, std::uint8_t sourceDatum);
    /// "TRANSFORMED COORDINATE VALUES" heading (verbose mode), six lines.
    void WriteCoordinateHeading();
    /// One coordinate line: label, Y and X before, Y and X after, and the differences. With
    /// PackedCoordinates the four coordinates are packed ddd.mmss and round with the carry.
    void WriteCoordinateLine(const std::string& label, double yBefore, double xBefore,
                             double yAfter, double xAfter);
    /// The job's coordinates are packed ddd.mmss (a rounded 60 seconds carries into the minutes).
    bool PackedCoordinates = false;
    /// The parameter section of a Helmert run: (verbose: a blank line,) heading and the lines.
    void WriteParameterSection(const std::vector<std::string>& lines, std::uint8_t sourceDatum,
                               bool verbose);

    /// One parameter line: sheet name, centres (source datum's first), a, b and Lo.
    static std::string FormatParameterLine(const GSheetParameters& parameters,
                                           std::uint8_t sourceDatum);
    /// A record's label: the first 10 characters of the text.
    static std::string Label(const std::string& text);

private:
    std::unique_ptr<GAtomicFile> file_;
    std::string line_;
};

} // namespace quorvalis
