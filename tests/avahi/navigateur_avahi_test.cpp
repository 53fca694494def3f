// SPDX-License-Identifier: MPL-2.0
// Contre de vrais démons Avahi : ces essais tournent dans l'espace de noms tx (ravlo_ID_tx) que
// scripts/services/avahi a créé, le récepteur dans rx, de l'autre côté de la paire veth.
#include "plateforme/avahi/navigateur_avahi.hpp"

#include <avahi-common/error.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "faux/programme_lance.hpp"
#include "link/decouverte/annonce_recepteur.hpp"
#include "link/decouverte/chercheur_ravlo.hpp"
#include "plateforme/principal_asio.hpp"
#include "plateforme/systeme.hpp"
#include "protocol/supervision/message_erreur_reseau.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Cas = ChercheurRavlo::EtatReseau::Cas;

// Les refus d'Avahi et son démon absent deviennent les codes DNS-SD qui ont leur phrase ; le
// reste garde son code.
TEST(ErreurAvahi, RefusEtDemonAbsentDeviennentDesCodesDnssd) {
  using E = ErreurReseau;
  const auto dnssd = DomaineErreurReseau::dnssd;
  for (const auto& [code, attendue] :
       {std::pair{AVAHI_ERR_ACCESS_DENIED, E{dnssd, E::dnssdNonAutorise}},
        {AVAHI_ERR_NOT_PERMITTED, E{dnssd, E::dnssdRefusParPolitique}},
        {AVAHI_ERR_NO_DAEMON, E{dnssd, E::dnssdServiceAbsent}},
        {AVAHI_ERR_DISCONNECTED, E{DomaineErreurReseau::autre, AVAHI_ERR_DISCONNECTED}}})
    EXPECT_EQ(erreurAvahi(code), attendue) << code;
}

// L'outil de scripts/services/avahi (RAVLO_AVAHI_OUTIL, donné par scripts/test) ; le dossier
// de la course, l'adresse de rx et le bout local de la paire (donnés par « dans »).
std::string environnement(const char* nom) {
  const char* valeur = std::getenv(nom);
  return valeur != nullptr ? valeur : "";
}

// Le PID qu'écrit l'outil pour `quoi` (rx : le porteur des espaces de noms de rx).
pid_t pidDe(const std::string& quoi) {
  pid_t pid = 0;
  std::ifstream(environnement("RAVLO_AVAHI_DIR") + "/" + quoi + ".pid") >> pid;
  return pid;
}

// Un argument du shell, tel quel : entre apostrophes, chacune des siennes échappée.
std::string cite(const std::string& texte) {
  std::string sortie = "'";
  for (const char c : texte) sortie += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return sortie + "'";
}

void lancer(const std::string& arguments) {
  const std::string commande = environnement("RAVLO_AVAHI_OUTIL") + " " + arguments;
  ASSERT_EQ(std::system(commande.c_str()), 0) << commande;
}

struct Avahi : ::testing::Test {
  void SetUp() override {
    if (environnement("RAVLO_AVAHI_OUTIL").empty())
      GTEST_SKIP() << "à lancer par scripts/test, dans l'espace de noms tx qu'il crée";
  }
  void TearDown() override {
    for (const auto& nom : publies) lancer("retirer " + cite(nom));
  }

  void publier(const std::string& nom, std::uint16_t port, const std::string& txt = {}) {
    lancer("publier " + cite(nom) + " " + std::to_string(port) + " " + txt);
    publies.push_back(nom);
  }

  // Fait tourner le fil principal jusqu'à ce que `condition` tienne, `borne` au plus.
  bool attendreQue(const std::function<bool()>& condition,
                   std::chrono::steady_clock::duration borne = 10s) {
    const auto fin = std::chrono::steady_clock::now() + borne;
    bool tenue = condition();
    if (tenue) return true;
    auto m = principal.repeter(10ms, 5ms, [&] {
      tenue = condition();
      if (tenue || std::chrono::steady_clock::now() > fin) principal.arreter();
    });
    principal.executer();
    return tenue;
  }

  const ChercheurRavlo::Appareil* trouver(const std::string& nom) const {
    for (const auto& a : chercheur->appareils())
      if (a.nom == nom) return &a;
    return nullptr;
  }

  // Le carnet des récepteurs retenus, du chercheur comme de ravlo-envoi, dans un dossier du
  // test plutôt que dans celui de l'utilisateur ; avant le chercheur, qui en lit le chemin.
  struct DossierEtat {
    std::string chemin = "/tmp/ravlo-avahi-etat-" + std::to_string(::getpid());
    DossierEtat() { ::setenv("XDG_STATE_HOME", chemin.c_str(), 1); }
    ~DossierEtat() { std::filesystem::remove_all(chemin); }
  } dossierEtat;
  PrincipalAsio principal;
  std::shared_ptr<ChercheurRavlo> chercheur = ChercheurRavlo::creer(
      ChercheurRavlo::dependancesSysteme(principal, std::make_shared<FabriqueNavigateursAvahi>()));
  std::vector<std::string> publies;
};

// Le démon de cet ordinateur arrêté : la recherche attend, avec l'erreur d'Avahi, et revenu,
// la liste revient. Puis le démon du récepteur tué net (aucun adieu) et relancé avec le
// récepteur sur un autre port : le navigateur ne voit ni retrait ni annonce nouvelle, seul un
// résolveur resté vivant voit le nouveau port.
TEST_F(Avahi, DemonArreteAttenteDemonRevenuListeRevenuePuisRecepteurRelanceAilleurs) {
  chercheur->demarrer();
  publier("Bureau", 50'200);
  ASSERT_TRUE(attendreQue([&] { return trouver("Bureau") != nullptr; }));
  ASSERT_EQ(chercheur->etatReseau().cas, Cas::actif);
  EXPECT_FALSE(trouver("Bureau")->identifiant.has_value());
  EXPECT_FALSE(trouver("Bureau")->connaitReprise);

  lancer("arreter-demon tx");
  ASSERT_TRUE(attendreQue([&] { return chercheur->etatReseau().cas == Cas::attente; }));
  const auto erreur = chercheur->etatReseau().erreur;
  EXPECT_TRUE(erreur == erreurAvahi(AVAHI_ERR_NO_DAEMON) ||
              erreur == erreurAvahi(AVAHI_ERR_DISCONNECTED))
      << chercheur->etatReseau().texte(localeCourante());
  EXPECT_TRUE(chercheur->recherche());
  lancer("relancer-demon tx");
  ASSERT_TRUE(attendreQue(
      [&] { return chercheur->etatReseau().cas == Cas::actif && trouver("Bureau") != nullptr; }));

  const pid_t demonRx = pidDe("rx-avahi");
  ASSERT_GT(demonRx, 0);
  ASSERT_EQ(::kill(demonRx, SIGKILL), 0);
  lancer("retirer Bureau");
  // Le démon tué reste zombie un moment : son fichier de PID empêcherait la relance.
  lancer("dans rx rm -f /run/avahi-daemon/pid");
  lancer("relancer-demon rx");
  publier("Bureau", 50'201);
  EXPECT_TRUE(attendreQue([&] {
    const auto* a = trouver("Bureau");
    return a != nullptr && a->point.port == 50'201;
  }));
}

// ravlo-recepteur lancé dans ravlo_rx s'annonce par le démon de son espace : le chercheur le
// trouve avec son adresse et s'appaire avec lui ; ravlo-envoi, dans ravlo_tx comme ce test, le
// trouve par son nom, s'appaire avec le code suivant et lui envoie du son. Puis le démon de son
// espace arrêté (il dit adieu : le récepteur quitte la liste) et relancé : le récepteur
// s'annonce de nouveau sans être relancé lui-même, et le dit. Le but est 5 s après le retour
// du démon ; la borne de 20 s laisse passer une machine chargée.
TEST_F(Avahi, RavloRecepteurTrouveAppaireParSonNomEtAnnonceDeNouveau) {
  const std::string nom = "Véranda à l'étage";
  const std::string etat = dossierEtat.chemin + "/recepteur";
  // Sans --fork, nsenter devient le récepteur : c'est lui que la fin du test arrête.
  essai::ProgrammeLance r(
      {"nsenter", "-t", std::to_string(pidDe("rx")), "-m", "-n", "-u", "--", RAVLO_RECEPTEUR,
       "--port", "0", "--nom", nom, "--wav", "/dev/null", "--etat", etat},
      true);
  // Ses lignes déjà écrites, et combien contiennent `motif`.
  const auto compter = [&](const std::string& motif) {
    (void)r.lignesPretes();
    std::size_t n = 0;
    for (auto i = r.journal.find(motif); i != std::string::npos; i = r.journal.find(motif, i + 1))
      ++n;
    return n;
  };
  const auto code = [&] {
    (void)r.lignesPretes();
    const auto i = r.journal.rfind("Code : ");
    return i == std::string::npos ? std::string() : r.journal.substr(i + 7, 4);
  };

  chercheur->demarrer();
  ASSERT_TRUE(attendreQue([&] { return trouver(nom) != nullptr; }, 20s)) << r.journal;
  EXPECT_TRUE(attendreQue([&] { return compter("« " + nom + " »") == 1; })) << r.journal;
  // L'identifiant gardé, et la reprise qu'il permet, dans le TXT que voit l'autre espace.
  std::string identifiant;
  std::getline(std::ifstream(etat + "/identifiant"), identifiant);
  ASSERT_EQ(identifiant.size(), 32u) << r.journal;
  // Borné : une fois dans une course de la CI, il attendait encore la fin de ses résolutions
  // dix minutes plus tard.
  const auto txt = essai::executer("timeout 10 avahi-browse -rpt _ravlo._udp");
  EXPECT_NE(txt.texte.find("\"id=" + identifiant + "\""), std::string::npos) << txt.texte;
  EXPECT_NE(txt.texte.find("\"reprise=1\""), std::string::npos) << txt.texte;
  // Le TXT lu tel qu'Avahi le livre de ce côté-ci.
  EXPECT_EQ(trouver(nom)->identifiant, depuisHexa<16>(identifiant));
  EXPECT_TRUE(trouver(nom)->connaitReprise);
  const auto point = trouver(nom)->point;
  EXPECT_EQ(point.adresse, environnement("RAVLO_AVAHI_ADRESSE_RX"));
  EXPECT_EQ(point.nomService, nom);
  EXPECT_EQ(point.interface,
            static_cast<int>(if_nametoindex(environnement("RAVLO_AVAHI_INTERFACE").c_str())));
  const std::string premier = code();
  chercheur->appairer(*trouver(nom), premier);
  ASSERT_TRUE(attendreQue([&] { return !chercheur->appairageEnCours(); }));
  EXPECT_EQ(chercheur->resultat(),
            (ChercheurRavlo::Resultat{ChercheurRavlo::Resultat::Cas::accepte, nom, {}}));
  ASSERT_TRUE(chercheur->appaire().has_value());
  ASSERT_TRUE(attendreQue([&] { return code() != premier && !code().empty(); })) << r.journal;
  // Cet ordinateur s'en souvient (le carnet est celui du chercheur) : l'envoi qui suit le
  // reprend sans code, par l'identifiant lu dans le TXT.
  const auto envoi =
      essai::executer(std::string(RAVLO_ENVOI) + " --recepteur " + cite(nom) + " --secondes 1");
  EXPECT_EQ(envoi.statut, 0) << envoi.texte;
  EXPECT_TRUE(attendreQue([&] { return compter("Repris sans code avec") == 1; })) << r.journal;
  EXPECT_EQ(compter("Appairé avec"), 1u) << r.journal;

  lancer("arreter-demon rx");
  ASSERT_TRUE(attendreQue([&] { return trouver(nom) == nullptr; }, 20s));
  // Mesuré dès la relance, démarrage du démon compris.
  const auto relance = std::chrono::steady_clock::now();
  lancer("relancer-demon rx");
  const bool revenu = attendreQue([&] { return trouver(nom) != nullptr; }, 20s);
  const std::chrono::duration<double> delai = std::chrono::steady_clock::now() - relance;
  std::printf("annoncé de nouveau %.2f s après la relance du démon\n", delai.count());
  ASSERT_TRUE(revenu) << r.journal;
  // Le récepteur le dit aussi, un peu après qu'on le voit parfois.
  EXPECT_TRUE(attendreQue([&] { return compter("Annoncé") >= 2; })) << r.journal;
  EXPECT_EQ(trouver(nom)->point.adresse, environnement("RAVLO_AVAHI_ADRESSE_RX"));
}

}  // namespace
}  // namespace ravlo
