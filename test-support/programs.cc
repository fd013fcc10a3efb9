#include "programs.h"

namespace support {

Outcome run_template(const TempDir& dir, const std::vector<std::string>& args) {
  return run_in(dir.path(), PLOM_TEMPLATE_BIN, args);
}

Outcome run_plom_test(const TempDir& dir, const std::vector<std::string>& args) {
  return run_in(dir.path(), PLOM_TEST_BIN, args);
}

std::string recorded(int status) {
  return "[test-result]\nexit-status=" + std::to_string(status) + "\n";
}

}  // namespace support
