#include "component/http/content_types.h"

#include <gtest/gtest.h>

// The upload's own tests see types by extension in both letter cases and the
// fall-back to octet-stream; here, that the table holds all its rows.
TEST(ContentTypeForExtension, TableHoldsEveryRowAndNoExtensionFallsBack) {
  size_t rows = 0;
  component::contentTypeTable(&rows);
  EXPECT_EQ(rows, 128u);
  EXPECT_STREQ(component::contentTypeForExtension("Z"), "application/x-compress");
  EXPECT_STREQ(component::contentTypeForExtension("z"), "application/x-compress");
  EXPECT_STREQ(component::contentTypeForExtension(nullptr), "application/octet-stream");
}
