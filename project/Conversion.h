// The project and control coordinates subsystem in one include: control beacons, the project with
// its run and chains, the report, the beacon importers, the beacon review, and the transform and
// import commands.
#pragma once

#include "project/BeaconImport.h"
#include "project/BeaconReview.h"
#include "project/ControlBeacons.h"
#include "project/Guards.h"
#include "project/ImportCommand.h"
#include "project/Project.h"
#include "project/Report.h"
#include "project/TransformCommand.h"
#include "project/UserInterface.h"
#include "project/WinRegistry.h"
