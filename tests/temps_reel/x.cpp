#include <gtest/gtest.h>
TEST(TempsReel, Vide) {}
