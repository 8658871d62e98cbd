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

// The subcommands, one source file a family.
int convertcommand(int argc, char **argv);
int exportcommand(int argc, char **argv);
int constructcommand(int argc, char **argv);
int dumpcommand(int argc, char **argv);
int encodecommand(int argc, char **argv);
int checkcommand(int argc, char **argv);
int statscommand(int argc, char **argv);
int simulatecommand(int argc, char **argv);
int thresholdcommand(int argc, char **argv);
int floorcommand(int argc, char **argv);
int trappingcommand(int argc, char **argv);
int absorbingcommand(int argc, char **argv);

}  // namespace tanner

#endif
