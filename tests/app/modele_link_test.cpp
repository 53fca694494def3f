// SPDX-License-Identifier: MPL-2.0
#include "link/app/modele_link.hpp"

#include <numeric>

#include "app/banc_app.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/actions_panneau.hpp"
#include "link/app/avis_fin_envoi.hpp"
#include "link/app/etat_panneau.hpp"
#include "protocol/appairage/demande_code.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_releve.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using R = ChercheurRavlo::Resultat::Cas;
using N = EtatNavigateur::Cas;
using C = EtatConnexion::Cas;
using Textes = std::vector<std::string>;

// Garde chaque bulle demandée au bureau, titre et texte.
struct BulleEnregistrees final : NotificationsBureau {
  void notifier(const std::string& titre, const std::string& texte) override {
    bulles.emplace_back(titre, texte);
  }
  std::vector<std::pair<std::string, std::string>> bulles;
};

// L'application, le panneau sans Qt et les bulles ; `trouves` publiés, l'envoi vers Salon
// parti si demandé.
struct Banc : banc::Application {
  std::shared_ptr<SaisiePanneau> saisie = std::make_shared<SaisiePanneau>();
  ActionsPanneau actions =
      ActionsPanneau::pour(modele, saisie, std::make_shared<PlateformeAppEnregistreuse>(), *file);
  std::shared_ptr<BulleEnregistrees> bureau = std::make_shared<BulleEnregistrees>();
  AvisFinEnvoi avis{modele, bureau, [] { return std::string("fr"); }};
  faux::ConnexionFactice* salon = nullptr;

  explicit Banc(const Textes& trouves = {}, bool envoi = false) {
    std::vector<ResultatService> services;
    for (const auto& nom : trouves) services.push_back(banc::service(nom));
    if (!services.empty()) navigateurs->dernier().publier(services);
    file->executer();
    if (envoi) envoyer();
    if (envoi) salon = &connexions->derniere();
  }
  [[nodiscard]] EtatPanneau etat() const { return EtatPanneau::depuis(*modele, "fr"); }
  [[nodiscard]] std::string titre() const {
    const auto message = etat().message;
    return message ? message->titre : std::string();
  }
  [[nodiscard]] Textes pieces() const {
    Textes liste;
    for (const auto& p : etat().pieces) liste.push_back(p.nom);
    return liste;
  }
  [[nodiscard]] EtatIcone icone() const { return etatIcone(*modele); }
  // Ce qu'on fait dans « Ajouter une pièce » : choisir, taper, valider.
  void ajouter(const std::string& nom, const std::string& code) {
    actions.ouvrirAjout();
    saisie->choisir(nom);
    saisie->changerCode(code);
    actions.ajouterPiece();
    file->executer();
  }
  // Une pièce ajoutée sans appairage (clé `vers` vers elle, `vers` + 1 vers l'émetteur) : sa
  // connexion.
  faux::ConnexionFactice& pieceAppairee(const std::string& nom, std::uint8_t vers) {
    diffusion().ajouterPiece(banc::service(nom).point,
                             Liaison::nouvelle(banc::cle(vers), banc::cle(vers + 1)), nom);
    file->executer();
    return connexions->derniere();
  }
};

// Le renoncement de l'émetteur et le changement de récepteur défont l'appairage ; l'icône suit.
// Chaque renoncement fait une bulle, avec le titre du panneau ; l'arrêt demandé, aucune.
TEST(ModeleLink, FinInjoignableChangementDeRecepteurEtIcone) {
  Banc b;
  EXPECT_TRUE(b.chercheur().recherche());
  EXPECT_EQ(b.icone(), EtatIcone::repos);
  for (std::size_t envoi = 1; envoi <= 2; ++envoi) {
    SCOPED_TRACE(envoi);
    b.envoyer();
    EXPECT_EQ(b.icone(), EtatIcone::envoi);
    b.etatConnexion(C::attente);
    b.avancerAvecDuSon(500ms);
    EXPECT_EQ(b.icone(), EtatIcone::probleme) << "erreur réseau";
    b.avancerAvecDuSon(31s);  // l'émetteur renonce
    EXPECT_FALSE(b.chercheur().appaire().has_value());
    EXPECT_EQ(b.chercheur().resultat().cas, R::recepteurInjoignable);
    EXPECT_EQ(b.icone(), EtatIcone::repos) << "une vieille erreur ne compte plus";
    ASSERT_EQ(b.bureau->bulles.size(), envoi);
    EXPECT_EQ(b.bureau->bulles.back().first, "Le récepteur ne répond plus");
    EXPECT_FALSE(b.bureau->bulles.back().second.empty());
    // L'utilisateur défait l'appairage, la seconde fois plus tard : une issue restée ne se
    // redit pas quand l'envoi repart.
    if (envoi == 1) b.modele->changerDeRecepteur();
  }
  b.envoyer();
  b.modele->changerDeRecepteur();
  b.file->executer();
  EXPECT_FALSE(b.diffusion().enDiffusion());
  EXPECT_TRUE(b.connexions->derniere().annulee);
  EXPECT_FALSE(b.chercheur().appaire().has_value());
  EXPECT_EQ(b.chercheur().resultat().cas, R::aucun);
  EXPECT_EQ(b.bureau->bulles.size(), 2u) << "arrêt demandé : pas de bulle";
}

// Une seule sonde à la fois ; verdict au bout d'une seconde, même sans aucun son ; la capture
// ne survit pas à la sonde. (Refusée, le verdict tombe aussitôt : l'accueil le montre,
// Vues.LAccueilEtLePanneauSuiventLeModeleEtChaqueControleAUnNom.)
TEST(ModeleLink, LaSondeTientUneSecondePuisRendSonVerdict) {
  banc::Application app;
  app.modele->sonder();
  app.modele->sonder();
  app.file->avancer(999ms);
  EXPECT_EQ(app.modele->sondeDuSon(), std::nullopt);
  app.file->avancer(1ms);
  EXPECT_EQ(app.modele->sondeDuSon(), true);
  EXPECT_FALSE(app.audio->demarree());
}

// Les numéros des paquets audio partis sur `c` qui s'ouvrent sous `ouvreur`.
std::vector<std::uint32_t> sequencesAudio(const faux::ConnexionFactice& c, Ouvreur& ouvreur) {
  std::vector<std::uint32_t> numeros;
  for (const Octets& d : c.envoyes) {
    const auto ouvert = ouvreur.ouvrir(d);
    if (ouvert && ouvert->sorte == SorteEnveloppe::audio)
      numeros.push_back(PaquetAudio::lire(ouvert->contenu).value().sequence());
  }
  return numeros;
}

// Un ajout qui échoue se dit comme un appairage qui échoue, en nommant le récepteur ; l'envoi
// et le récepteur appairé n'en sont pas touchés. Appairée ensuite pendant l'envoi, la pièce
// rejoint la diffusion qui tourne et reçoit le même bloc que la première ; le chercheur garde
// le récepteur de l'envoi et son issue.
TEST(Pieces, UnAjoutQuiEchoueSeDitPuisLaPieceJoueAvecLaPremiere) {
  Banc e({"Salon", "Cuisine", "Bureau"}, true);
  const auto essayer = [&](const std::string& codeRecepteur, const std::string& tape) {
    AppairageRepondeur recepteur(*CodeAppairage::depuisSaisie(codeRecepteur),
                                 std::make_shared<HasardDeterministe>(7));
    e.ajouter("Cuisine", tape);
    if (e.chercheur().appairageEnCours()) e.dialoguer(recepteur);
    e.file->executer();
    return recepteur.etat();
  };
  // Le code du récepteur ; vide : aucune réponse.
  for (const auto& [code, titre] : std::vector<std::pair<std::string, std::string>>{
           {"", "Appairage impossible avec Cuisine"},
           {"1111", "Code refusé par Cuisine"},
           {"1111", "Cuisine : ce code a déjà été essayé"}}) {
    SCOPED_TRACE(titre);
    if (!code.empty()) {
      essayer(code, "4821");
    } else {
      e.ajouter("Cuisine", "4821");
      // Le dialogue renonce au bout de 8 s ; la capture, elle, continue de livrer.
      e.avancerAvecDuSon(9s, 500ms);
    }
    EXPECT_EQ(e.titre(), titre);
    EXPECT_EQ(e.pieces(), Textes{"Salon"});
    EXPECT_EQ(e.chercheur().appaire()->appareil.nom, "Salon");
    EXPECT_EQ(e.chercheur().resultat().cas, R::aucun) << "rien à montrer après l'arrêt";
    EXPECT_EQ(e.icone(), EtatIcone::envoi);
    EXPECT_TRUE(e.saisie->ajoutOuvert()) << "on peut retaper";
    e.actions.fermerAjout();
    EXPECT_EQ(e.titre(), "");
  }

  const auto etat = essayer("5930", "5930");
  EXPECT_EQ(e.saisie->code(), "");
  const auto* reussi = std::get_if<AppairageRepondeur::Reussi>(&etat);
  ASSERT_NE(reussi, nullptr);
  EXPECT_FALSE(e.saisie->ajoutOuvert()) << "la pièce ajoutée, l'ajout se ferme";
  ASSERT_TRUE(e.chercheur().appaire().has_value());
  EXPECT_EQ(e.chercheur().appaire()->appareil.nom, "Salon");
  EXPECT_EQ(e.chercheur().resultat().cas, R::aucun);
  EXPECT_EQ(e.pieces(), (Textes{"Salon", "Cuisine"}));
  EXPECT_EQ(e.etat().appareils, (std::vector<EtatPanneau::Appareil>{{"Bureau", "Bureau"}}))
      << "ni Salon ni Cuisine, qui jouent";
  EXPECT_EQ(e.etat().destination, "Salon et Cuisine");
  EXPECT_EQ(statutEnvoi(e.diffusion(), "fr"), "Envoi vers Salon et Cuisine");
  EXPECT_EQ(e.titre(), "");

  auto& cuisine = e.connexions->derniere();
  ASSERT_NE(&cuisine, e.salon);
  for (auto* c : {e.salon, &cuisine}) {
    c->jouerEtat({C::prete, std::nullopt});
    c->envoyes.clear();
  }
  e.file->executer();
  EXPECT_EQ(e.icone(), EtatIcone::envoi);
  const double duree = e.etat().duree;
  e.avancerAvecDuSon(1500ms);
  EXPECT_DOUBLE_EQ(e.etat().duree, duree + 1.5);
  Ouvreur versSalon(banc::cle(1));
  const auto salon = sequencesAudio(*e.salon, versSalon);
  ASSERT_EQ(salon.size(), 150u) << "chaque bloc capté part";
  std::vector<std::uint32_t> suite(salon.size());
  std::iota(suite.begin(), suite.end(), salon.front());
  EXPECT_EQ(salon, suite) << "dans l'ordre";
  EXPECT_EQ(sequencesAudio(cuisine, *reussi->liaison.ouvreur), salon)
      << "le même bloc, sous les clés de son appairage";
}

// Trois pièces dont les récepteurs disent qu'ils vivent. Cuisine se tait : sa carte le dit
// sous son nom dès le relevé qui le voit, les autres restent nettes, le badge le montre ; elle
// reparle, tout se nettoie. Toutes se taisent : le message est celui d'une seule pièce. Une
// pièce en ennui de réseau se nomme ; partie d'elle-même, elle quitte les cartes avec un
// message qui la nomme, sans bulle ; prise par un autre émetteur (nommé juste avant la fin),
// le message le nomme. Retirer une pièce laisse jouer l'autre ; retirer la dernière arrête
// l'envoi comme « Arrêter », sans rien dire. Seul, le récepteur qui finit (pris ou non) défait
// l'envoi et le dit, au panneau comme dans une bulle.
TEST(Pieces, EnnuisFinsEtRetraitsDesPieces) {
  Banc e({"Salon", "Cuisine", "Bureau"}, true);
  std::vector<faux::ConnexionFactice*> connexions{e.salon, &e.pieceAppairee("Cuisine", 3),
                                                  &e.pieceAppairee("Bureau", 5)};
  std::vector<std::unique_ptr<Scelleur>> recepteurs;
  for (const std::uint8_t c : {2, 4, 6})
    recepteurs.push_back(std::make_unique<Scelleur>(banc::cle(c)));
  for (auto* c : connexions) c->jouerEtat({C::prete, std::nullopt});
  const auto dire = [&](std::size_t i, const auto& donnees, SorteEnveloppe sorte) {
    ASSERT_TRUE(connexions[i]->livrer(*recepteurs[i]->sceller(donnees, sorte)));
    e.file->executer();
  };
  const auto demiSecondes = [&](int n, std::initializer_list<std::size_t> parlent) {
    for (int demi = 0; demi < n; ++demi) {
      for (const std::size_t i : parlent)
        dire(i, MessageHorloge::question(0).encoder(), SorteEnveloppe::horloge);
      e.avancerAvecDuSon(500ms, 500ms);
    }
  };
  const auto cartes = [&] {
    Textes textes;
    for (const auto& p : e.etat().pieces) textes.push_back(p.ennuiTexte);
    return textes;
  };
  const auto finir = [&](std::size_t i, const std::optional<std::string>& prisPar) {
    if (prisPar) dire(i, MessageReleve{*prisPar}.encoder(), SorteEnveloppe::fin);
    dire(i, MessageFin::donnees, SorteEnveloppe::fin);
  };
  const std::string muet = "Le récepteur ne répond plus";
  demiSecondes(6, {0, 1, 2});
  EXPECT_EQ(cartes(), (Textes{"", "", ""}));
  demiSecondes(7, {0, 2});
  EXPECT_EQ(cartes(), (Textes{"", muet, ""}));
  EXPECT_EQ(e.titre(), "Cuisine ne répond plus ; les autres pièces jouent");
  EXPECT_EQ(e.icone(), EtatIcone::probleme);
  demiSecondes(1, {0, 1, 2});
  EXPECT_EQ(cartes(), (Textes{"", "", ""}));
  EXPECT_EQ(e.titre(), "");
  EXPECT_EQ(e.icone(), EtatIcone::envoi);
  demiSecondes(7, {});
  EXPECT_EQ(cartes(), (Textes{muet, muet, muet}));
  EXPECT_EQ(e.titre(), muet) << "toutes muettes";
  EXPECT_EQ(e.icone(), EtatIcone::probleme);
  demiSecondes(1, {0, 1, 2});

  connexions[1]->jouerEtat({C::attente, ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}});
  demiSecondes(1, {0, 2});
  EXPECT_EQ(e.titre(), "Problème de réseau vers Cuisine ; les autres pièces jouent");
  EXPECT_EQ(e.icone(), EtatIcone::probleme);
  ASSERT_EQ(e.etat().pieces.size(), 3u);
  EXPECT_EQ(e.etat().pieces[0].ennui, EnnuiPiece::aucun);
  EXPECT_NE(e.etat().pieces[1].ennui, EnnuiPiece::aucun);
  finir(1, std::nullopt);
  EXPECT_EQ(e.pieces(), (Textes{"Salon", "Bureau"}));
  EXPECT_EQ(e.titre(), "Cuisine a arrêté la lecture ; les autres pièces jouent");
  EXPECT_EQ(e.icone(), EtatIcone::envoi);
  finir(2, "Portable de Léa");
  EXPECT_EQ(e.pieces(), Textes{"Salon"});
  EXPECT_EQ(e.titre(), "Portable de Léa a pris Bureau ; les autres pièces jouent");
  EXPECT_TRUE(e.diffusion().enDiffusion());
  EXPECT_TRUE(e.bureau->bulles.empty());

  e.pieceAppairee("Cuisine", 3);
  e.actions.retirerPiece(e.etat().pieces[0].numero);
  e.file->executer();
  EXPECT_TRUE(e.salon->annulee) << "la pièce retirée ferme sa connexion";
  EXPECT_EQ(e.pieces(), Textes{"Cuisine"});
  EXPECT_EQ(e.etat().destination, "Cuisine");
  e.actions.retirerPiece(e.etat().pieces[0].numero);
  e.file->executer();
  EXPECT_FALSE(e.diffusion().enDiffusion());
  EXPECT_FALSE(e.audio->demarree());
  EXPECT_EQ(e.etat().ecran, EtatPanneau::Ecran::pret) << "Salon reste appairé";
  EXPECT_EQ(e.etat().nomRecepteur, "Salon");
  EXPECT_EQ(e.titre(), "");
  EXPECT_EQ(e.icone(), EtatIcone::repos);

  for (const std::optional<std::string>& prisPar :
       {std::optional<std::string>(), {"Bureau de Léa"}}) {
    e.modele->changerDeRecepteur();  // l'utilisateur : pas de bulle
    e.envoyer();
    connexions[0] = &e.connexions->derniere();
    finir(0, prisPar);
    const std::string titre =
        prisPar ? "Bureau de Léa a pris le récepteur" : "Le récepteur a arrêté la lecture";
    EXPECT_EQ(e.titre(), titre);
    EXPECT_EQ(e.etat().ecran, EtatPanneau::Ecran::appairage);
    EXPECT_TRUE(connexions[0]->annulee);
    EXPECT_FALSE(e.audio->demarree()) << "la capture est défaite";
    ASSERT_FALSE(e.bureau->bulles.empty());
    EXPECT_EQ(e.bureau->bulles.back().first, titre);
  }
  EXPECT_EQ(e.bureau->bulles.size(), 2u);
}

// Chaque cas réunit plusieurs conditions : le titre attendu dit laquelle l'emporte. Un message
// s'en va quand ce qu'il dit n'est plus vrai, et pas avant. Le bureau n'a une bulle, une seule,
// que quand la capture meurt en cours d'envoi : pas pour un démarrage refusé ni pour un ennui
// qui laisse l'envoi continuer.
TEST(Panneau, LesReglesDuMessageDansLeurOrdre) {
  const auto res = [](Banc& a, R r) {
    a.chercheur().changerResultat({r, {}, ErreurAppairage::pasDeReponse});
  };
  const auto echecDuDemarrage = [](Banc& a) {
    a.audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::serveurInjoignable, -1};
    a.envoyer();
    a.audio->script.demarrer.reset();
  };
  const auto silenceRefuse = [](Banc& a) {
    a.envoyer();
    a.audio->script.silence = ErreurCapture{ErreurCapture::Cas::silenceImpossible, -1};
    a.diffusion().changerNEntendreQueLeRecepteur(true);
    a.audio->script.silence.reset();
  };
  const std::vector<std::tuple<std::string, bool, bool, std::function<void(Banc&)>>> cas{
      {"L'envoi n'a pas pu démarrer", false, false,
       [&](Banc& a) {
         res(a, R::refuse);
         echecDuDemarrage(a);
       }},
      {"Appairage impossible", false, false,
       [&](Banc& a) {
         a.reseau(N::attente);
         res(a, R::echec);
       }},
      {"Réseau local inaccessible", true, false, [](Banc& a) { a.reseau(N::attente); }},
      {"La recherche s'est arrêtée", false, false,
       [&](Banc& a) {
         a.appaire();
         res(a, R::accepte);
         a.reseau(N::echec);
       }},
      {"Cet ordinateur ne livre aucun son", true, true,
       [&](Banc& a) {  // récepteur muet aussi, et un refus qui ne vaut pas pendant l'envoi
         res(a, R::refuse);
         a.envoyer();
         a.etatConnexion(C::prete);
         a.file->avancer(10s);
       }},
      {"Problème de réseau", false, false,
       [&](Banc& a) {
         silenceRefuse(a);
         a.etatConnexion(C::attente);
         a.file->avancer(500ms);
       }},
      {"Le récepteur ne répond plus", false, false,
       [&](Banc& a) {
         silenceRefuse(a);
         a.etatConnexion(C::prete);
         a.file->avancer(3500ms);
       }},
      {"L'ordinateur n'a pas pu se taire", false, false, silenceRefuse},
      {"Code refusé", false, false,
       [&](Banc& a) {  // l'échec du démarrage oublié avec son récepteur
         echecDuDemarrage(a);
         a.modele->changerDeRecepteur();
         a.chercheur().changerResultat({R::refuse, {}});
       }},
      {"", false, false,
       [&](Banc& a) {
         echecDuDemarrage(a);
         a.modele->changerDeRecepteur();
         a.chercheur().changerAppaire(ChercheurRavlo::RecepteurAppaire{
             {"Cuisine", "Cuisine", banc::service("Cuisine").point},
             Liaison::nouvelle(banc::cle(3), banc::cle(4))});
       }},
      {"", false, false,
       [&](Banc& a) {  // le silence refusé oublié avec son envoi
         silenceRefuse(a);
         a.diffusion().arreter();
         a.envoyer();
         EXPECT_TRUE(a.audio->muet) << "la nouvelle capture s'est tue";
       }},
      {"", false, false, [](Banc& a) { a.envoyer(); }},
  };
  for (std::size_t i = 0; i < cas.size(); ++i) {
    const auto& [titre, reglages, bulle, preparer] = cas[i];
    SCOPED_TRACE(std::to_string(i) + " " + titre);
    Banc a;
    preparer(a);
    a.file->executer();
    ASSERT_EQ(a.bureau->bulles.size(), bulle ? 1u : 0u);
    if (bulle) {
      EXPECT_EQ(a.bureau->bulles[0].first, titre);
      EXPECT_FALSE(a.bureau->bulles[0].second.empty());
    }
    const auto message = a.etat().message;
    EXPECT_EQ(a.titre(), titre);
    if (!message) continue;
    EXPECT_EQ(message->ouvrirReglages, reglages);
    if (titre == "Appairage impossible") {
      EXPECT_EQ(message->texte, texte(ErreurAppairage::pasDeReponse, "fr"))
          << "traduit à l'affichage";
    }
  }
}

// Deux noms courts se lisent, sinon le compte ; les marques ne prennent que les noms donnés,
// et un nom qui contient une marque reste tel quel.
TEST(Panneau, LaDestinationNommeOuCompteLesPieces) {
  for (const auto& [noms, attendue] : std::vector<std::pair<Textes, std::string>>{
           {{}, ""},
           {{"Salon"}, "Salon"},
           {{"Salon", "Cuisine"}, "Salon et Cuisine"},
           {{"Salon du rez-de-chaussée", "Cuisine"}, "2 pièces"},
           {{"Salon", "Cuisine", "Bureau"}, "3 pièces"},
       }) {
    EXPECT_EQ(destinationEnvoi(noms, "fr"), attendue);
  }
  EXPECT_EQ(libelleSilence(1, "fr"), "N'entendre que le récepteur");
  EXPECT_EQ(libelleSilence(2, "fr"), "N'entendre que les récepteurs");
  EXPECT_EQ(avecNoms("%s et %s", {"%s", "B"}), "%s et B");
  EXPECT_EQ(avecNoms("%s : 100 %% de %s", {"Salon"}), "Salon : 100 % de %s");
}

// « Faire entendre le code » : rien sans récepteur choisi ; sinon la demande seule part vers le
// récepteur choisi, sur une connexion à elle, annulée une fois l'envoi traité ; aucun
// appairage ne s'ouvre. Un récepteur retenu : sa carte le dit, « Appairer » agit sans code,
// « Oublier » le retire du carnet et la carte redevient ordinaire, qui demande de nouveau
// quatre chiffres.
TEST(Panneau, FaireEntendreLeCodePuisUnRecepteurMemoriseSAppaireSansCodeEtSOublie) {
  Banc b;
  b.carnet->contenu = {{IdentifiantRecepteur{}, "10.99.0.1:50000", {}, "Salon", 1}};
  auto salon = banc::service("Salon");
  salon.txt = {"reprise=1", "id=" + std::string(32, '0')};
  b.navigateurs->dernier().publier({salon, banc::service("Cuisine")});
  b.file->executer();
  b.actions.faireEntendre();
  b.file->executer();
  EXPECT_TRUE(b.connexions->creees.empty());
  b.saisie->choisir("Cuisine");
  b.actions.faireEntendre();
  b.file->executer();
  ASSERT_EQ(b.connexions->creees.size(), 1u);
  EXPECT_EQ(b.connexions->points.back(), banc::service("Cuisine").point);
  auto& c = b.connexions->derniere();
  EXPECT_EQ(c.envoyes, std::vector<Octets>{DemandeCode::donnees()});
  EXPECT_FALSE(c.annulee);
  c.traiterEnvois();
  b.file->executer();
  EXPECT_TRUE(c.annulee);
  EXPECT_FALSE(b.chercheur().appairageEnCours());

  b.saisie->choisir("Salon");
  ASSERT_EQ(b.etat().appareils.size(), 2u);
  EXPECT_TRUE(b.etat().appareils[1].memorise);
  EXPECT_FALSE(b.etat().appareils[0].memorise) << "Cuisine";
  EXPECT_TRUE(selectionMemorisee(b.saisie->selection(), b.etat().appareils));
  EXPECT_TRUE(appairagePossible(b.saisie->selection(), "", false, true));
  b.actions.appairer();
  b.file->executer();
  EXPECT_TRUE(b.chercheur().appairageEnCours()) << "la reprise part sans code";
  EXPECT_EQ(b.connexions->creees.size(), 2u);
  b.file->avancer(dialogue::budgetReprise + std::chrono::seconds(1));
  EXPECT_EQ(b.titre(), "Le récepteur demande son code");

  b.actions.oublier();
  EXPECT_FALSE(b.etat().appareils[1].memorise);
  EXPECT_FALSE(selectionMemorisee(b.saisie->selection(), b.etat().appareils));
  EXPECT_FALSE(appairagePossible(b.saisie->selection(), "", false, false));
}

// Le panneau ouvert choisit sans clic le seul récepteur listé. Un refus d'office (pause du
// récepteur, ou son code fixe déjà servi : le fil ne les distingue pas) ne promet pas qu'un
// nouvel essai passera. Après un code faux, le récepteur en montre un neuf : le message le
// dit, et s'en va dès le premier chiffre du suivant ; de même l'échec d'un ajout, l'issue de
// l'envoi restant. « Ajouter par adresse » : une faute se dit sous les champs, qui restent
// ouverts ; l'adresse résolue fait une carte choisie.
TEST(Panneau, LaSaisieLesRefusEtLAjoutParAdresse) {
  Banc b({"Salon"});
  TickerNiveau ticker(*b.file, b.diffusion().shared_from_this(), b.saisie);
  ouvrirPanneau(*b.modele, *b.saisie, ticker);
  EXPECT_EQ(b.saisie->selection(), "Salon");

  b.chercheur().changerResultat({R::echec, {}, ErreurAppairage::refusAvantDevoilement});
  const std::string t = b.etat().message.value_or(EtatPanneau::Message{}).texte;
  EXPECT_EQ(t.find("Réessaie"), std::string::npos) << t;
  EXPECT_NE(t.find("code fixe"), std::string::npos) << t;
  EXPECT_NE(t.find("Relance le récepteur"), std::string::npos) << t;

  b.chercheur().changerResultat({R::refuse, {}});
  EXPECT_EQ(b.titre(), "Code refusé");
  EXPECT_EQ(b.etat().message->texte,
            "Le récepteur affiche maintenant un nouveau code : tape celui-là.");
  b.actions.taperCode("x");
  EXPECT_EQ(b.titre(), "Code refusé") << "rien de tapé qui compte";
  b.actions.taperCode("4");
  EXPECT_EQ(b.saisie->code(), "4");
  EXPECT_EQ(b.titre(), "");

  b.appaire();
  b.actions.envoyer();
  b.file->executer();
  ASSERT_TRUE(b.diffusion().enDiffusion());
  const ChercheurRavlo::Resultat resultatEnvoi = b.chercheur().resultat();
  b.modele->ajouterPiece({"Cuisine", "Cuisine", banc::service("Cuisine").point}, "12");
  EXPECT_EQ(b.titre(), "Appairage impossible avec Cuisine");
  b.actions.taperCode("1");
  EXPECT_EQ(b.titre(), "");
  EXPECT_EQ(b.chercheur().resultat(), resultatEnvoi);

  b.noms["salon.local"] = "10.99.0.7";
  b.actions.ouvrirAdresse();
  EXPECT_TRUE(b.saisie->adresseOuverte());
  b.actions.ajouterAdresse("salon.local", "0");
  EXPECT_EQ(b.etat().erreurAdresse, texte(ErreurAdresse::portInvalide, "fr"));
  b.actions.ajouterAdresse("cuisine.local", "41234");
  EXPECT_TRUE(b.etat().resolutionEnCours);
  b.file->executer();
  EXPECT_EQ(b.etat().erreurAdresse, texte(ErreurAdresse::hoteInconnu, "fr"));
  EXPECT_TRUE(b.saisie->adresseOuverte());
  b.actions.ajouterAdresse("salon.local", "41234");
  b.file->executer();
  EXPECT_EQ(b.etat().erreurAdresse, "");
  EXPECT_EQ(
      b.etat().appareils,
      (std::vector<EtatPanneau::Appareil>{{"adresse:salon.local:41234", "salon.local:41234"}}))
      << "Salon joue déjà";
  EXPECT_EQ(b.saisie->selection(), "adresse:salon.local:41234");
  EXPECT_FALSE(b.saisie->adresseOuverte());
}

}  // namespace
}  // namespace ravlo
