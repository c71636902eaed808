#include "app/CliHelp.h"

namespace quorvalis
{

const char kMainHelp[] = R"TEXT(Usage: quorvalis-cli [--home DIR] COMMAND [OPTIONS]

Moves spatial data in place between the Cape datum (Clarke 1880) and Hartebeesthoek94
(WGS84), and maintains the control file of control beacons.

Commands:
  transform   transform a shapefile, text file, coordinate list or table in place
              (a dry run that changes nothing unless --yes is given)
  import      import trig beacons or town survey marks into the control file
              (a dry run unless --yes is given)
  control     list, find or delete the control beacons of the control file
              (delete is a dry run unless --yes is given)
  defaults    show or change the stored defaults
  alias       list the database aliases and their tables
  layers      list the layers with geometry of a GIS dataset (GeoPackage, PostGIS)

Global options:
  --home DIR  keep the settings and the QUORVALIS store in DIR (the same as
              QUORVALIS_HOME=DIR)
  --help      show this text; "quorvalis-cli COMMAND --help" describes a command
  --version   show the program's version

Exit codes: 0 success (a dry run included), 1 an error (its message is printed on
stderr; also a run refused by a fault or held back by doubts), 2 a mistake on the
command line.
)TEXT";

const char kTransformHelp[] =
    R"TEXT(Usage: quorvalis-cli transform --to hart94|cape SOURCE [OPTIONS]

Transforms every point of every shape of SOURCE in place, from the Cape datum to
Hartebeesthoek94 (--to hart94) or back (--to cape). Without --yes it is a dry run: it
prints the parameters, the control beacons it would use (name, distance, misclosure),
scale, swing and the RMS of the misclosures, or the Helmert parameters, and changes
nothing. With --yes it transforms, writes the data back and prints the counts and the
distance the points moved. Every option not given takes the stored default (see
"quorvalis-cli defaults"); the Lo of a coordinate list file's header, or of a .prj beside
the data, is taken before the stored "Local Origin".

Faults refuse the job before anything is written (exit 1), in the dry run too: a Lo
that is not an odd whole number from 15 to 33, a job outside latitude 15 to 40 (positive
south) and longitude 10 to 40, a read-only data file, a report that is one of the job's
files, data declared on the target datum already, a transformation that is not valid.
Doubts are probably mistakes but may be intended: a nearest beacon more than 50 km from
the job, an RMS misclosure over 2 m, a mean shift outside 250 to 350 m, a user-defined
Helmert with a = b = 1, a Lo other than the one the data declare. The dry run lists them;
a run with doubts needs --force as well as --yes.

SOURCE (exactly one):
  --shapefile PATH            a shapefile (.shp with its .shx and .dbf) of points,
                              lines, polygons or multipoints, with or without Z and M
  --text PATH --definition DEF --x-field X --y-field Y [--z-field Z]
                              a text file described by a definition file
  --crd PATH                  a coordinate list file
  --table ALIAS TABLE         a database table with shapes in its SHAPE column
  --xyz ALIAS TABLE --x-field X --y-field Y [--z-field Z]
                              a database table with X/Y(/Z) columns
  --layer DATASET LAYER       a layer with a geometry column of a GIS dataset GDAL
                              updates in place in a transaction: a GeoPackage file or
                              a "PG:..." PostGIS connection string ("quorvalis-cli
                              layers DATASET" lists the layers); Z and M stay as they
                              are, and a Cape or Hartebeesthoek94 Lo coordinate system
                              of the layer follows the data

Project parameters:
  --coordinate-system geodetic|ddd.mmss|degrees
                              how the data hold their coordinates
  --lo N                      Lo of the data (sets the transformation Lo too)
  --x-constant V, --y-constant V
                              constants added before the run and removed after it
  --exchange, --no-exchange   exchange X and Y of the data
  --negate-x, --no-negate-x   negate X of the data
  --negate-y, --no-negate-y   negate Y of the data
  --method control|helmert    control coordinates, or Helmert parameters

Control coordinate transformation:
  --transformation-lo N       Lo of the plane of the transformation
  --weighting, --no-weighting apply the 1/distance weighting of the misclosures
  --strategy buffer|count|manual
                              preselection of beacons (default: count)
  --buffer PCT                buffer strategy: percent added on every side (default 25)
  --count N                   count strategy: the N closest beacons (default 10)
  --no-trig, --no-tsm, --no-other
                              leave out trig beacons, town survey marks, other beacons
  --selection FILE.sel        recall a selection file: exactly the beacons named in it
                              (one name per line, letter case ignored) are used

Helmert transformation:
  --helmert-mode sheet|user   parameters per degree sheet, or user defined
  --transformation-lo N       Lo of the user-defined parameters
  --helmert-a V, --helmert-b V
  --cape-x V, --cape-y V      centre of gravity on the Cape datum (Lo metres)
  --wgs-x V, --wgs-y V        centre of gravity on Hartebeesthoek94 (Lo metres)

Report:
  --report FILE               write a report to FILE (replaced if it exists)
  --no-report                 write no report
  --verbose-report            list every transformed coordinate as well
  --standard-report           only the transformation parameters
  --label-field NAME          field whose text labels the coordinates of the report

  --yes                       transform (without it nothing is written)
  --force                     go ahead in spite of the doubts
  --threads N                 threads of the run, 1 to 256 (default: the stored
                              "Threads", else one per core); the results are the same
  --help                      show this text

Example:
  quorvalis-cli transform --to hart94 --shapefile job.shp --lo 29 --strategy buffer
  quorvalis-cli transform --to hart94 --shapefile job.shp --lo 29 --report out.txt --yes
)TEXT";

const char kImportHelp[] =
    R"TEXT(Usage: quorvalis-cli import --class TRIG|TSM SOURCE [--lo N] [--yes]

Imports control beacons whose positions on both datums are Lo plane coordinates into the
control file, with the class TRIG (trig beacons) or TSM (town survey marks). Prints the
beacons as the import dialog lists them, ticked when they will be added: beacons without
both positions, or whose positions lie further apart than the stored "Control Distance"
(metres), are not ticked. Without --yes nothing is added. A beacon already in the control
file under the same name and positions is never added twice.

SOURCE (exactly one):
  --email CAPE.eml HART.eml   the survey office's e-mail files, one per datum; beacons are
                              paired by number and name, the Lo comes from the files
  --csv FILE                  comma-delimited: name,cape y,cape x,hart y,hart x per line
                              (Lo 31 unless --lo is given)
  --cape-shapefile A.shp --cape-field NAME --hart-shapefile B.shp --hart-field NAME
                              two shapefiles paired by the text of their identity fields;
                              each beacon's position is the centre of its shape (Lo 31
                              unless --lo is given)

Options:
  --lo N     Lo of the imported plane coordinates (replaces the one offered); an odd
             whole number from 15 to 33
  --yes      add the ticked beacons to the control file
  --help     show this text
)TEXT";

const char kControlHelp[] = R"TEXT(Usage: quorvalis-cli control list [--csv]
       quorvalis-cli control find TEXT [--match-case] [--whole-word]
       quorvalis-cli control delete NAME... [--yes]

Shows the control file: every control coordinate with its class and its Cape and
Hartebeesthoek94 latitude and longitude in decimal degrees.
"quorvalis-cli control SUBCOMMAND --help" describes a subcommand.
)TEXT";

const char kControlListHelp[] = R"TEXT(Usage: quorvalis-cli control list [--csv]

Lists every control coordinate of the control file.

  --csv    comma-separated values with a header line and full precision
  --help   show this text
)TEXT";

const char kControlFindHelp[] =
    R"TEXT(Usage: quorvalis-cli control find TEXT [--match-case] [--whole-word]

Lists the control coordinates whose name contains TEXT, letter case ignored. Exit code 1
with "Coordinate TEXT not found in control file." when there is none.

  --match-case   compare letter case too
  --whole-word   the whole name must equal TEXT
  --help         show this text
)TEXT";

const char kControlDeleteHelp[] = R"TEXT(Usage: quorvalis-cli control delete NAME... [--yes]

Deletes every control coordinate whose name is exactly one of the NAMEs (letter case
counts; quote names with spaces), so that a mistaken import can be undone. Without --yes
it only lists them. A NAME not in the control file is an error (exit 1) and nothing is
deleted.

  --yes    delete them
  --help   show this text
)TEXT";

const char kDefaultsHelp[] = R"TEXT(Usage: quorvalis-cli defaults
       quorvalis-cli defaults get NAME
       quorvalis-cli defaults set NAME VALUE

Without a subcommand: every stored value with its stored text (or "(not set)") and the
value a transform command uses. NAME is a stored value name such as "Local Origin"
(quote names with spaces; letter case is ignored).
)TEXT";

const char kDefaultsGetHelp[] = R"TEXT(Usage: quorvalis-cli defaults get NAME

Prints the value a transform command uses for NAME.
)TEXT";

const char kDefaultsSetHelp[] = R"TEXT(Usage: quorvalis-cli defaults set NAME VALUE

Stores VALUE under NAME. "Local Origin" takes a Lo: an odd whole number from 15 to 33
(anything else is refused, exit 1). Whole numbers for "Coordinate System" (0 geodetic,
1 ddd.mmss, 2 decimal degrees), "Project Transformation" (0 control coordinates, 1 Helmert),
"Helmert Mode" (0 per degree sheet, 1 user defined) and "Output Mode" (0 standard,
1 verbose); 0 or 1 (also true/false, yes/no) for "Exchange", "Negate X", "Negate Y",
"Apply Weighting", "Output" and "Show Message"; numbers with "." as decimal point for
"X Constant", "Y Constant", "Control Distance", "Helmert A", "Helmert B", "Cape X", "Cape Y",
"WGS X" and "WGS Y"; any text for "Install"; "Threads" takes the threads of a run, 1 to
256, or 0 for one per core.
)TEXT";

const char kAliasHelp[] = R"TEXT(Usage: quorvalis-cli alias list
       quorvalis-cli alias tables ALIAS

Shows the database aliases (the QUORVALIS alias holds the control file and the degree
sheet table) and their tables.
)TEXT";

const char kAliasListHelp[] = R"TEXT(Usage: quorvalis-cli alias list

Lists every alias with its driver and its database.
)TEXT";

const char kLayersHelp[] = R"TEXT(Usage: quorvalis-cli layers DATASET [--long]

Lists the layers with a geometry column of a GIS dataset (a GeoPackage or other file GDAL
reads, or a "PG:..." PostgreSQL connection string), one name a line, as
"--layer DATASET LAYER" of the transform command takes them. With --long each name is
followed by a tab and the geometry type, the number of features (-1: not known without
reading them all) and the coordinate system, tab-separated.
)TEXT";

const char kAliasTablesHelp[] = R"TEXT(Usage: quorvalis-cli alias tables ALIAS

Lists the tables of an alias, as "--table ALIAS TABLE" of the transform command takes them.
)TEXT";

} // namespace quorvalis
