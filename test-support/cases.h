// Table-driven tests whose cases each carry a name.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace support {

// For INSTANTIATE_TEST_SUITE_P: each test is named after its case.
struct CaseName {
  template <typename Case>
  std::string operator()(const testing::TestParamInfo<Case>& tested) const {
    return tested.param.name;
  }
};

}  // namespace support
