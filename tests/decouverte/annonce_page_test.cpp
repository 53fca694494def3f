// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/annonce_page.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "faux/accueil_pages_factice.hpp"
#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "faux/hasard_deterministe.hpp"
#include "link/decouverte/dialogue_appairage.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"

namespace ravlo {
namespace {

const IdentifiantRecepteur idPage{0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xFF};
const IdentifiantRecepteur idAutre{0x20, 1};
const PointReseau pointPage{"10.99.0.5", 51'000};

SecretPaire paireDe(std::uint8_t graine) {
  SecretPaire p;
  p.identifiant.fill(graine);
  p.psk.octets().fill(static_cast<std::uint8_t>(graine + 1));
  return p;
}

PageConnectee page(std::optional<IdentifiantRecepteur> id, bool reprise) {
  return {"Pixel — Chrome", "fr-FR", pointPage, id, reprise};
}

// Une page n'est reprise que par l'identifiant qu'elle annonce avec la reprise : ni sans
// reprise, ni sans identifiant, ni par son adresse, qui change à chaque connexion et ne doit pas
// faire reprendre un récepteur retenu sans identifiant à la même adresse.
TEST(AnnonceDePage, ReprisParSonIdentifiantSeulement) {
  const RecepteurMemorise retenue{idPage, "10.99.0.5:40000", paireDe(1), "Pixel", 5};
  const RecepteurMemorise autre{idAutre, "10.99.0.9:47311", paireDe(2), "Salon", 6};
  const RecepteurMemorise memeAdresse{std::nullopt, enTexte(pointPage), paireDe(3), "Vieux", 7};
  const std::vector<RecepteurMemorise> carnet{autre, memeAdresse, retenue};
  const struct {
    const char* nom;
    PageConnectee page;
    AnnonceRecepteur annonce;
    std::optional<RecepteurMemorise> reprise;
  } cas[] = {
      {"identifiant et reprise", page(idPage, true), {idPage, true}, retenue},
      {"sans reprise=1", page(idPage, false), {idPage, false}, std::nullopt},
      {"reprise sans identifiant", page(std::nullopt, true), {std::nullopt, false}, std::nullopt},
      {"ni l'un ni l'autre", page(std::nullopt, false), {}, std::nullopt},
      {"identifiant inconnu",
       page(IdentifiantRecepteur{0x30}, true),
       {IdentifiantRecepteur{0x30}, true},
       std::nullopt},
  };
  for (const auto& k : cas) {
    SCOPED_TRACE(k.nom);
    EXPECT_EQ(annonceDePage(k.page), k.annonce);
    EXPECT_EQ(memoriseDePage(carnet, k.page), k.reprise);
  }

  EXPECT_EQ(memoireDePage(page(std::nullopt, false), paireDe(4), 9), std::nullopt)
      << "sans identifiant, rien ne la retrouverait";
  const auto retenir = memoireDePage(page(idPage, false), paireDe(4), 9);
  EXPECT_EQ(retenir,
            (RecepteurMemorise{idPage, "10.99.0.5:51000", paireDe(4), "Pixel — Chrome", 9}));
}

// Côté ordinateur : une page arrive par l'accueil avec un identifiant retenu et la reprise ;
// la reprise passe par sa connexion de page (pas par UDP) et aboutit contre le répondeur qui
// tient la paire, aux mêmes clés des deux côtés.
TEST(AnnonceDePage, UnePageRetenueSeRepritSansCodeParSaConnexion) {
  faux::HorlogeManuelle horloge;
  auto file = std::make_shared<faux::FileManuelle>(horloge);
  auto accueil = std::make_shared<faux::AccueilPagesFactice>();
  auto udp = std::make_shared<faux::FabriqueFactice>();
  std::vector<PageConnectee> arrivees;
  accueil->demarrer(
      *file, [&](const PageConnectee& p) { arrivees.push_back(p); }, [](const PointReseau&) {});
  accueil->arriver(page(idPage, true));
  file->executer();
  ASSERT_EQ(arrivees.size(), 1u);

  const SecretPaire paire = paireDe(1);
  const std::vector<RecepteurMemorise> carnet{{idPage, "10.99.0.5:40000", paire, "Pixel", 5}};
  const auto retenue = memoriseDePage(carnet, arrivees[0]);
  ASSERT_TRUE(retenue.has_value());

  auto fabrique = std::make_shared<FabriqueConnexionsPages>(
      accueil, udp, [&](const PointReseau& p) { return p == arrivees[0].point; });
  auto initiateur =
      std::make_shared<RepriseInitiateur>(retenue->paire, std::make_shared<HasardDeterministe>(1));
  std::optional<IssueDialogue> issue;
  lancerReprise(initiateur, arrivees[0].point, PlateformeDialogue{file, fabrique, &horloge}, *file,
                [&](IssueDialogue i) { issue = i; });
  file->executer();
  ASSERT_EQ(accueil->connexions.size(), 1u);
  EXPECT_TRUE(udp->creees.empty());

  RepriseRepondeur repondeur(
      [&](const IdentifiantPaire& i) -> std::optional<SecretPaire> {
        return i == paire.identifiant ? std::optional(paire) : std::nullopt;
      },
      std::make_shared<HasardDeterministe>(2));
  auto& c = *accueil->connexions[0];
  for (std::size_t lus = 0; lus < c.envoyes.size();) {
    const auto m = MessageReprise::decoder(c.envoyes[lus++]);
    ASSERT_TRUE(m.has_value());
    if (auto r = repondeur.recevoir(*m)) c.livrer(r->donnees());
    file->executer();
    c.traiterEnvois();
    file->executer();
  }
  ASSERT_TRUE(issue.has_value());
  const auto* cote = std::get_if<RepriseInitiateur::Reussi>(&initiateur->etat());
  const auto* page = std::get_if<RepriseRepondeur::Reussi>(&repondeur.etat());
  ASSERT_TRUE(cote != nullptr && page != nullptr);
  const auto scelle = cote->liaison.scelleur->sceller(Octets{1, 2, 3}, SorteEnveloppe::audio);
  EXPECT_TRUE(scelle && page->liaison.ouvreur->ouvrir(*scelle)) << "mêmes clés";
}

}  // namespace
}  // namespace ravlo
