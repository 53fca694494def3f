// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/chercheur_ravlo.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "faux/carnet_memoire.hpp"
#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "faux/hasard_deterministe.hpp"
#include "faux/magasin_reglages_memoire.hpp"
#include "faux/navigateur_factice.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"
#include "protocol/supervision/message_erreur_reseau.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Cas = ChercheurRavlo::Resultat::Cas;
using Resultat = ChercheurRavlo::Resultat;

ResultatService service(const std::string& nom) {
  return {PointReseau{"10.99.0.1", 50'000, nom, 2}};
}
ChercheurRavlo::Appareil carte(const std::string& nom) {
  return {nom, nom, service(nom).point};
}

struct Chercheur : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueNavigateursFactice> navigateurs =
      std::make_shared<faux::FabriqueNavigateursFactice>();
  std::shared_ptr<faux::FabriqueFactice> connexions = std::make_shared<faux::FabriqueFactice>();
  std::shared_ptr<MagasinReglagesMemoire> reglages = std::make_shared<MagasinReglagesMemoire>();
  std::int64_t secondes = 1'800'000'000;
  // Le résolveur joué, qui ne connaît que salon.local, et chaque demande dans l'ordre.
  std::vector<std::pair<std::string, FamilleAdresses>> demandes;
  std::shared_ptr<faux::CarnetMemoire> carnet = std::make_shared<faux::CarnetMemoire>();
  std::shared_ptr<ChercheurRavlo> creer() {
    const auto resoudre =
        [this](std::string_view hote,
               FamilleAdresses famille) -> std::expected<std::vector<std::string>, std::string> {
      demandes.emplace_back(hote, famille);
      if (hote != "salon.local") return std::unexpected("inconnu");
      return std::vector<std::string>{"10.99.0.7"};
    };
    return ChercheurRavlo::creer({file.get(), file, navigateurs, connexions, &horloge,
                                  [] { return std::string("Poste de test"); },
                                  [] { return std::make_shared<HasardDeterministe>(1); }, reglages,
                                  [this] { return secondes; }, resoudre, carnet});
  }
  std::shared_ptr<ChercheurRavlo> chercheur = creer();
  int notifications = 0;
  Abonnement abonnement = chercheur->observer([this] { ++notifications; });
  const ChercheurRavlo::Appareil appareil = carte("Salon");

  faux::ConnexionFactice& appairer(const std::string& code) {
    chercheur->appairer(appareil, code);
    file->executer();
    return connexions->derniere();
  }
  // Répond par `repondeur` à chaque message du chercheur, sans délai, jusqu'au dernier.
  template <class Message, class Repondeur>
  void jouer(Repondeur& repondeur) {
    auto& c = connexions->derniere();
    for (std::size_t lus = 0; lus < c.envoyes.size();) {
      const auto m = Message::decoder(c.envoyes[lus++]);
      ASSERT_TRUE(m.has_value());
      if (auto r = repondeur.recevoir(*m)) c.livrer(r->donnees());
      file->executer();
      // Un refus part, et son envoi est traité, avant que la connexion soit annulée.
      EXPECT_FALSE(c.annulee && !c.envoisAttendus.empty()) << "annulée avant son dernier envoi";
      c.traiterEnvois();
      file->executer();
    }
  }
  void jouerRecepteur(const char* code) {
    AppairageRepondeur r(*CodeAppairage::depuisSaisie(code),
                         std::make_shared<HasardDeterministe>(2));
    jouer<MessagePasskey>(r);
  }
};

// Liste triée par octets, sans les points qui ne sont pas des services ; une notification
// par changement réel, aucune après la résiliation. L'attente garde la liste ; l'échec la
// vide et arrête la recherche ; l'état suit ensuite le navigateur, pas le démarrage.
TEST_F(Chercheur, ListeNotificationsAttenteEchec) {
  chercheur->demarrer();
  chercheur->demarrer();
  EXPECT_EQ(navigateurs->crees.size(), 1u) << "pas de second navigateur";
  EXPECT_EQ(notifications, 1) << "recherche";
  auto& n = navigateurs->dernier();
  for (int fois = 0; fois < 2; ++fois) {
    n.jouerEtat({EtatNavigateur::Cas::pret, {}});
    n.publier({service("a"), {PointReseau{"10.99.0.3", 1}}, service("B")});
    file->executer();
    EXPECT_EQ(notifications, 3) << "mêmes valeurs : rien de nouveau";
  }
  EXPECT_EQ(chercheur->appareils(), (std::vector{carte("B"), carte("a")}));
  abonnement.resilier();
  n.publier({});
  file->executer();
  EXPECT_TRUE(chercheur->appareils().empty());
  n.publier({service("Salon")});
  const ErreurReseau refus{DomaineErreurReseau::dnssd, ErreurReseau::dnssdNonAutorise};
  n.jouerEtat({EtatNavigateur::Cas::attente, refus});
  file->executer();
  EXPECT_EQ(notifications, 3);
  EXPECT_EQ(chercheur->etatReseau().cas, ChercheurRavlo::EtatReseau::Cas::attente);
  EXPECT_EQ(chercheur->etatReseau().erreur, refus);
  EXPECT_EQ(chercheur->etatReseau().texte("fr"), MessageErreurReseau::texte(refus, "fr"));
  EXPECT_EQ(chercheur->appareils(), std::vector{appareil});
  n.jouerEtat({EtatNavigateur::Cas::echec, refus});
  n.publier({service("Tard")});  // déjà posté quand l'échec arrive
  file->executer();
  EXPECT_EQ(chercheur->etatReseau().cas, ChercheurRavlo::EtatReseau::Cas::echec);
  EXPECT_TRUE(n.annule);
  EXPECT_FALSE(chercheur->recherche());
  EXPECT_TRUE(chercheur->appareils().empty());
  chercheur->demarrer();
  EXPECT_TRUE(chercheur->recherche());
  EXPECT_EQ(chercheur->etatReseau().cas, ChercheurRavlo::EtatReseau::Cas::echec);

  // Détruit en plein appairage, le chercheur annule sa recherche et ne prévient plus de rien.
  int vues = 0;
  Abonnement suivi = chercheur->observer([&] { ++vues; });
  chercheur->appairer(appareil, "1234");
  chercheur.reset();
  file->avancer(dialogue::budget + 1s);
  EXPECT_TRUE(navigateurs->dernier().annule);
  EXPECT_EQ(vues, 1) << "appairageEnCours, rien après";
}

// Un récepteur muet : le même message repart toutes les 700 ms ; le budget de 8 s épuisé, la
// première attente commencée après n'a pas lieu : échec à 12 × 700 ms. Le code, jamais
// dévoilé, reste utilisable. Un datagramme arrivé ouvre une nouvelle attente : le délai de la
// précédente ne fait rien repartir, le renvoi vient 700 ms après l'arrivée.
TEST_F(Chercheur, RenvoisPasDeReponseEtReponsesQuiTerminent) {
  auto& c = appairer("1234");
  file->avancer(699ms);
  EXPECT_EQ(c.envoyes.size(), 1u);
  file->avancer(1ms);
  ASSERT_EQ(c.envoyes.size(), 2u);
  EXPECT_EQ(c.envoyes[1], c.envoyes[0]);
  file->avancer(7699ms);
  EXPECT_TRUE(chercheur->appairageEnCours());
  file->avancer(1ms);
  EXPECT_FALSE(chercheur->appairageEnCours());
  EXPECT_TRUE(c.annulee);
  EXPECT_EQ(chercheur->resultat(), (Resultat{Cas::echec, {}, ErreurAppairage::pasDeReponse}));
  EXPECT_TRUE(chercheur->codesGrilles().empty());

  auto& d = appairer("1234");
  EXPECT_EQ(connexions->creees.size(), 2u) << "le code repart";
  file->avancer(400ms);
  ASSERT_TRUE(d.livrer(Octets{'R', 'P', 9}));
  file->avancer(699ms);
  EXPECT_EQ(d.envoyes.size(), 1u) << "ni à 700 ms du début, ni avant 700 ms après l'arrivée";
  file->avancer(1ms);
  EXPECT_EQ(d.envoyes.size(), 2u);
  file->avancer(dialogue::budget);
  EXPECT_FALSE(chercheur->appairageEnCours());

  // Un datagramme illisible est ignoré ; une réponse en JSON (ancien récepteur), une erreur de
  // réception ou un refus avant tout dévoilement (le récepteur en pause) termine aussitôt, sur
  // son texte, sans griller le code.
  const ErreurReseau refus{DomaineErreurReseau::posix, ECONNREFUSED};
  const auto refuserDebut = [](faux::ConnexionFactice& cx) {
    const auto debut = MessagePasskey::decoder(cx.envoyes.at(0));
    return debut && cx.livrer(MessagePasskey::refus(debut->tentative()).donnees());
  };
  for (const auto& [livrer, attendu] :
       std::vector<std::pair<std::function<bool(faux::ConnexionFactice&)>, EchecDialogue>>{
           {[](auto& cx) { return cx.livrer(Octets{'{', '"', 'v', '"'}); },
            ErreurAppairage::recepteurAncien},
           {[&](auto& cx) { return cx.livrer(std::nullopt, refus); }, refus},
           {refuserDebut, ErreurAppairage::refusAvantDevoilement}}) {
    auto& e = appairer("1234");
    ASSERT_TRUE(e.livrer(Octets{'R', 'P', 9}));
    file->executer();
    EXPECT_TRUE(chercheur->appairageEnCours());
    ASSERT_TRUE(livrer(e));
    file->executer();
    EXPECT_FALSE(chercheur->appairageEnCours());
    EXPECT_EQ(chercheur->resultat(), (Resultat{Cas::echec, {}, attendu}));
    EXPECT_TRUE(e.annulee);
    EXPECT_TRUE(chercheur->codesGrilles().empty());
    EXPECT_FALSE(reglages->lireOctets(RegistreCodesGrilles::cle).has_value());
  }
}

// Un code refusé après son dévoilement est grillé, pour tout appareil, 24 h, même après une
// relance, sans être écrit en clair.
TEST_F(Chercheur, CodeRefuseGrille24h) {
  appairer("1234");
  jouerRecepteur("9999");
  EXPECT_EQ(chercheur->resultat().cas, Cas::refuse);
  const auto garde = reglages->lireOctets(RegistreCodesGrilles::cle);
  ASSERT_TRUE(garde.has_value());
  EXPECT_EQ(std::ranges::search(*garde, std::string_view("1234")).size(), 0u);
  for (const auto& [apres, grille] :
       {std::pair{0, true}, std::pair{23 * 3600, true}, std::pair{24 * 3600, false}}) {
    secondes = 1'800'000'000 + apres;
    chercheur = creer();
    const std::size_t creees = connexions->creees.size();
    chercheur->appairer(carte("Cuisine"), " 1234");
    file->executer();
    EXPECT_EQ(chercheur->resultat().cas == Cas::codeDejaEssaye, grille) << apres;
    EXPECT_EQ(connexions->creees.size(), creees + (grille ? 0 : 1)) << "rien n'est envoyé";
    file->avancer(dialogue::budget + 1s);
  }
  reglages->ecrireOctets(RegistreCodesGrilles::cle, Octets(55, 0));
  EXPECT_FALSE(RegistreCodesGrilles(reglages, {}).contient("1234")) << "abîmé : vide";
}

// Ce qui se tape dans « Ajouter par adresse » : bords blancs ôtés, crochets d'une IPv6 ôtés,
// et chaque faute dite par son cas. Le nom lu garde l'hôte et le port, une IPv6 entre crochets.
TEST(AdresseManuelle, LueOuRefuseeAvecSaRaison) {
  using E = ErreurAdresse;
  const std::vector<std::tuple<std::string, std::string, std::expected<std::string, E>>> cas{
      {" 192.168.1.20 ", "41234", "192.168.1.20:41234"},
      {"salon.local", " 1 ", "salon.local:1"},
      {"[fe80::1]", "65535", "[fe80::1]:65535"},
      {"::1", "50000", "[::1]:50000"},
      {"  ", "50000", std::unexpected(E::hoteVide)},
      {"salon local", "50000", std::unexpected(E::hoteInvalide)},
      {"[fe80::1", "50000", std::unexpected(E::hoteInvalide)},
      {"salon", "", std::unexpected(E::portInvalide)},
      {"salon", "0", std::unexpected(E::portInvalide)},
      {"salon", "65536", std::unexpected(E::portInvalide)},
      {"salon", "12ab", std::unexpected(E::portInvalide)},
  };
  for (const auto& [hote, port, nom] : cas) {
    const auto lue = lireAdresseManuelle(hote, port);
    using Nom = std::expected<std::string, E>;
    EXPECT_EQ(lue ? Nom(lue->nom()) : Nom(std::unexpect, lue.error()), nom) << hote << "/" << port;
  }
  EXPECT_EQ((AdresseManuelle{"::1", 1}.famille()), FamilleAdresses::ipv6);
  EXPECT_EQ((AdresseManuelle{"salon.local", 1}.famille()), FamilleAdresses::ipv4);
}

// Un récepteur ajouté par son adresse : résolu sur la file du chercheur, listé après ceux
// trouvés, gardé quand la recherche change ou s'arrête, et appairé à l'adresse résolue (le
// refus d'un port avant toute résolution, l'attente de la résolution : Panneau.
// LaSaisieLesRefusEtLAjoutParAdresse). Un code mal tapé n'envoie rien ; un code entouré de
// blancs passe, en 30 messages ; `resultat` est annoncé d'abord, `appaire` ensuite, puis la
// fin de l'appairage.
TEST_F(Chercheur, UnRecepteurAjouteParSonAdresseSeComporteCommeUnTrouve) {
  const auto& c = chercheur;
  c->demarrer();
  navigateurs->dernier().publier({service("Salon")});
  file->executer();

  // Un hôte inconnu, l'erreur qui s'efface : Panneau.LaSaisieLesRefusEtLAjoutParAdresse.
  std::string ajoute;
  c->ajouterParAdresse(" salon.local", "41234 ", [&](const std::string& id) { ajoute = id; });
  file->executer();
  const ChercheurRavlo::Appareil manuel{"adresse:salon.local:41234", "salon.local:41234",
                                        PointReseau{"10.99.0.7", 41234}};
  EXPECT_EQ(ajoute, manuel.id);
  EXPECT_EQ(c->appareils(), (std::vector{carte("Salon"), manuel}));
  c->ajouterParAdresse("salon.local", "41234");
  file->executer();
  EXPECT_EQ(c->appareils().size(), 2u) << "la même adresse ne fait pas deux cartes";
  ASSERT_EQ(demandes.size(), 2u);
  EXPECT_EQ(demandes[0], std::make_pair(std::string("salon.local"), FamilleAdresses::ipv4));

  navigateurs->dernier().publier({service("Bureau"), service("Cuisine")});
  file->executer();
  EXPECT_EQ(c->appareils(), (std::vector{carte("Bureau"), carte("Cuisine"), manuel}))
      << "de nouveaux résultats ne l'effacent pas";
  c->arreter();
  EXPECT_EQ(c->appareils(), std::vector{manuel}) << "l'arrêt de la recherche non plus";

  for (const char* saisie : {"123", "12345", "12a4"}) {
    c->appairer(manuel, saisie);
    file->executer();
    EXPECT_EQ(c->resultat(), (Resultat{Cas::echec, {}, ErreurAppairage::codeMalForme})) << saisie;
  }
  c->appairer(manuel, "");
  EXPECT_EQ(c->resultat().cas, Cas::codeDemande) << "sans code ni appairage retenu";
  EXPECT_TRUE(connexions->creees.empty());
  std::vector<std::pair<Cas, bool>> vus;
  Abonnement ordre =
      c->observer([&] { vus.emplace_back(c->resultat().cas, c->appaire().has_value()); });
  c->appairer(c->appareils()[0], "  1234 ");
  file->executer();
  EXPECT_EQ(connexions->points.back(), manuel.point);
  jouerRecepteur("1234");
  ASSERT_FALSE(c->appairageEnCours());
  EXPECT_EQ(connexions->derniere().envoyes.size(), 30u) << "aucun renvoi";
  EXPECT_TRUE(connexions->derniere().annulee);
  EXPECT_EQ(c->resultat(), (Resultat{Cas::accepte, manuel.nom, {}}));
  ASSERT_TRUE(c->appaire().has_value());
  EXPECT_EQ(c->appaire()->appareil, manuel);
  ASSERT_GE(vus.size(), 3u);
  EXPECT_EQ(vus[vus.size() - 3], std::make_pair(Cas::accepte, false));
  EXPECT_EQ(vus[vus.size() - 2], std::make_pair(Cas::accepte, true));
}

// Un code accepté retient le récepteur (identifiant du TXT, adresse, secret de la paire) : sa
// carte dit « mémorisé » ; un nouveau code remplace l'entrée. Retenu, il se reprend avant tout
// code, contre un vrai répondeur : accepté avec la preuve à renvoyer dans la liaison, qui
// s'entend avec celle du répondeur ; un refus ou le silence (renvoi toutes les 700 ms, abandon
// vers 2,5 s) demandent le code sans oublier la paire ; un récepteur qui n'annonce pas la
// reprise, le code aussitôt, sans rien envoyer. « Oublier » le retire.
TEST_F(Chercheur, CodeAccepteRetenuRepriseAvantLeCodePuisOubli) {
  chercheur->demarrer();
  const std::string id = "0102030405060708090a0b0c0d0e0f10";
  ResultatService s = service("Salon");
  s.txt = {"id=" + id, "reprise=1"};
  navigateurs->dernier().publier({s});
  file->executer();
  ASSERT_EQ(chercheur->appareils().size(), 1u);
  const ChercheurRavlo::Appareil a = chercheur->appareils()[0];
  EXPECT_FALSE(a.memorise);
  EXPECT_TRUE(a.connaitReprise);
  for (const char* code : {"1234", "5678"}) {
    chercheur->appairer(a, code);
    file->executer();
    jouerRecepteur(code);
    ASSERT_EQ(chercheur->resultat().cas, Cas::accepte);
    ASSERT_EQ(carnet->contenu.size(), 1u);
  }
  const RecepteurMemorise retenu = carnet->contenu[0];
  EXPECT_EQ(retenu.identifiant, depuisHexa<16>(id));
  EXPECT_EQ(retenu.adresse, "10.99.0.1:50000");
  EXPECT_EQ(retenu.nom, "Salon");
  EXPECT_EQ(retenu.dernierUsage, secondes);
  ASSERT_EQ(chercheur->appareils().size(), 1u);
  EXPECT_TRUE(chercheur->appareils()[0].memorise);
  EXPECT_TRUE(chercheur->peutReprendre(chercheur->appareils()[0]));

  enum class Face : std::uint8_t { connaitLaPaire, autreSecret, muet };
  const struct {
    const char* nom;
    bool annonceReprise;
    Face face;
    Cas attendu;
    std::size_t envois;
  } cas[] = {
      {"reprise", true, Face::connaitLaPaire, Cas::accepte, 2},
      {"refus", true, Face::autreSecret, Cas::codeDemande, 1},
      {"silence", true, Face::muet, Cas::codeDemande, 4},
      {"sans reprise=1", false, Face::connaitLaPaire, Cas::codeDemande, 0},
  };
  for (const auto& k : cas) {
    SCOPED_TRACE(k.nom);
    ChercheurRavlo::Appareil b = chercheur->appareils()[0];
    b.connaitReprise = k.annonceReprise;
    chercheur->changerAppaire(std::nullopt);
    const std::size_t creees = connexions->creees.size();
    chercheur->appairer(b, "");
    file->executer();
    ASSERT_EQ(connexions->creees.size(), creees + (k.envois > 0 ? 1 : 0));
    if (k.envois > 0) {
      auto& c = connexions->derniere();
      SecretPaire connue = retenu.paire;
      if (k.face == Face::autreSecret) connue.psk.octets().fill(7);
      RepriseRepondeur repondeur(
          [&](const IdentifiantPaire& i) -> std::optional<SecretPaire> {
            return i == connue.identifiant ? std::optional(connue) : std::nullopt;
          },
          std::make_shared<HasardDeterministe>(3));
      if (k.face != Face::muet) jouer<MessageReprise>(repondeur);
      file->avancer(dialogue::budgetReprise + 1s);
      EXPECT_EQ(c.envoyes.size(), k.envois);
      EXPECT_TRUE(c.annulee);
      const auto* r = std::get_if<RepriseRepondeur::Reussi>(&repondeur.etat());
      ASSERT_EQ(r != nullptr, k.attendu == Cas::accepte);
      ASSERT_EQ(chercheur->appaire().has_value(), k.attendu == Cas::accepte);
      if (r != nullptr) {
        const Liaison& l = chercheur->appaire()->liaison;
        EXPECT_EQ(l.aRenvoyer, c.envoyes.back());
        EXPECT_EQ(l.aRenvoyer.size(), 28u);
        const auto scelle = l.scelleur->sceller(Octets{1, 2, 3}, SorteEnveloppe::audio);
        EXPECT_TRUE(scelle && r->liaison.ouvreur->ouvrir(*scelle)) << "mêmes clés";
      }
    }
    EXPECT_EQ(chercheur->resultat().cas, k.attendu);
    EXPECT_FALSE(chercheur->appairageEnCours());
    ASSERT_EQ(carnet->contenu.size(), 1u) << "la paire reste retenue";
    EXPECT_EQ(carnet->contenu[0].paire, retenu.paire);
  }
  chercheur->oublier(chercheur->appareils()[0]);
  EXPECT_TRUE(carnet->contenu.empty());
  EXPECT_FALSE(chercheur->appareils()[0].memorise);
}

}  // namespace
}  // namespace ravlo
