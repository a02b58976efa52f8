#include "image/image.h"

#include <gtest/gtest.h>

using glimmora::Image;

TEST(ImageCreate, StrideFollowsDepth) {
    Image img;
    ASSERT_TRUE(img.Create(1, 1, 24));
    EXPECT_EQ(img.Stride(), 4);
}
