#include "link/app/modele_link.hpp"

#include <algorithm>

#include "app/banc_app.hpp"
#include "faux/notifications_enregistreuses.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/actions_panneau.hpp"
#include "link/app/avis_fin_envoi.hpp"
#include "link/app/etat_panneau.hpp"
#include "protocol/messages/message_fin.hpp"

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
  // Cuisine ajoutée sans appairage (clés 3 vers elle, 4 vers l'émetteur) : sa connexion.
  faux::ConnexionFactice& cuisineAppairee() {
    app.diffusion().ajouterPiece(banc::service("Cuisine").point,
                                 Liaison::nouvelle(banc::cle(3), banc::cle(4)), "Cuisine");
    app.file->executer();
    return app.connexions->derniere();
  }
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
      static const std::vector<float> son(640, 0.25F);
      for (int demi = 0; demi < 18; ++demi) {
        e.app.audio->livrer({son, 0, e.app.horloge.hoteNs()});
        e.app.file->avancer(500ms);
      }
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

}  // namespace
}  // namespace ravlo
