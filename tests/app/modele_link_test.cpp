// SPDX-License-Identifier: MPL-2.0
#include "link/app/modele_link.hpp"

#include <algorithm>

#include "app/banc_app.hpp"
#include "faux/notifications_enregistreuses.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/actions_panneau.hpp"
#include "link/app/avis_fin_envoi.hpp"
#include "link/app/etat_panneau.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_horloge.hpp"
#include "protocol/messages/message_releve.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using CasResultat = ChercheurRavlo::Resultat::Cas;

// Le renoncement de l'émetteur et le changement de récepteur défont l'appairage ; l'icône suit.
TEST(ModeleLink, FinInjoignableChangementDeRecepteurEtIcone) {
  banc::Application app;
  EXPECT_TRUE(app.chercheur().recherche());
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::repos);

  app.envoyer();
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::envoi);
  app.etatConnexion(EtatConnexion::Cas::attente);
  app.file->avancer(500ms);
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::probleme) << "erreur réseau";
  app.file->avancer(31s);  // l'émetteur renonce
  EXPECT_FALSE(app.chercheur().appaire().has_value());
  EXPECT_EQ(app.chercheur().resultat().cas, CasResultat::recepteurInjoignable);
  EXPECT_EQ(etatIcone(*app.modele), EtatIcone::repos) << "une vieille erreur ne compte plus";

  app.envoyer();
  app.modele->changerDeRecepteur();
  app.file->executer();
  EXPECT_FALSE(app.diffusion().enDiffusion());
  EXPECT_TRUE(app.connexions->derniere().annulee);
  EXPECT_FALSE(app.chercheur().appaire().has_value());
  EXPECT_EQ(app.chercheur().resultat().cas, CasResultat::aucun);
}

// Une seule sonde à la fois ; verdict au bout d'une seconde, même sans aucun son, ou tout
// de suite si la capture refuse ; la capture ne survit pas à la sonde.
TEST(ModeleLink, LaSondeTientUneSecondePuisRendSonVerdict) {
  for (const int demarrer : {0, -3}) {
    banc::Application app;
    if (demarrer != 0)
      app.audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::fluxImpossible, demarrer};
    app.modele->sonder();
    app.modele->sonder();
    app.file->avancer(999ms);
    EXPECT_EQ(app.modele->sondeDuSon(), demarrer ? std::optional(false) : std::nullopt);
    app.file->avancer(1ms);
    EXPECT_EQ(app.modele->sondeDuSon(), demarrer == 0);
    EXPECT_FALSE(app.audio->demarree());
  }
}

// L'envoi vers Salon, trois récepteurs trouvés, et le panneau sans Qt qui ajoute des pièces.
struct Envoi {
  banc::Application app;
  std::shared_ptr<SaisiePanneau> saisie = std::make_shared<SaisiePanneau>();
  ActionsPanneau actions = ActionsPanneau::pour(
      app.modele, saisie, std::make_shared<PlateformeAppEnregistreuse>(), *app.file);
  faux::ConnexionFactice* salon = nullptr;

  Envoi() {
    app.navigateurs->dernier().publier(
        {banc::service("Salon"), banc::service("Cuisine"), banc::service("Bureau")});
    app.file->executer();
    app.envoyer();
    salon = &app.connexions->derniere();
  }
  [[nodiscard]] EtatPanneau panneau() const { return EtatPanneau::depuis(*app.modele, "fr"); }
  [[nodiscard]] std::string titre() const {
    const auto message = panneau().message;
    return message ? message->titre : std::string();
  }
  [[nodiscard]] std::vector<std::string> pieces() const {
    std::vector<std::string> noms;
    for (const auto& p : panneau().pieces) noms.push_back(p.nom);
    return noms;
  }
  // Ce qu'on fait dans « Ajouter une pièce » : choisir, taper, valider.
  void ajouter(const std::string& nom, const std::string& code) {
    actions.ouvrirAjout();
    saisie->choisir(nom);
    saisie->changerCode(code);
    actions.ajouterPiece();
    app.file->executer();
  }
  // Une pièce ajoutée sans appairage (clé `vers` vers elle, `vers` + 1 vers l'émetteur) : sa
  // connexion. Cuisine a les clés 3 et 4.
  faux::ConnexionFactice& pieceAppairee(const std::string& nom, std::uint8_t vers) {
    app.diffusion().ajouterPiece(banc::service(nom).point,
                                 Liaison::nouvelle(banc::cle(vers), banc::cle(vers + 1)), nom);
    app.file->executer();
    return app.connexions->derniere();
  }
  faux::ConnexionFactice& cuisineAppairee() { return pieceAppairee("Cuisine", 3); }
};

std::size_t paquetsAudio(faux::ConnexionFactice& c, Ouvreur& ouvreur) {
  return static_cast<std::size_t>(std::ranges::count_if(c.envoyes, [&](const Octets& d) {
    const auto ouvert = ouvreur.ouvrir(d);
    return ouvert && ouvert->sorte == SorteEnveloppe::audio;
  }));
}

// Appairée pendant l'envoi, la pièce rejoint la diffusion qui tourne et reçoit le même bloc
// que la première ; le chercheur garde le récepteur de l'envoi et son issue.
TEST(Pieces, UnePieceAjouteeJoueAvecLaPremiere) {
  Envoi e;
  const auto offerts = [&] {
    std::vector<std::string> noms;
    for (const auto& a : e.panneau().appareils) noms.push_back(a.nom);
    return noms;
  };
  EXPECT_EQ(offerts(), (std::vector<std::string>{"Bureau", "Cuisine"})) << "Salon joue déjà";
  AppairageRepondeur recepteur(*CodeAppairage::depuisSaisie("4821"),
                               std::make_shared<HasardDeterministe>(7));
  e.ajouter("Cuisine", "4821");
  EXPECT_EQ(e.saisie->code(), "");
  e.app.dialoguer(recepteur);
  const auto* reussi = std::get_if<AppairageRepondeur::Reussi>(&recepteur.etat());
  ASSERT_NE(reussi, nullptr);
  e.app.file->executer();

  EXPECT_FALSE(e.saisie->ajoutOuvert()) << "la pièce ajoutée, l'ajout se ferme";
  ASSERT_TRUE(e.app.chercheur().appaire().has_value());
  EXPECT_EQ(e.app.chercheur().appaire()->appareil.nom, "Salon");
  EXPECT_EQ(e.app.chercheur().resultat().cas, CasResultat::aucun);
  EXPECT_EQ(e.pieces(), (std::vector<std::string>{"Salon", "Cuisine"}));
  EXPECT_EQ(offerts(), std::vector<std::string>{"Bureau"});
  EXPECT_EQ(e.panneau().destination, "Salon et Cuisine");
  EXPECT_EQ(statutEnvoi(e.app.diffusion(), "fr"), "Envoi vers Salon et Cuisine");
  EXPECT_EQ(e.titre(), "");

  auto& cuisine = e.app.connexions->derniere();
  ASSERT_NE(&cuisine, e.salon);
  for (auto* c : {e.salon, &cuisine}) {
    c->jouerEtat({EtatConnexion::Cas::prete, std::nullopt});
    c->envoyes.clear();
  }
  e.app.file->executer();
  static const std::vector<float> son(640, 0.25F);
  e.app.audio->livrer({son, 0, e.app.horloge.hoteNs()});
  e.app.file->executer();
  Ouvreur versSalon(banc::cle(1));
  EXPECT_EQ(paquetsAudio(*e.salon, versSalon), 1u);
  EXPECT_EQ(paquetsAudio(cuisine, *reussi->liaison.ouvreur), 1u)
      << "sous les clés de son appairage";
  EXPECT_EQ(etatIcone(*e.app.modele), EtatIcone::envoi);
}

// Un ajout qui échoue se dit comme un appairage qui échoue, en nommant le récepteur ; l'envoi
// et le récepteur appairé n'en sont pas touchés.
TEST(Pieces, UnAjoutQuiEchoueNommeSonRecepteur) {
  struct Cas {
    const char* nom;
    std::vector<std::string> codesRecepteur;  // un essai par code ; vide : aucune réponse
    std::string titre;
  };
  for (const Cas& c : std::vector<Cas>{
           {"sans réponse", {}, "Appairage impossible avec Cuisine"},
           {"code faux", {"1111"}, "Code refusé par Cuisine"},
           {"code grillé retapé", {"1111", "1111"}, "Cuisine : ce code a déjà été essayé"},
       }) {
    SCOPED_TRACE(c.nom);
    Envoi e;
    if (c.codesRecepteur.empty()) {
      e.ajouter("Cuisine", "4821");
      // Le dialogue renonce au bout de 8 s ; la capture, elle, continue de livrer.
      e.app.avancerAvecDuSon(9s, 500ms);
    }
    for (const std::string& code : c.codesRecepteur) {
      AppairageRepondeur recepteur(*CodeAppairage::depuisSaisie(code),
                                   std::make_shared<HasardDeterministe>(7));
      e.ajouter("Cuisine", "4821");
      if (e.app.chercheur().appairageEnCours()) e.app.dialoguer(recepteur);
    }
    e.app.file->executer();
    EXPECT_EQ(e.titre(), c.titre);
    EXPECT_EQ(e.pieces(), std::vector<std::string>{"Salon"});
    EXPECT_EQ(e.app.chercheur().appaire()->appareil.nom, "Salon");
    EXPECT_EQ(e.app.chercheur().resultat().cas, CasResultat::aucun)
        << "rien à montrer après l'arrêt";
    EXPECT_EQ(etatIcone(*e.app.modele), EtatIcone::envoi);
    EXPECT_TRUE(e.saisie->ajoutOuvert()) << "on peut retaper";
    e.actions.fermerAjout();
    EXPECT_EQ(e.titre(), "");
  }
}

// Retirer une pièce laisse jouer l'autre ; retirer la dernière arrête l'envoi comme
// « Arrêter », sans dire que le récepteur a arrêté.
TEST(Pieces, RetirerUnePieceLaisseLAutreLaDerniereArrete) {
  Envoi e;
  auto& cuisine = e.cuisineAppairee();
  e.actions.retirerPiece(0);
  e.app.file->executer();
  EXPECT_TRUE(e.salon->annulee);
  EXPECT_FALSE(cuisine.annulee);
  EXPECT_TRUE(e.app.diffusion().enDiffusion());
  EXPECT_EQ(e.pieces(), std::vector<std::string>{"Cuisine"});
  EXPECT_EQ(e.panneau().destination, "Cuisine");

  e.actions.retirerPiece(1);
  e.app.file->executer();
  EXPECT_FALSE(e.app.diffusion().enDiffusion());
  EXPECT_TRUE(cuisine.annulee);
  EXPECT_FALSE(e.app.audio->demarree());
  EXPECT_EQ(e.panneau().ecran, EtatPanneau::Ecran::pret) << "Salon reste appairé";
  EXPECT_EQ(e.titre(), "");
  EXPECT_EQ(etatIcone(*e.app.modele), EtatIcone::repos);
}

// Une pièce en ennui se nomme et le badge le montre ; partie d'elle-même, elle quitte les
// cartes avec un message qui la nomme, le badge redevient normal et le bureau n'est pas
// prévenu. Toutes en ennui, le message est celui d'une seule pièce.
TEST(Pieces, UnePieceEnEnnuiPuisPartieSeule) {
  using C = EtatConnexion::Cas;
  struct Cas {
    const char* nom;
    C cuisine;
    std::chrono::milliseconds attente;  // muet : 3 s sans rien d'authentique
    bool salonPret;
    std::string pendant, apres;
    EtatIcone iconeApres;
  };
  for (const Cas& c : std::vector<Cas>{
           {"Cuisine muette", C::prete, 3500ms, false,
            "Cuisine ne répond plus ; les autres pièces jouent",
            "Cuisine a arrêté la lecture ; les autres pièces jouent", EtatIcone::envoi},
           {"réseau vers Cuisine", C::attente, 500ms, false,
            "Problème de réseau vers Cuisine ; les autres pièces jouent",
            "Cuisine a arrêté la lecture ; les autres pièces jouent", EtatIcone::envoi},
           {"toutes muettes", C::prete, 3500ms, true, "Le récepteur ne répond plus",
            "Le récepteur ne répond plus", EtatIcone::probleme},
       }) {
    SCOPED_TRACE(c.nom);
    Envoi e;
    const auto bureau = std::make_shared<NotificationsEnregistreuses>();
    const AvisFinEnvoi avis(e.app.modele, bureau, [] { return std::string("fr"); });
    auto& cuisine = e.cuisineAppairee();
    if (c.salonPret) e.salon->jouerEtat({C::prete, std::nullopt});
    cuisine.jouerEtat({c.cuisine, ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}});
    e.app.file->avancer(c.attente);
    EXPECT_EQ(e.titre(), c.pendant);
    EXPECT_EQ(etatIcone(*e.app.modele), EtatIcone::probleme);
    const auto ennuis = e.panneau().pieces;
    ASSERT_EQ(ennuis.size(), 2u);
    EXPECT_EQ(ennuis[0].ennui != EnnuiPiece::aucun, c.salonPret);
    EXPECT_NE(ennuis[1].ennui, EnnuiPiece::aucun);

    ASSERT_TRUE(
        cuisine.livrer(*Scelleur(banc::cle(4)).sceller(MessageFin::donnees, SorteEnveloppe::fin)));
    e.app.file->executer();
    EXPECT_EQ(e.pieces(), std::vector<std::string>{"Salon"});
    EXPECT_EQ(e.titre(), c.apres);
    EXPECT_EQ(etatIcone(*e.app.modele), c.iconeApres);
    EXPECT_TRUE(e.app.diffusion().enDiffusion());
    EXPECT_TRUE(bureau->bulles.empty());
  }
}

// Trois pièces ; le récepteur de Cuisine se tait puis reparle. Sa carte le dit sous son nom
// dès le relevé qui le voit, les autres cartes restent nettes ; il reparle, sa carte se nettoie.
TEST(Pieces, LaCarteDUnePieceMuetteLeDitPuisSeNettoie) {
  Envoi e;
  std::vector<faux::ConnexionFactice*> connexions{e.salon, &e.cuisineAppairee(),
                                                  &e.pieceAppairee("Bureau", 5)};
  std::vector<std::unique_ptr<Scelleur>> recepteurs;
  for (const std::uint8_t c : {2, 4, 6})
    recepteurs.push_back(std::make_unique<Scelleur>(banc::cle(c)));
  for (auto* c : connexions) c->jouerEtat({EtatConnexion::Cas::prete, std::nullopt});
  const auto demiSeconde = [&](std::initializer_list<std::size_t> parlent) {
    for (const std::size_t i : parlent) {
      ASSERT_TRUE(connexions[i]->livrer(
          *recepteurs[i]->sceller(MessageHorloge::question(0).encoder(), SorteEnveloppe::horloge)));
    }
    e.app.avancerAvecDuSon(500ms, 500ms);
  };
  const auto cartes = [&] {
    std::vector<std::string> textes;
    for (const auto& p : e.panneau().pieces) textes.push_back(p.ennuiTexte);
    return textes;
  };
  using Textes = std::vector<std::string>;
  for (int demi = 0; demi < 6; ++demi) demiSeconde({0, 1, 2});
  EXPECT_EQ(cartes(), (Textes{"", "", ""}));
  for (int demi = 0; demi < 7; ++demi) demiSeconde({0, 2});
  EXPECT_EQ(cartes(), (Textes{"", "Le récepteur ne répond plus", ""}));
  EXPECT_EQ(e.titre(), "Cuisine ne répond plus ; les autres pièces jouent");
  EXPECT_EQ(etatIcone(*e.app.modele), EtatIcone::probleme);
  demiSeconde({0, 1, 2});
  EXPECT_EQ(cartes(), (Textes{"", "", ""}));
  EXPECT_EQ(e.titre(), "");
  EXPECT_EQ(etatIcone(*e.app.modele), EtatIcone::envoi);
}

// Un autre émetteur prend le récepteur : celui-ci le nomme juste avant la fin, et le panneau
// (comme l'avis du bureau quand l'envoi finit) dit qui l'a pris ; sans ce nom, la fin se dit
// comme avant.
TEST(Pieces, LeRecepteurPrisParUnAutreEmetteurLeNomme) {
  struct Cas {
    const char* nom;
    bool cuisine;  // la fin vient de Cuisine, Salon joue encore
    std::optional<std::string> prisPar;
    std::string titre;
  };
  for (const Cas& c : std::vector<Cas>{
           {"seul, pris", false, "Bureau de Léa", "Bureau de Léa a pris le récepteur"},
           {"seul, fin sans nom", false, std::nullopt, "Le récepteur a arrêté la lecture"},
           {"Cuisine prise", true, "Bureau de Léa",
            "Bureau de Léa a pris Cuisine ; les autres pièces jouent"},
       }) {
    SCOPED_TRACE(c.nom);
    Envoi e;
    const auto bureau = std::make_shared<NotificationsEnregistreuses>();
    const AvisFinEnvoi avis(e.app.modele, bureau, [] { return std::string("fr"); });
    faux::ConnexionFactice& prise = c.cuisine ? e.cuisineAppairee() : *e.salon;
    Scelleur recepteur(banc::cle(c.cuisine ? 4 : 2));
    if (c.prisPar) {
      ASSERT_TRUE(prise.livrer(
          *recepteur.sceller(MessageReleve{*c.prisPar}.encoder(), SorteEnveloppe::fin)));
      e.app.file->executer();
    }
    ASSERT_TRUE(prise.livrer(*recepteur.sceller(MessageFin::donnees, SorteEnveloppe::fin)));
    e.app.file->executer();
    EXPECT_EQ(e.app.diffusion().enDiffusion(), c.cuisine);
    EXPECT_EQ(e.titre(), c.titre);
    EXPECT_EQ(bureau->bulles.empty(), c.cuisine) << "une pièce partie seule ne fait pas de bulle";
    if (!c.cuisine) {
      ASSERT_EQ(bureau->bulles.size(), 1u);
      EXPECT_EQ(bureau->bulles[0].first, c.titre);
    }
  }
}

}  // namespace
}  // namespace ravlo
