// Shared pieces of the tanner subcommands, a header each: exits and exit
// statuses, the common arguments, option values, degree distributions,
// graph files, the progress line, seeds and JSON; and the subcommands.
#ifndef TANNER_CLI_H
#define TANNER_CLI_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "distributions.h"
#include "exits.h"
#include "graphio.h"
#include "graphstruct.h"
#include "jsonout.h"
#include "numbers.h"
#include "progress.h"
#include "seeds.h"
#include "simulation.h"

namespace tanner {

// The subcommands, one source file a family: each takes the arguments after
// its name and returns the exit status.
using subcommandfunction = int(int argc, char **argv);
subcommandfunction convertcommand, exportcommand, constructcommand, dumpcommand, encodecommand,
    checkcommand, statscommand, simulatecommand, thresholdcommand, floorcommand, trappingcommand,
    absorbingcommand;

}  // namespace tanner

#endif
