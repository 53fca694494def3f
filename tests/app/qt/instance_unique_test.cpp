// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/instance_unique.hpp"

#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace ravlo {
namespace {

// Une socket restée sur le disque (instance tuée) ne gêne pas la première ; chaque lancement
// suivant lui passe la main, elle seule écoute ; partie, la place se reprend.
TEST(InstanceUnique, LesSuivantesPassentLaMainALaPremiere) {
  const QTemporaryDir dossier;
  {
    QFile orpheline(dossier.filePath(QStringLiteral("ravlo-link.socket")));
    ASSERT_TRUE(orpheline.open(QIODevice::WriteOnly));
  }
  {
    InstanceUnique premiere(dossier.path());
    ASSERT_TRUE(premiere.premiere());
    ASSERT_TRUE(premiere.ecoute());
    QSignalSpy ouvrir(&premiere, &InstanceUnique::ouvrir);
    for (int lancement = 1; lancement <= 2; ++lancement) {
      const InstanceUnique suivante(dossier.path());
      EXPECT_FALSE(suivante.premiere());
      EXPECT_FALSE(suivante.ecoute());
      EXPECT_TRUE(suivante.passerLaMain());
      if (ouvrir.count() < lancement) ouvrir.wait(10'000);
      EXPECT_EQ(ouvrir.count(), lancement);
    }
  }
  const InstanceUnique apres(dossier.path());
  EXPECT_TRUE(apres.premiere()) << "le verrou de la première est rendu";
}

// Une suivante dont la première n'écoute pas renonce au bout du délai, sans rester bloquée.
TEST(InstanceUnique, SansPremiereQuiEcouteLaMainNePassePas) {
  const QTemporaryDir dossier;
  const InstanceUnique premiere(dossier.path());
  ASSERT_TRUE(premiere.premiere());
  ASSERT_TRUE(QFile::remove(dossier.filePath(QStringLiteral("ravlo-link.socket"))));
  const InstanceUnique suivante(dossier.path());
  EXPECT_FALSE(suivante.premiere());
  EXPECT_FALSE(suivante.passerLaMain(200));
}

}  // namespace
}  // namespace ravlo
