#include "link/decouverte/boite_de_reception.hpp"

#include <gtest/gtest.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>

#include "faux/file_manuelle.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Resultat = BoiteDeReception::Resultat;

struct Boite : ::testing::Test {
  faux::HorlogeManuelle horloge;
  faux::FileManuelle file{horloge};
  std::shared_ptr<BoiteDeReception> boite = BoiteDeReception::creer(file);
  std::vector<Resultat> obtenus;

  // Une attente de 700 ms lancée en coroutine ; son résultat est noté.
  void attendre() {
    asio::co_spawn(
        file.contexte(),
        [this]() -> asio::awaitable<void> { obtenus.push_back(co_await boite->attendre(700ms)); },
        asio::detached);
    file.executer();
  }
};

// Arrivées gardées puis rendues aussitôt, dans l'ordre ; le délai d'une attente déjà servie
// ne touche pas la suivante. Fermeture et erreurs : par le dialogue d'appairage.
TEST_F(Boite, ArriveesDansLOrdreEtDelaisPropresAChaqueAttente) {
  boite->deposer(Octets{1});
  boite->deposer(Octets{2});
  attendre();
  attendre();
  ASSERT_EQ(obtenus.size(), 2u);
  EXPECT_EQ(*obtenus[1], Octets{2});
  EXPECT_EQ(file.echeancesPrevues(), 0u) << "aucun délai pour une attente servie";
  attendre();
  file.avancer(400ms);
  boite->deposer(Octets{7});
  file.executer();
  attendre();           // commence à 400 ms
  file.avancer(300ms);  // le délai de la précédente tombe à 700 ms
  EXPECT_EQ(obtenus.size(), 3u);
  file.avancer(400ms);
  ASSERT_EQ(obtenus.size(), 4u);
  EXPECT_EQ(*obtenus[3], std::nullopt) << "délai passé";
}

}  // namespace
}  // namespace ravlo
