#pragma once
// Running a program of this build the way a user does, with its arguments as typed and its output captured.
#include "tests/testsupport/ToolRun.h"

namespace sealrun::apps::testing {

using ProgramRun = sealrun::testing::ToolRun;  // standard output and error together
using sealrun::testing::RunProgram;

}  // namespace sealrun::apps::testing
