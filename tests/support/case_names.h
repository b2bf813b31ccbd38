#pragma once

#include <gtest/gtest.h>

#include <string>

namespace tessaly::testing {

/// Names each instance of a parameterised test after its case's `name` field, so test lists
/// and failures read "Suite/Test/MismatchedTag" instead of a number. Pair it with a
/// `PrintTo(const Case &, std::ostream *)` that prints the name, for the same reason.
struct CaseName {
    template <class Case> std::string operator()(const ::testing::TestParamInfo<Case> &info) const {
        return info.param.name;
    }
};

} // namespace tessaly::testing
