#include "link/discovery/chercheur_ravlo.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "faux/navigateur_factice.hpp"
#include "protocol/appairage_repondeur.hpp"
#include "protocol/hasard_deterministe.hpp"
#include "protocol/message_erreur_reseau.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Cas = ChercheurRavlo::Resultat::Cas;

ResultatService service(const std::string& nom, std::uint16_t port = 50'000) {
  return {PointReseau{"10.99.0.1", port, nom, 2}};
}

struct Chercheur : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueNavigateursFactice> navigateurs =
      std::make_shared<faux::FabriqueNavigateursFactice>();
  std::shared_ptr<faux::FabriqueFactice> connexions = std::make_shared<faux::FabriqueFactice>();
  std::shared_ptr<MagasinReglagesMemoire> reglages = std::make_shared<MagasinReglagesMemoire>();
  std::int64_t secondes = 1'800'000'000;
  std::shared_ptr<ChercheurRavlo> chercheur = creer();
  std::shared_ptr<ChercheurRavlo> creer() {
    return ChercheurRavlo::creer({
        file.get(),
        file,
        navigateurs,
        connexions,
        &horloge,
        [] { return std::string("Poste de test"); },
        [] { return std::make_shared<HasardDeterministe>(1); },
        [] { return std::string("fr_FR.UTF-8"); },
        reglages,
        [this] { return secondes; },
    });
  }
  int notifications = 0;
  Abonnement abonnement = chercheur->observer([this] { ++notifications; });
  const ChercheurRavlo::Appareil appareil{"Salon", "Salon", service("Salon").point};

  // Répond à chaque message de l'initiateur jusqu'au verdict du chercheur.
  void jouerRecepteur(AppairageRepondeur& repondeur) {
    std::size_t lus = 0;
    auto& c = connexions->derniere();
    while (chercheur->appairageEnCours() && lus < c.envoyes.size()) {
      const auto m = MessagePasskey::decoder(c.envoyes[lus++]);
      ASSERT_TRUE(m.has_value());
      if (auto r = repondeur.recevoir(*m)) c.livrer(r->donnees());
      file->executer();
      c.traiterEnvois();
      file->executer();
    }
  }
};

TEST_F(Chercheur, ListeTrieeParOctetsSansLesPointsQuiNeSontPasDesServices) {
  chercheur->demarrer();
  EXPECT_TRUE(chercheur->recherche());
  EXPECT_EQ(chercheur->etatReseau().cas, ChercheurRavlo::EtatReseau::Cas::demarrage);
  navigateurs->dernier().publier({service("a"), {PointReseau{"10.99.0.3", 1}}, service("B")});
  file->executer();
  ASSERT_EQ(chercheur->appareils().size(), 2u);
  EXPECT_EQ(chercheur->appareils()[0].nom, "B");
  EXPECT_EQ(chercheur->appareils()[1].nom, "a");
  EXPECT_EQ(chercheur->appareils()[1].id, "a");
  EXPECT_EQ(chercheur->appareils()[1].point, service("a").point);
}

TEST_F(Chercheur, UneNotificationParChangementReel) {
  chercheur->demarrer();
  EXPECT_EQ(notifications, 1) << "recherche";
  chercheur->demarrer();
  EXPECT_EQ(navigateurs->crees.size(), 1u) << "pas de second navigateur";
  navigateurs->dernier().jouerEtat({EtatNavigateur::Cas::pret, {}});
  navigateurs->dernier().publier({service("Salon")});
  file->executer();
  EXPECT_EQ(notifications, 3);
  navigateurs->dernier().jouerEtat({EtatNavigateur::Cas::pret, {}});
  navigateurs->dernier().publier({service("Salon")});
  file->executer();
  EXPECT_EQ(notifications, 3) << "mêmes valeurs : rien de nouveau";
  abonnement.resilier();
  navigateurs->dernier().publier({});
  file->executer();
  EXPECT_EQ(notifications, 3);
  EXPECT_TRUE(chercheur->appareils().empty());
}

TEST_F(Chercheur, AttenteGardeLaListeEchecLaVideEtArreteLaRecherche) {
  chercheur->demarrer();
  auto& premier = navigateurs->dernier();
  premier.publier({service("Salon")});
  const ErreurReseau refus{DomaineErreurReseau::dnssd, ErreurReseau::dnssdNonAutorise};
  premier.jouerEtat({EtatNavigateur::Cas::attente, refus});
  file->executer();
  EXPECT_EQ(chercheur->etatReseau().cas, ChercheurRavlo::EtatReseau::Cas::attente);
  EXPECT_EQ(chercheur->etatReseau().texte, MessageErreurReseau::texte(refus, "fr_FR.UTF-8"));
  EXPECT_EQ(chercheur->appareils().size(), 1u);

  premier.jouerEtat({EtatNavigateur::Cas::echec, refus});
  premier.publier({service("Tard")});  // déjà posté quand l'échec arrive
  file->executer();
  EXPECT_EQ(chercheur->etatReseau().cas, ChercheurRavlo::EtatReseau::Cas::echec);
  EXPECT_EQ(chercheur->etatReseau().texte, MessageErreurReseau::texte(refus, "fr_FR.UTF-8"));
  EXPECT_TRUE(premier.annule);
  EXPECT_FALSE(chercheur->recherche());
  EXPECT_TRUE(chercheur->appareils().empty());

  chercheur->demarrer();
  EXPECT_EQ(navigateurs->crees.size(), 2u);
  EXPECT_TRUE(chercheur->recherche());
  EXPECT_EQ(chercheur->etatReseau().cas, ChercheurRavlo::EtatReseau::Cas::echec)
      << "l'état suit le navigateur, pas le démarrage";
}

TEST_F(Chercheur, CodesMalTapesRefusesSansRienEnvoyer) {
  for (const char* saisie : {"123", "12345", "12a4", ""}) {
    chercheur->appairer(appareil, saisie);
    file->executer();
    EXPECT_EQ(chercheur->resultat(),
              (ChercheurRavlo::Resultat{Cas::echec, "Le code doit faire exactement 4 chiffres."}))
        << saisie;
  }
  EXPECT_TRUE(connexions->creees.empty());
  EXPECT_FALSE(chercheur->appairageEnCours());
}

TEST_F(Chercheur, SuccesAvecUnCodeEntoureDeBlancs) {
  AppairageRepondeur repondeur(*CodeAppairage::depuisSaisie("1234"),
                               std::make_shared<HasardDeterministe>(2));
  std::vector<std::pair<Cas, bool>> vus;
  Abonnement ordre = chercheur->observer(
      [&] { vus.emplace_back(chercheur->resultat().cas, chercheur->appaire().has_value()); });
  chercheur->appairer(appareil, "  1234 ");
  EXPECT_TRUE(chercheur->appairageEnCours());
  file->executer();
  EXPECT_EQ(connexions->derniere().point, appareil.point);
  jouerRecepteur(repondeur);
  ASSERT_FALSE(chercheur->appairageEnCours());
  EXPECT_EQ(chercheur->resultat(), (ChercheurRavlo::Resultat{Cas::accepte, "Salon"}));
  ASSERT_TRUE(chercheur->appaire().has_value());
  EXPECT_EQ(chercheur->appaire()->appareil, appareil);
  const auto* r = std::get_if<AppairageRepondeur::Reussi>(&repondeur.etat());
  ASSERT_NE(r, nullptr);
  EXPECT_NE(chercheur->appaire()->liaison.scelleur, nullptr);
  // `resultat` d'abord, `appaire` ensuite, puis la fin de l'appairage.
  ASSERT_GE(vus.size(), 3u);
  EXPECT_EQ(vus[vus.size() - 3], std::make_pair(Cas::accepte, false));
  EXPECT_EQ(vus[vus.size() - 2], std::make_pair(Cas::accepte, true));
}

TEST_F(Chercheur, CodeRefuseApresDevoilementGrilleSansNouveauTrafic) {
  AppairageRepondeur repondeur(*CodeAppairage::depuisSaisie("9999"),
                               std::make_shared<HasardDeterministe>(2));
  chercheur->appairer(appareil, "1234");
  file->executer();
  jouerRecepteur(repondeur);
  ASSERT_FALSE(chercheur->appairageEnCours());
  EXPECT_EQ(chercheur->resultat().cas, Cas::refuse);
  EXPECT_TRUE(chercheur->codesGrilles().contains("1234"));

  chercheur->changerResultat({});
  const auto autre = ChercheurRavlo::Appareil{"Cuisine", "Cuisine", service("Cuisine").point};
  chercheur->appairer(autre, " 1234");
  file->executer();
  EXPECT_EQ(chercheur->resultat().cas, Cas::codeDejaEssaye);
  EXPECT_EQ(connexions->creees.size(), 1u) << "aucun datagramme pour un code grillé";

  // Relancé, le programme s'en souvient 24 h, sans que le code soit écrit en clair.
  const auto garde = reglages->lireOctets(RegistreCodesGrilles::cle);
  ASSERT_TRUE(garde.has_value());
  EXPECT_EQ(std::ranges::search(*garde, std::string_view("1234")).size(), 0u);
  for (const auto& [apres, grille] : {std::pair{23 * 3600, true}, std::pair{24 * 3600, false}}) {
    secondes = 1'800'000'000 + apres;
    chercheur = creer();
    chercheur->appairer(autre, "1234");
    file->executer();
    EXPECT_EQ(chercheur->resultat().cas == Cas::codeDejaEssaye, grille) << apres;
    EXPECT_EQ(connexions->creees.size(), grille ? 1u : 2u);
    file->avancer(dialogue::budget + 1s);
  }
  reglages->ecrireOctets(RegistreCodesGrilles::cle, Octets(55, 0));
  EXPECT_FALSE(RegistreCodesGrilles(reglages, {}).contient("1234")) << "abîmé : vide";
}

TEST_F(Chercheur, SilenceAvantToutDevoilementLaisseLeCodeUtilisable) {
  chercheur->appairer(appareil, "1234");
  file->executer();
  file->avancer(dialogue::budget + 1s);
  ASSERT_FALSE(chercheur->appairageEnCours());
  EXPECT_EQ(chercheur->resultat(),
            (ChercheurRavlo::Resultat{Cas::echec, texte(ErreurAppairage::pasDeReponse, "fr")}));
  EXPECT_TRUE(chercheur->codesGrilles().empty());

  chercheur->appairer(appareil, "1234");
  file->executer();
  EXPECT_EQ(connexions->creees.size(), 2u) << "le code repart";
  file->avancer(dialogue::budget + 1s);  // un dialogue suspendu ne doit pas survivre au test
  EXPECT_FALSE(chercheur->appairageEnCours());
}

TEST_F(Chercheur, ErreurReseauDuDialogueDitSonTexte) {
  chercheur->appairer(appareil, "1234");
  file->executer();
  const ErreurReseau e{DomaineErreurReseau::posix, ECONNREFUSED};
  connexions->derniere().livrerErreur(e);
  file->executer();
  EXPECT_EQ(chercheur->resultat(),
            (ChercheurRavlo::Resultat{Cas::echec, MessageErreurReseau::texte(e, "fr")}));
  EXPECT_FALSE(chercheur->appairageEnCours());
}

TEST_F(Chercheur, RienNArriveApresLaDestruction) {
  chercheur->demarrer();
  auto& n = navigateurs->dernier();
  n.publier({service("Salon")});
  chercheur->appairer(appareil, "1234");
  chercheur.reset();
  file->avancer(dialogue::budget + 1s);
  EXPECT_TRUE(n.annule);
  EXPECT_EQ(notifications, 2) << "recherche et appairageEnCours, rien après";
}

}  // namespace
}  // namespace ravlo
