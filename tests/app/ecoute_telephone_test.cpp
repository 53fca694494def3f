// SPDX-License-Identifier: MPL-2.0
#include "link/app/ecoute_telephone.hpp"

#include "app/banc_app.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/actions_panneau.hpp"
#include "link/app/etat_panneau.hpp"
#include "link/app/regles_panneau.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"

// Espace à part : la suite se construit en un seul fichier avec les autres essais de l'app.
namespace ravlo::essais_telephone {
namespace {

using namespace std::chrono_literals;
using R = ChercheurRavlo::Resultat::Cas;
using Appareils = std::vector<EtatPanneau::Appareil>;

const PageConnectee iphone{"iPhone — Safari", "fr-FR", {"192.168.1.23", 51'234}};
const PageConnectee pixel{"Android — Chrome", "en-US", {"fd00::17", 40'022}};

const EtatPanneau::Appareil salon{"Salon", "Salon"};
EtatPanneau::Appareil carte(const PageConnectee& p) {
  return {"page:" + enTexte(p.point), p.nom, false, true, p.point.adresse};
}

struct Banc : banc::Application {
  std::shared_ptr<SaisiePanneau> saisie = std::make_shared<SaisiePanneau>();
  ActionsPanneau actions =
      ActionsPanneau::pour(modele, saisie, std::make_shared<PlateformeAppEnregistreuse>(), *file);

  Banc() {
    navigateurs->dernier().publier({banc::service("Salon")});
    file->executer();
  }
  [[nodiscard]] EtatPanneau etat() const { return EtatPanneau::depuis(*modele, "fr"); }
  faux::AccueilPagesFactice& accueil() { return *accueils.back(); }
  void arriver(const PageConnectee& page) {
    accueil().arriver(page);
    file->executer();
  }
  void partir(const PageConnectee& page) {
    accueil().partir(page.point);
    file->executer();
  }
  // Choisit la page, tape son code et mène l'appairage jusqu'au bout par sa connexion.
  AppairageRepondeur appairerAuCode(const PageConnectee& page) {
    arriver(page);
    saisie->choisir(carte(page).id);
    actions.taperCode("5930");
    actions.appairer();
    file->executer();
    AppairageRepondeur repondeur(*CodeAppairage::depuisSaisie("5930"),
                                 std::make_shared<HasardDeterministe>(7));
    dialoguer(repondeur, *accueil().connexions.back());
    return repondeur;
  }
};

// Une page reliée rejoint la liste après les récepteurs trouvés, avec son adresse et marquée
// téléphone ; partie, elle la quitte, les autres restent, et appairée hors envoi elle ne l'est
// plus. Éteindre arrête l'accueil et vide
// les pages ; rallumer en ouvre un neuf, sur le même port.
TEST(Telephone, LesPagesRelieesSontListeesJusquALeurDepartOuLExtinction) {
  Banc b;
  EXPECT_TRUE(b.etat().telephone.offert);
  EXPECT_FALSE(b.etat().telephone.actif);
  b.actions.basculerTelephone();
  ASSERT_EQ(b.accueils.size(), 1u);
  EXPECT_EQ(b.etat().telephone,
            (EtatPanneau::Telephone{
                true,
                true,
                {"http://poste.local:40000/", "http://10.99.0.5:40000/", "http://[fd00::5]:40000/"},
                "http://10.99.0.5:40000/",
                {}}));

  b.arriver(iphone);
  b.arriver(pixel);
  EXPECT_EQ(b.etat().appareils, (Appareils{salon, carte(iphone), carte(pixel)}));
  EXPECT_EQ(libelleCarte(b.etat().appareils[1], "fr"), "iPhone — Safari · 192.168.1.23");
  b.chercheur().changerAppaire(ChercheurRavlo::RecepteurAppaire{
      {carte(iphone).id, iphone.nom, iphone.point}, Liaison::nouvelle(banc::cle(5), banc::cle(6))});
  EXPECT_EQ(b.etat().ecran, EtatPanneau::Ecran::pret);
  b.partir(iphone);
  EXPECT_EQ(b.etat().appareils, (Appareils{salon, carte(pixel)}));
  EXPECT_EQ(b.etat().ecran, EtatPanneau::Ecran::appairage) << "la page appairée est partie";

  b.actions.basculerTelephone();
  EXPECT_TRUE(b.accueils.front()->arretee);
  EXPECT_FALSE(b.etat().telephone.actif);
  EXPECT_TRUE(b.etat().telephone.adresses.empty());
  EXPECT_EQ(b.etat().appareils, Appareils{salon});

  b.actions.basculerTelephone();
  ASSERT_EQ(b.accueils.size(), 2u);
  EXPECT_FALSE(b.accueil().arretee);
  EXPECT_EQ(b.portsDemandes, (std::vector<std::uint16_t>{0, 40'000}));
  b.arriver(iphone);
  EXPECT_EQ(b.etat().appareils, (Appareils{salon, carte(iphone)}));
}

Octets octetsPort(std::uint16_t port) {
  return {static_cast<std::uint8_t>(port & 0xFF), static_cast<std::uint8_t>(port >> 8)};
}

// Le port se retient dans les réglages, d'où le lancement suivant le redemande (le code QR déjà
// montré reste bon) ; pris, un autre au choix du système le remplace et se retient ; aucun ne
// s'ouvre : l'erreur se dit, rien ne tourne, le port retenu reste.
TEST(Telephone, LePortRetenuSertEncoreEtUnPortPrisEstRemplace) {
  struct Cas {
    std::string nom;
    std::optional<Octets> retenu;
    std::set<std::uint16_t> pris;
    std::vector<std::uint16_t> demandes;
    std::uint16_t obtenu;  ///< 0 : aucun
    Octets retenuApres;
  };
  for (const auto& c : std::vector<Cas>{
           {"premier lancement", std::nullopt, {}, {0}, 40'000, octetsPort(40'000)},
           {"port retenu libre", octetsPort(8'123), {}, {8'123}, 8'123, octetsPort(8'123)},
           {"port retenu pris", octetsPort(8'123), {8'123}, {8'123, 0}, 40'000, octetsPort(40'000)},
           {"réglage abîmé", Octets{1, 2, 3}, {}, {0}, 40'000, octetsPort(40'000)},
           {"aucun port", octetsPort(8'123), {8'123, 0}, {8'123, 0}, 0, octetsPort(8'123)},
       }) {
    SCOPED_TRACE(c.nom);
    Banc b;
    if (c.retenu) b.reglages->ecrireOctets(EcouteTelephone::clePort, *c.retenu);
    b.portsPris = c.pris;
    b.actions.basculerTelephone();
    EXPECT_EQ(b.portsDemandes, c.demandes);
    const EcouteTelephone& telephone = b.modele->telephone();
    EXPECT_EQ(telephone.active(), c.obtenu != 0);
    EXPECT_EQ(telephone.port(), c.obtenu);
    EXPECT_EQ(b.etat().telephone.erreur.empty(), c.obtenu != 0) << b.etat().telephone.erreur;
    EXPECT_EQ(b.reglages->lireOctets(EcouteTelephone::clePort), c.retenuApres);
    EXPECT_EQ(b.accueils.size(), c.obtenu != 0 ? 1u : 0u);
  }
}

// Choisie, une page s'appaire par son code, par sa connexion à elle et non par UDP ; appairée,
// l'accueil la garde et le carnet ne la retient pas (elle ne dit pas d'identifiant). Elle joue
// par la même voie ; partie (son WebSocket fermé), elle quitte la liste et sa voie finit 10 s
// plus tard, comme sur son message de fin, sans refaire sa connexion ni rien tenter par UDP.
TEST(Telephone, UnePageChoisieSAppaireEtJoueParSaConnexion) {
  Banc b;
  b.actions.basculerTelephone();
  const AppairageRepondeur page = b.appairerAuCode(iphone);
  ASSERT_EQ(b.accueil().demandees, std::vector<PointReseau>{iphone.point});
  ASSERT_TRUE(std::holds_alternative<AppairageRepondeur::Reussi>(page.etat()));
  EXPECT_EQ(b.chercheur().resultat().cas, R::accepte);
  EXPECT_EQ(b.etat().ecran, EtatPanneau::Ecran::pret);
  EXPECT_EQ(b.etat().nomRecepteur, "iPhone — Safari");
  EXPECT_EQ(b.accueil().gardees, std::vector<PointReseau>{iphone.point});
  EXPECT_TRUE(b.carnet->contenu.empty()) << "une page rechargée revient sous un autre point";

  b.actions.envoyer();
  b.file->executer();
  ASSERT_TRUE(b.diffusion().enDiffusion());
  ASSERT_EQ(b.accueil().demandees.size(), 2u) << "la voie aussi passe par la page";
  b.avancerAvecDuSon(100ms);
  EXPECT_FALSE(b.accueil().connexions.back()->envoyes.empty());

  // Partie, la page a 10 s pour revenir (rechargée, le Wi-Fi coupé) ; puis l'envoi finit
  // comme sur son message de fin, sans les 30 s de la supervision ni « ne répond plus ».
  b.partir(iphone);
  EXPECT_EQ(b.etat().appareils, Appareils{salon});
  b.avancerAvecDuSon(9s);
  EXPECT_TRUE(b.diffusion().enDiffusion()) << "la page peut encore revenir";
  b.avancerAvecDuSon(2s);
  EXPECT_FALSE(b.diffusion().enDiffusion()) << "sans attendre la supervision";
  EXPECT_EQ(b.chercheur().resultat().cas, R::finParRecepteur);
  EXPECT_EQ(b.accueil().demandees.size(), 2u) << "sans refaire sa connexion";
  EXPECT_TRUE(b.connexions->creees.empty()) << "rien par UDP";
}

// Un téléphone appairé au code est retenu sous l'identifiant que dit sa page. Rechargé, il revient
// sous un autre point ; s'il annonce la reprise, sa carte dit « mémorisé » et le choisir sans
// code le reprend par sa connexion à lui, que l'accueil garde. Refusée, la reprise fait demander
// le code et le carnet garde la paire (un refus n'est pas authentifié) ; sans reprise=1, le code
// est demandé sans rien envoyer.
TEST(Telephone, UnTelephoneRechargeSeReprendSansCode) {
  enum class Face : std::uint8_t { connaitLaPaire, autreSecret };
  const struct {
    const char* nom;
    bool reprise;
    Face face;
    R attendu;
  } cas[] = {
      {"reprise", true, Face::connaitLaPaire, R::accepte},
      {"refus", true, Face::autreSecret, R::codeDemande},
      {"sans reprise=1", false, Face::connaitLaPaire, R::codeDemande},
  };
  PageConnectee avant = iphone;
  avant.identifiant = IdentifiantRecepteur{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  PageConnectee apres = avant;
  apres.point.port = 51'240;
  for (const auto& k : cas) {
    SCOPED_TRACE(k.nom);
    Banc b;
    b.actions.basculerTelephone();
    const AppairageRepondeur page = b.appairerAuCode(avant);
    const auto* appairee = std::get_if<AppairageRepondeur::Reussi>(&page.etat());
    ASSERT_NE(appairee, nullptr);
    ASSERT_EQ(b.carnet->contenu.size(), 1u);
    EXPECT_EQ(b.carnet->contenu[0].identifiant, avant.identifiant);
    EXPECT_EQ(b.carnet->contenu[0].nom, avant.nom);
    b.partir(avant);

    apres.reprise = k.reprise;
    b.arriver(apres);
    const EtatPanneau::Appareil vue = b.etat().appareils.back();
    EXPECT_EQ(vue.id, carte(apres).id);
    EXPECT_EQ(vue.memorise, k.reprise);
    b.saisie->choisir(vue.id);
    b.actions.appairer();
    b.file->executer();
    const std::size_t demandees = b.accueil().demandees.size();
    if (k.reprise) {
      ASSERT_EQ(demandees, 2u);
      EXPECT_EQ(b.accueil().demandees.back(), apres.point);
      SecretPaire connue = appairee->paire;
      if (k.face == Face::autreSecret) connue.psk.octets().fill(7);
      RepriseRepondeur repriseDePage(
          [&](const IdentifiantPaire& i) -> std::optional<SecretPaire> {
            return i == connue.identifiant ? std::optional(connue) : std::nullopt;
          },
          std::make_shared<HasardDeterministe>(3));
      b.dialoguer(repriseDePage, *b.accueil().connexions.back());
      b.file->avancer(dialogue::budgetReprise + 1s);
      EXPECT_EQ(std::holds_alternative<RepriseRepondeur::Reussi>(repriseDePage.etat()),
                k.attendu == R::accepte);
    } else {
      EXPECT_EQ(demandees, 1u) << "rien n'est envoyé";
    }
    EXPECT_EQ(b.chercheur().resultat().cas, k.attendu);
    EXPECT_EQ(b.etat().ecran == EtatPanneau::Ecran::pret, k.attendu == R::accepte);
    EXPECT_EQ(b.accueil().gardees.back(), k.attendu == R::accepte ? apres.point : avant.point);
    ASSERT_EQ(b.carnet->contenu.size(), 1u);
    EXPECT_EQ(b.carnet->contenu[0].paire, appairee->paire);
  }
}

// Éteindre l'écoute pendant l'envoi est un arrêt demandé : le téléphone quitte l'envoi tout de
// suite, Salon continue ; seul, le téléphone appairé ne l'est plus et l'envoi s'arrête sans
// message.
TEST(Telephone, EteindreRetireLesTelephonesDeLEnvoi) {
  for (const bool avecSalon : {true, false}) {
    SCOPED_TRACE(avecSalon ? "avec Salon" : "seul");
    Banc b;
    b.actions.basculerTelephone();
    b.arriver(iphone);
    const Liaison liaison = Liaison::nouvelle(banc::cle(5), banc::cle(6));
    if (avecSalon) {
      b.envoyer();
      b.diffusion().ajouterPiece(iphone.point, liaison, iphone.nom);
    } else {
      b.chercheur().changerAppaire(ChercheurRavlo::RecepteurAppaire{
          {"page:" + enTexte(iphone.point), iphone.nom, iphone.point}, liaison});
      b.actions.envoyer();
    }
    b.file->executer();
    ASSERT_EQ(b.diffusion().pieces().size(), avecSalon ? 2u : 1u);
    b.actions.basculerTelephone();
    b.file->executer();
    EXPECT_EQ(b.diffusion().enDiffusion(), avecSalon);
    std::vector<std::string> pieces;
    for (const auto& p : b.etat().pieces) pieces.push_back(p.nom);
    EXPECT_EQ(pieces, avecSalon ? std::vector<std::string>{"Salon"} : std::vector<std::string>{});
    EXPECT_EQ(b.chercheur().appaire().has_value(), avecSalon);
    EXPECT_EQ(b.etat().message, std::nullopt);
  }
}

}  // namespace
}  // namespace ravlo::essais_telephone
