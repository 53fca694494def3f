#include "protocol/message_fin.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

TEST(MessageFin, SeulsLesTroisOctetsExactsSontUneFin) {
  const Octets fin(MessageFin::donnees.begin(), MessageFin::donnees.end());
  EXPECT_EQ(fin, (Octets{'R', 'F', 1}));
  EXPECT_TRUE(MessageFin::estFin(fin));
  for (const Octets& autre : {Octets{}, Octets{'R', 'F'}, Octets{'R', 'F', 1, 0},
                              Octets{'R', 'F', 2}, Octets{'R', 'V', 1}, Octets{'r', 'F', 1}}) {
    EXPECT_FALSE(MessageFin::estFin(autre)) << autre.size() << " octets";
  }
}

}  // namespace
}  // namespace ravlo
