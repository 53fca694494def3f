// SPDX-License-Identifier: MPL-2.0
#include "plateforme/web/canal_page.hpp"

#include <gtest/gtest.h>

#include <cerrno>

#include "faux/file_manuelle.hpp"
#include "plateforme/web/bonjour_page.hpp"

namespace ravlo {
namespace {

using CasEtat = EtatConnexion::Cas;
using faux::FileManuelle;
using faux::HorlogeManuelle;

struct Recu {
  std::optional<Octets> datagramme;
  std::optional<ErreurReseau> erreur;
};

ConnexionDatagramme::RappelReception noter(std::vector<Recu>& dans) {
  return [&dans](std::optional<Octets> d, std::optional<ErreurReseau> e) {
    dans.push_back({std::move(d), e});
  };
}

struct CanalPageTest : ::testing::Test {
  HorlogeManuelle horloge;
  FileManuelle file{horloge};
  int reveils = 0;
  std::shared_ptr<CanalPage> canal = std::make_shared<CanalPage>([this] { ++reveils; });
};

TEST_F(CanalPageTest, UneNouvelleVueAnnuleLaPrecedenteEtRecoitCeQuiAttendait) {
  std::vector<Recu> premiers;
  std::vector<Recu> seconds;
  auto vue1 = canal->vue(file);
  vue1->demarrer();
  vue1->recevoir(noter(premiers));
  auto vue2 = canal->vue(file);
  canal->livrer(Octets{1, 2, 3});
  vue2->recevoir(noter(seconds));
  vue1->envoyerSurLaFile(Octets{9});  // d'une vue annulée : perdu
  file.executer();

  ASSERT_EQ(premiers.size(), 1U);
  EXPECT_EQ(premiers[0].erreur, (ErreurReseau{DomaineErreurReseau::posix, ECANCELED}));
  EXPECT_EQ(vue1->etat().cas, CasEtat::annulee);
  ASSERT_EQ(seconds.size(), 1U);
  EXPECT_EQ(seconds[0].datagramme, (Octets{1, 2, 3}));
  Octets sortant;
  EXPECT_FALSE(canal->prendre(sortant));
  EXPECT_EQ(reveils, 0);
}

TEST_F(CanalPageTest, UnReveilParSalveEtPlusRienApresLaFermeture) {
  std::vector<Recu> recus;
  std::vector<EtatConnexion> etats;
  auto vue = canal->vue(file);
  vue->surEtat([&](const EtatConnexion& e) { etats.push_back(e); });
  vue->demarrer();
  vue->recevoir(noter(recus));

  vue->envoyerSurLaFile(Octets{1});
  vue->envoyerSurLaFile(Octets{2});
  EXPECT_EQ(reveils, 1);  // le transport écrit : il prendra le second sans être réveillé
  Octets sortant;
  ASSERT_TRUE(canal->prendre(sortant));
  EXPECT_EQ(sortant, Octets{1});
  ASSERT_TRUE(canal->prendre(sortant));
  EXPECT_EQ(sortant, Octets{2});
  EXPECT_FALSE(canal->prendre(sortant));
  vue->envoyerSurLaFile(Octets{3});
  EXPECT_EQ(reveils, 2);

  const ErreurReseau coupure{DomaineErreurReseau::posix, ECONNRESET};
  canal->fermer(coupure);
  vue->envoyerSurLaFile(Octets{4});
  file.executer();
  EXPECT_EQ(reveils, 2);
  ASSERT_EQ(recus.size(), 1U);
  EXPECT_EQ(recus[0].erreur, coupure);
  EXPECT_EQ(etats.back(), (EtatConnexion{CasEtat::fermee, coupure}));
  // Une vue prise après le départ de la page démarre fermée.
  auto tardive = canal->vue(file);
  tardive->demarrer();
  EXPECT_EQ(tardive->etat(), (EtatConnexion{CasEtat::fermee, coupure}));
}

TEST_F(CanalPageTest, LesAttentesSontBornees) {
  auto vue = canal->vue(file);
  vue->demarrer();
  vue->envoyerSurLaFile(Octets(CanalPage::tailleMax + 1, 7));  // d'aucun message : écarté
  for (std::size_t i = 0; i < CanalPage::envoisMax + 5; ++i) {
    vue->envoyerSurLaFile(Octets{static_cast<std::uint8_t>(i)});
  }
  for (std::size_t i = 0; i < CanalPage::arrivesMax + 5; ++i) {
    canal->livrer(Octets{static_cast<std::uint8_t>(i)});
  }
  std::size_t pris = 0;
  for (Octets sortant; canal->prendre(sortant); ++pris) {
    EXPECT_EQ(sortant, Octets{static_cast<std::uint8_t>(pris)});
  }
  EXPECT_EQ(pris, CanalPage::envoisMax);
  std::vector<Recu> recus;
  for (std::size_t i = 0; i < CanalPage::arrivesMax + 1; ++i) vue->recevoir(noter(recus));
  file.executer();
  EXPECT_EQ(recus.size(), CanalPage::arrivesMax);  // la dernière réception reste armée
  EXPECT_EQ(recus.back().datagramme, Octets{static_cast<std::uint8_t>(CanalPage::arrivesMax - 1)});
}

// L'identifiant passe par le même lecteur que celui d'une annonce, dont les formes refusées
// sont éprouvées avec elle (AnnonceRecepteur) : ici, qu'un identifiant refusé laisse le bonjour.
TEST(BonjourPage, SeLitOuSeRefuse) {
  struct Cas {
    std::string texte;
    std::expected<BonjourPage, ErreurBonjour> attendu;
  };
  const std::string longNom(300, 'a');
  const std::string hexa = "00112233445566778899aabbccddeeff";
  const IdentifiantRecepteur id{0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  const auto avecId = [&](std::optional<IdentifiantRecepteur> i, bool reprise) {
    return BonjourPage{"P", "", i, reprise};
  };
  const std::vector<Cas> cas = {
      {"ravlo-page 1\nnom=P\nid=" + hexa + "\nreprise=1", avecId(id, true)},
      {"ravlo-page 1\nnom=P\nid=" + hexa, avecId(id, false)},
      {"ravlo-page 1\nnom=P\nreprise=1", avecId(std::nullopt, true)},
      {"ravlo-page 1\nnom=P\nid=" + hexa + "\nreprise=oui", avecId(id, false)},
      {"ravlo-page 1\nnom=P\nid= " + hexa, avecId(std::nullopt, false)},
      {"ravlo-page 1\nnom=iPhone — Safari\nlangue=fr-FR", BonjourPage{"iPhone — Safari", "fr-FR"}},
      {"ravlo-page 1\nlangue=en\nautre=x\nnom=Pixel", BonjourPage{"Pixel", "en"}},
      {"ravlo-page 1", BonjourPage{}},
      {"ravlo-page 1\nnom=a\x07"
       "b\nlangue=fr;<script>",
       BonjourPage{"ab", ""}},
      {"ravlo-page 1\nnom=" + longNom, BonjourPage{std::string(128, 'a'), ""}},
      {"ravlo-page 2\nnom=x", std::unexpected(ErreurBonjour::enteteInconnue)},
      {"", std::unexpected(ErreurBonjour::enteteInconnue)},
      {"ravlo-page 1\nnom=\xff", std::unexpected(ErreurBonjour::pasUtf8)},
      {"ravlo-page 1\nnom=" + std::string(tailleBonjourMax, 'a'),
       std::unexpected(ErreurBonjour::tropLong)},
  };
  for (const Cas& c : cas) {
    EXPECT_EQ(lireBonjourPage(c.texte), c.attendu) << c.texte;
  }
}

}  // namespace
}  // namespace ravlo
