// What a centre value may hold before it is stored.
#include "dae_import/centre_data_check.h"

#include <gtest/gtest.h>

namespace {

TEST(CentreValueCheck, YearIsFourDigitsOthersAreFree) {
  struct Case {
    const char* field;
    const char* value;
    bool accepted;
  };
  for (const Case& c : {Case{"ANOACAD", "2024", true}, Case{"anoacad", "1999", true},
                        Case{"ANOACAD", "", true}, Case{"ANOACAD", "    ", true},
                        Case{"ANOACAD", " 2025 ", true}, Case{"ANOACAD", "20x5", false},
                        Case{"ANOACAD", "225", false}, Case{"ANOACAD", "2024-", false},
                        Case{"ANOACAD", "-202", false}, Case{"ANOACAD", "abcd", false},
                        Case{"CODCENTRO", "01ABCD", true}, Case{"VERSION", "v1", true}}) {
    SCOPED_TRACE(std::string(c.field) + "=" + c.value);
    const std::string problem = dae_import::CentreValueProblem(c.field, c.value);
    EXPECT_EQ(problem.empty(), c.accepted) << problem;
    if (!c.accepted) {
      EXPECT_NE(problem.find("Año Académico"), std::string::npos) << problem;
      EXPECT_NE(problem.find(std::string("'") + c.value + "'"), std::string::npos) << problem;
    }
  }
}

}  // namespace
