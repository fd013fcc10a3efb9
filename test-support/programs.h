// The two built programs, run in a test's own directory, and the result
// file that plom-test run leaves.
#pragma once

#include <string>
#include <vector>

#include "process.h"
#include "tempdir.h"

namespace support {

// plom-template with args, started in dir.
Outcome run_template(const TempDir& dir, const std::vector<std::string>& args);
// plom-test with args, started in dir.
Outcome run_plom_test(const TempDir& dir, const std::vector<std::string>& args);

// What plom-test run writes for a test that ended with this wait status.
std::string recorded(int status);

}  // namespace support
