#include "link/discovery/boite_de_reception.hpp"

#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Resultat = BoiteDeReception::Resultat;

struct Boite : ::testing::Test {
  faux::HorlogeManuelle horloge;
  faux::FileManuelle file{horloge};
  std::shared_ptr<BoiteDeReception> boite = BoiteDeReception::creer(file);
  std::vector<std::pair<Resultat, InstantNs>> obtenus;

  // Une attente de 700 ms lancée en coroutine ; son résultat et son heure sont notés.
  void attendre() {
    asio::co_spawn(
        file.contexte(),
        [this]() -> asio::awaitable<void> {
          Resultat r = co_await boite->attendre(700ms);
          obtenus.emplace_back(std::move(r), horloge.continueNs());
        },
        asio::detached);
    file.executer();
  }
};

TEST_F(Boite, ArriveesGardeesPuisRenduesAussitotDansLOrdre) {
  boite->deposer(Octets{1});
  boite->deposer(Octets{2});
  const InstantNs t0 = horloge.continueNs();
  attendre();
  attendre();
  ASSERT_EQ(obtenus.size(), 2u);
  EXPECT_EQ(*obtenus[0].first, Octets{1});
  EXPECT_EQ(*obtenus[1].first, Octets{2});
  EXPECT_EQ(obtenus[1].second, t0);
  EXPECT_EQ(file.echeancesPrevues(), 0u) << "aucun délai programmé pour une attente servie";
}

TEST_F(Boite, DelaiDUneAttenteDejaServieSansEffetSurLaSuivante) {
  attendre();
  file.avancer(400ms);
  boite->deposer(Octets{7});
  file.executer();
  ASSERT_EQ(obtenus.size(), 1u);
  attendre();           // la seconde attente commence à 400 ms
  file.avancer(300ms);  // le délai de la première tombe à 700 ms
  EXPECT_EQ(obtenus.size(), 1u);
  file.avancer(399ms);
  EXPECT_EQ(obtenus.size(), 1u);
  file.avancer(1ms);
  ASSERT_EQ(obtenus.size(), 2u);
  EXPECT_EQ(*obtenus[1].first, std::nullopt) << "rien : délai passé";
}

TEST_F(Boite, FermerRepritLAttendantEtJetteLaSuite) {
  attendre();
  boite->fermer();
  file.executer();
  ASSERT_EQ(obtenus.size(), 1u);
  EXPECT_EQ(*obtenus[0].first, std::nullopt);
  boite->deposer(Octets{9});
  attendre();
  file.avancer(700ms);
  ASSERT_EQ(obtenus.size(), 2u);
  EXPECT_EQ(*obtenus[1].first, std::nullopt) << "le datagramme arrivé après la fermeture est jeté";
}

TEST_F(Boite, EcouteIgnoreLesVidesEtSArreteALaPremiereErreur) {
  auto connexion = std::make_shared<faux::ConnexionFactice>(PointReseau{"127.0.0.1", 1}, file);
  boite->ecouter(connexion);
  ASSERT_TRUE(connexion->livrer(Octets{}));
  file.executer();
  ASSERT_TRUE(connexion->livrer(Octets{3}));
  file.executer();
  ASSERT_TRUE(connexion->livrerErreur({DomaineErreurReseau::posix, ECONNREFUSED}));
  file.executer();
  EXPECT_EQ(connexion->receptionsArmees(), 0u) << "plus d'écoute après l'erreur";
  attendre();
  attendre();
  ASSERT_EQ(obtenus.size(), 2u);
  EXPECT_EQ(*obtenus[0].first, Octets{3});
  ASSERT_FALSE(obtenus[1].first.has_value());
  EXPECT_EQ(obtenus[1].first.error(), (ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}));
}

}  // namespace
}  // namespace ravlo
